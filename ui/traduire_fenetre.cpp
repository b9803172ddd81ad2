#include "ui/traduire_fenetre.h"

#include "i18n/traduction.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include <functional>

namespace {

constexpr const char* kSection = "SectionTraduction";
constexpr const char* kTexteProgramme = "TexteProgramme";

struct TPropriete {
    QString Propriete; // "caption", "items.text", ...
    QString Valeur;
    bool Lignes = false;
    std::function<void(const QString&)> Poser;
};

QStringList enLignes(const QString& texte) {
    QString t = texte;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t.split(QLatin1Char('\n'));
}

QString joindre(const QStringList& l) {
    return l.join(QStringLiteral("\r\n"));
}

bool groupeRadio(const QGroupBox* g) {
    return !g->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly).isEmpty();
}

QList<QRadioButton*> boutonsRadio(QGroupBox* g) {
    return g->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
}

// The properties of one component that the language files address.
QList<TPropriete> proprietes(QObject* o, bool racine) {
    QList<TPropriete> p;
    const auto texte = [&p](const char* nom, const QString& valeur,
                            std::function<void(const QString&)> poser) {
        p.append({QLatin1String(nom), valeur, false, std::move(poser)});
    };
    const auto lignes = [&p](const char* nom, const QStringList& valeurs,
                             std::function<void(const QStringList&)> poser) {
        const qsizetype n = valeurs.size();
        p.append({QLatin1String(nom), joindre(valeurs), true, [n, poser](const QString& t) {
                      // Another number of lines would shift the items' meaning.
                      const QStringList l = enLignes(t);
                      if (l.size() == n) poser(l);
                  }});
    };

    if (auto* a = qobject_cast<QAction*>(o)) {
        if (!a->isSeparator() && !a->menu())
            texte("caption", a->text(), [a](const QString& t) { a->setText(t); });
        return p;
    }
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) return p;
    if (racine) {
        texte("caption", w->windowTitle(), [w](const QString& t) { w->setWindowTitle(t); });
    } else if (auto* m = qobject_cast<QMenu*>(w)) {
        texte("caption", m->title(), [m](const QString& t) { m->setTitle(t); });
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        auto* g = qobject_cast<QGroupBox*>(b->parentWidget());
        if (!(qobject_cast<QRadioButton*>(b) && g && groupeRadio(g)))
            texte("caption", b->text(), [b](const QString& t) { b->setText(t); });
    } else if (auto* lab = qobject_cast<QLabel*>(w)) {
        texte("caption", lab->text(), [lab](const QString& t) { lab->setText(t); });
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        texte("caption", g->title(), [g](const QString& t) { g->setTitle(t); });
        if (groupeRadio(g)) {
            QStringList v;
            for (QRadioButton* r : boutonsRadio(g))
                v << r->text();
            lignes("items.text", v, [g](const QStringList& ls) {
                const QList<QRadioButton*> r = boutonsRadio(g);
                for (qsizetype i = 0; i < r.size(); ++i)
                    r[i]->setText(ls[i]);
            });
        }
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        QStringList v;
        for (int i = 0; i < c->count(); ++i)
            v << c->itemText(i);
        if (!v.isEmpty())
            lignes("items.text", v, [c](const QStringList& ls) {
                for (int i = 0; i < c->count(); ++i)
                    c->setItemText(i, ls[i]);
            });
    } else if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
        if (!e->toPlainText().isEmpty())
            lignes("lines.text", enLignes(e->toPlainText()),
                   [e](const QStringList& ls) { e->setPlainText(ls.join(QLatin1Char('\n'))); });
    } else if (auto* onglets = qobject_cast<QTabWidget*>(w)) {
        QStringList v;
        for (int i = 0; i < onglets->count(); ++i)
            v << onglets->tabText(i);
        if (!v.isEmpty())
            lignes("lines.text", v, [onglets](const QStringList& ls) {
                for (int i = 0; i < onglets->count(); ++i)
                    onglets->setTabText(i, ls[i]);
            });
    } else if (auto* barre = qobject_cast<QTabBar*>(w)) {
        // A tab widget's own bar is its parent's (above).
        if (!qobject_cast<QTabWidget*>(barre->parentWidget())) {
            QStringList v;
            for (int i = 0; i < barre->count(); ++i)
                v << barre->tabText(i);
            if (!v.isEmpty())
                lignes("lines.text", v, [barre](const QStringList& ls) {
                    for (int i = 0; i < barre->count(); ++i)
                        barre->setTabText(i, ls[i]);
                });
        }
    } else if (auto* arbre = qobject_cast<QTreeWidget*>(w)) {
        if (!arbre->isHeaderHidden() && arbre->headerItem()) {
            QTreeWidgetItem* h = arbre->headerItem();
            for (int i = 0; i < arbre->columnCount(); ++i) {
                const QString n = QStringLiteral("Columns[%1].").arg(i);
                p.append({n + QStringLiteral("hint"), h->toolTip(i), false,
                          [h, i](const QString& s) { h->setToolTip(i, s); }});
                p.append({n + QStringLiteral("caption"), h->text(i), false,
                          [h, i](const QString& s) { h->setText(i, s); }});
            }
        }
    } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
        for (int i = 0; i < table->columnCount(); ++i) {
            QTableWidgetItem* h = table->horizontalHeaderItem(i);
            if (!h) continue;
            p.append({QStringLiteral("columns[%1].caption").arg(i), h->text(), false,
                      [h](const QString& s) { h->setText(s); }});
        }
    } else if (!w->isWindow()) {
        // A page: its caption is the label the options tree shows.
        texte("caption", w->windowTitle(), [w](const QString& t) { w->setWindowTitle(t); });
    }
    texte("hint", w->toolTip(), [w](const QString& t) { w->setToolTip(t); });
    return p;
}

