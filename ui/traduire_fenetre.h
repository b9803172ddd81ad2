#pragma once
// The window walk of the translation engine. A window is walked as a tree of
// components: its section is its design class name without the "T"
// ("FormKelvarin"), a frame starts its own section, and each named component's
// texts are looked up as component + "." + property:
//   caption     window title, button, label, group box and menu texts, action
//               texts, and the caption of a page (its window title)
//   hint        tool tip
//   items.text  combo box items, the buttons of a radio group (lines)
//   lines.text  plain-text edits, the tabs of a tab widget or tab bar (lines)
//   Columns[i].caption / .hint   the sections of a tree's header
//   columns[i].caption           the column titles of a table
// Texts that code places later (resource strings) are not the walk's: a
// window sets them after TraduireFenetre, or marks the component with
// MarquerTexteProgramme.

#include <QList>
#include <QString>

#include <functional>

class QObject;
class QWidget;

struct TTexteFenetre {
    QString Section;
    QString Cle;
    QString Valeur;      // lines joined by CR LF
    bool Lignes = false; // items.text / lines.text
    QString Chemin;      // where it is, for messages (unnamed components)
};

// A window's section: its "SectionTraduction" property, else its name.
QString SectionFenetre(const QWidget* fenetre);
// The section a widget starts (a window or a frame).
void DefinirSection(QWidget* w, const QString& section);
// The component's own texts are the program's, not its design's: the walk
// leaves them (its children are still walked).
void MarquerTexteProgramme(QObject* composant);

// Every text of the window the language files address, with its current value.
QList<TTexteFenetre> TextesFenetre(QWidget* fenetre);
// Texts shown on components without a name: no language file can reach them.
QList<TTexteFenetre> TextesSansNom(QWidget* fenetre);

// Translates the window when a language is active.
void TraduireFenetre(QWidget* fenetre);
// The template generator and the tests: each window's texts as the walk leaves
// them at its creation (before the program adds its own).
using TCollecteur = std::function<void(QWidget* fenetre, const QList<TTexteFenetre>& textes)>;
void DefinirCollecteur(TCollecteur collecteur);
// Every open window that has a section; the main window keeps its caption.
void TraduireTout();
