#pragma once
// User-visible texts are resource strings with a key ("princ62") and their
// French text, stored as "[princ62]Bienvenue sur Kelvarin". Every one is loaded
// through Res(), which returns the translation of the current language when
// there is one, else the French text without its key.
//
// A key that begins with a capital letter is a window component's name
// ("BtnValider"): its text is a design text of that window, left as it is here
// and translated by the window walk (the window's section, key
// component + "." + property), so it must stay on a widget of that name.

#include <QString>
#include <QStringView>

QString Res(const char* cle, const char16_t* francais);

// A design text of a window that code places itself (a tree label taken from
// a page): the language file's value for that section and key, else `defaut`.
QString TexteFenetre(QStringView section, QStringView cle, const QString& defaut);

namespace ressources {
// The translation engine installs itself here; none installed: French texts.
class TTraducteur {
public:
    virtual ~TTraducteur() = default;
    // A resource string: its translation, or a null string for the French text.
    virtual QString Ressource(const char* cle, const char16_t* francais) = 0;
    virtual QString Fenetre(QStringView section, QStringView cle, const QString& defaut) = 0;
};
void installer(TTraducteur* traducteur);
TTraducteur* installe();

// True for the keys of resource strings: lower-case letters first ("princ62").
bool CleRessource(const char* cle);
} // namespace ressources