bool composantNomme(const QObject* o) {
    const QString n = o->objectName();
    return !n.isEmpty() && !n.startsWith(QLatin1String("qt_"));
}

// Calls `f` for every property of every component, in tree order.
using TVisiteur = std::function<void(QObject*, const QString& section, TPropriete&)>;

void parcourir(QObject* o, const QString& section, bool racine, const TVisiteur& f) {
    if (!o->property(kTexteProgramme).toBool()) {
        QList<TPropriete> props = proprietes(o, racine);
        for (TPropriete& p : props)
            f(o, section, p);
    }
    for (QObject* enfant : o->children()) {
        auto* w = qobject_cast<QWidget*>(enfant);
        if (w) {
            // Other windows are translated on their own; a menu pops up as one.
            if (w->isWindow() && !qobject_cast<QMenu*>(w)) continue;
            const QString s = w->property(kSection).toString();
            parcourir(w, s.isEmpty() ? section : s, false, f);
        } else if (qobject_cast<QAction*>(enfant)) {
            parcourir(enfant, section, false, f);
        }
    }
}

QString chemin(const QObject* o) {
    QStringList l;
    for (; o; o = o->parent())
        l.prepend(o->objectName().isEmpty() ? QLatin1String(o->metaObject()->className())
                                            : o->objectName());
    return l.join(QLatin1Char('/'));
}

} // namespace

QString SectionFenetre(const QWidget* fenetre) {
    const QString s = fenetre->property(kSection).toString();
    return s.isEmpty() ? fenetre->objectName() : s;
}

void DefinirSection(QWidget* w, const QString& section) {
    w->setProperty(kSection, section);
}

void MarquerTexteProgramme(QObject* composant) {
    composant->setProperty(kTexteProgramme, true);
}

QList<TTexteFenetre> TextesFenetre(QWidget* fenetre) {
    QList<TTexteFenetre> l;
    parcourir(fenetre, SectionFenetre(fenetre), true,
              [&l](QObject* o, const QString& section, TPropriete& p) {
                  if (!composantNomme(o) || p.Valeur.isEmpty()) return;
                  l.append({section, o->objectName() + QLatin1Char('.') + p.Propriete, p.Valeur,
                            p.Lignes, chemin(o)});
              });
    return l;
}

QList<TTexteFenetre> TextesSansNom(QWidget* fenetre) {
    QList<TTexteFenetre> l;
    parcourir(fenetre, SectionFenetre(fenetre), true,
              [&l](QObject* o, const QString& section, TPropriete& p) {
                  if (composantNomme(o) || p.Valeur.trimmed().isEmpty()) return;
                  l.append({section, p.Propriete, p.Valeur, p.Lignes, chemin(o)});
              });
    return l;
}

namespace {
TCollecteur g_collecteur;
}

void DefinirCollecteur(TCollecteur collecteur) {
    g_collecteur = std::move(collecteur);
}

void TraduireFenetre(QWidget* fenetre) {
    TTraduction& t = Traduction();
    const auto collecter = qScopeGuard([fenetre] {
        if (g_collecteur) g_collecteur(fenetre, TextesFenetre(fenetre));
    });
    if (!t.Active()) return;
    parcourir(fenetre, SectionFenetre(fenetre), true,
              [&t](QObject* o, const QString& section, TPropriete& p) {
                  if (!composantNomme(o)) return;
                  const QString cle = o->objectName() + QLatin1Char('.') + p.Propriete;
                  if (p.Lignes) {
                      const QString r = t.Texte(section, cle, QString());
                      if (!r.isEmpty()) p.Poser(r);
                  } else if (!p.Valeur.isEmpty()) {
                      p.Poser(t.Texte(section, cle, p.Valeur));
                  }
              });
}

void TraduireTout() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->property(kSection).toString().isEmpty()) continue;
        const bool principale = qobject_cast<QMainWindow*>(w) != nullptr;
        const QString titre = w->windowTitle();
        TraduireFenetre(w);
        if (principale) w->setWindowTitle(titre);
    }
}
