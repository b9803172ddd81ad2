// Languages of the window: every window text and resource string has its entry
// in the shipped template "kelvarin.__.lang" and in the English file; the test
// language marks every text of every window and the greeting on the wire; the
// English file turns the whole window and every message into English; the
// language dialog lists, selects and writes the choice.
//
// With KELVARIN_MODELE_LANGUE=<file> the suite writes the template instead
// (scripts/langues.sh).

#include "accounts/page_comptes.h"
#include "core/cp1252.h"
#include "i18n/traduction.h"
#include "integration/comptes_client_courrier.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/pop3_script_server.h"
#include "tests/ui/fenetre_test.h"
#include "ui/cadres_boutons.h"
#include "ui/form_about_box.h"
#include "ui/form_config_compte.h"
#include "ui/form_config_dns.h"
#include "ui/form_config_oe.h"
#include "ui/form_language.h"
#include "ui/form_mise_a_jour.h"
#include "ui/form_quitter.h"
#include "ui/form_tester.h"
#include "ui/form_tester_reg_exp.h"
#include "ui/icone_notification.h"
#include "ui/traduire_fenetre.h"
#include "ui/vue_dns.h"

#include <QDirIterator>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTreeWidget>

#include <map>

namespace {

const QString kSources = QStringLiteral(KELVARIN_SOURCE_DIR "/");
const QString kLangueLivree = kSources + QStringLiteral("data/Language/");

struct TRessource {
    QString Cle;
    QString Texte;
    QString Fichier;
};

QString deLitteral(QStringView l) {
    QString r;
    for (qsizetype i = 0; i < l.size(); ++i) {
        if (l[i] != QLatin1Char('\\') || i + 1 >= l.size()) {
            r += l[i];
            continue;
        }
        const QChar c = l[++i];
        r += c == QLatin1Char('n')   ? QChar(u'\n')
             : c == QLatin1Char('r') ? QChar(u'\r')
             : c == QLatin1Char('t') ? QChar(u'\t')
                                     : c;
    }
    return r;
}

// Every Res("key", u"French") of the program's sources; `erreurs` gets the
// calls a template cannot hold (text not a literal, one key with two texts).
QList<TRessource> ressourcesDesSources(QStringList& erreurs) {
    static const QRegularExpression appel(QString::fromLatin1(
        "\\bRes\\(\\s*\"([a-z][A-Za-z0-9_]*)\"\\s*,\\s*((?:u\"(?:[^\"\\\\]|\\\\.)*\"\\s*)+)\\)"));
    static const QRegularExpression litteral(QString::fromLatin1("u\"((?:[^\"\\\\]|\\\\.)*)\""));
    static const QRegularExpression autre(
        QString::fromLatin1("\\bRes\\(\\s*\"([a-z][A-Za-z0-9_]*)\"\\s*,\\s*+(?!u\")"));
    std::map<QString, TRessource> parCle;
    for (const char* rep : {"app", "core", "i18n", "proxy", "spamsearch", "bayes", "accounts",
                            "mime", "integration", "pages", "ui"}) {
        QDirIterator it(kSources + QLatin1String(rep),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString chemin = it.next();
            QFile f(chemin);
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QString source = QString::fromUtf8(f.readAll());
            const QString nom = chemin.mid(kSources.size());
            auto m = appel.globalMatch(source);
            while (m.hasNext()) {
                const auto a = m.next();
                QString texte;
                auto l = litteral.globalMatch(a.captured(2));
                while (l.hasNext())
                    texte += deLitteral(l.next().captured(1));
                const QString cle = a.captured(1);
                const auto deja = parCle.find(cle);
                if (deja == parCle.end())
                    parCle[cle] = {cle, texte, nom};
                else if (deja->second.Texte != texte)
                    erreurs << QStringLiteral("%1: two texts (%2, %3)")
                                   .arg(cle, deja->second.Fichier, nom);
            }
            auto n = autre.globalMatch(source);
            while (n.hasNext())
                erreurs << QStringLiteral("%1 in %2: the French text is not a literal")
                               .arg(n.next().captured(1), nom);
        }
    }
    QList<TRessource> l;
    for (auto& [cle, r] : parCle)
        l.append(r);
    // princ9 before princ10.
    std::sort(l.begin(), l.end(), [](const TRessource& a, const TRessource& b) {
        static const QRegularExpression re(QStringLiteral("^(\\D*)(\\d*)$"));
        const auto x = re.match(a.Cle), y = re.match(b.Cle);
        if (x.captured(1) != y.captured(1)) return x.captured(1) < y.captured(1);
        return x.captured(2).toInt() < y.captured(2).toInt();
    });
    return l;
}

// The texts of each window as its creation leaves them translated.
struct TCollecte {
    QList<TTexteFenetre> textes;
    TCollecte() {
        DefinirCollecteur([this](QWidget*, const QList<TTexteFenetre>& t) { textes += t; });
    }
    ~TCollecte() { DefinirCollecteur(nullptr); }
};

// The component names that sources give to Res() as keys (design texts of a
// window, "BtnValiderHint" standing for BtnValider's hint).
QSet<QString> composantsDesSources() {
    static const QRegularExpression appel(
        QString::fromLatin1("\\bRes\\(\\s*\"([A-Z][A-Za-z0-9_]*)\""));
    QSet<QString> noms;
    for (const char* rep : {"app", "core", "i18n", "proxy", "spamsearch", "bayes", "accounts",
                            "mime", "integration", "pages", "ui"}) {
        QDirIterator it(kSources + QLatin1String(rep),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (!f.open(QIODevice::ReadOnly)) continue;
            auto m = appel.globalMatch(QString::fromUtf8(f.readAll()));
            while (m.hasNext()) {
                QString nom = m.next().captured(1);
                if (nom.endsWith(QLatin1String("Hint"))) nom.chop(4);
                noms.insert(nom);
            }
        }
    }
    return noms;
}

// Every window of the program but the splash, built offscreen over one engine.
struct TFenetres {
    TMaisonFenetre maison;
    TCollecte collecte;
    TFenetreTest f;
    QElapsedTimer depart;
    TUnCompteBis compte;
    TComptesMemoire thunderbird;
    std::unique_ptr<TConfigComptesCourrier> regles;
    std::vector<std::unique_ptr<QWidget>> dialogues;
    // The test tools are single windows their parent owns.
    QList<QPointer<QWidget>> outils;

    explicit TFenetres(const QByteArray& ini = "[Init]\r\nPortEcoute=0\r\n",
                       const QString& fichierLangue = {})
        : maison(ini), f((copier(maison.reps, fichierLangue), maison.reps)) {
        depart.start();
        compte.Serveur = "pop.example.org";
        compte.Login = "alice";
        QWidget* p = f.fenetre.get();
        dialogues.push_back(std::make_unique<TFormQuitter>(p));
        dialogues.push_back(std::make_unique<TFormAboutBox>(depart, maison.reps.Installation,
                                                            maison.reps.Travail, p));
        dialogues.push_back(std::make_unique<TFormConfigCompte>(compte, p));
        dialogues.push_back(std::make_unique<TFormMiseAJour>(p));
        dialogues.push_back(std::make_unique<TFormLanguage>(p));
        dialogues.push_back(
            std::make_unique<TFormConfigDNS>(f.fenetre->PageDNS->Page(), nullptr, p));
        thunderbird.Comptes = {{QStringLiteral("server1"), QStringLiteral("Alice"),
                                QStringLiteral("pop.example.org"), QStringLiteral("alice"), 0}};
        regles = std::make_unique<TConfigComptesCourrier>(thunderbird, 0, 110);
        dialogues.push_back(std::make_unique<TFormConfigOE>(*regles, p));
        outils << TFormTester::Ouvrir(p) << TFormTesterRegExp::Ouvrir(p);
    }
    static bool copier(const TRepertoires& reps, const QString& fichier) {
        if (fichier.isEmpty()) return true;
        QDir().mkpath(reps.Language());
        return QFile::copy(kLangueLivree + fichier, reps.Language() + fichier);
    }
    QList<QWidget*> toutes() const {
        QList<QWidget*> l{f.fenetre.get()};
        for (const auto& d : dialogues)
            l << d.get();
        for (const auto& o : outils)
            if (o) l << o.data();
        return l;
    }
};

QString valeurFichier(const QString& texte) {
    QString r;
    for (const QChar c : texte) {
        if (c == QLatin1Char('\\'))
            r += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\t'))
            r += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            continue;
        else if (c == QLatin1Char('\n'))
            r += QStringLiteral("\\n");
        else
            r += c;
    }
    const bool bords = r.startsWith(QLatin1Char(' ')) || r.endsWith(QLatin1Char(' ')) ||
                       r.startsWith(QLatin1Char('"')) || r.endsWith(QLatin1Char('"'));
    return bords ? QLatin1Char('"') + r + QLatin1Char('"') : r;
}

// The texts of every window, one entry per section and key.
QList<TTexteFenetre> textesDesFenetres(const TFenetres& w, QStringList& erreurs) {
    QList<TTexteFenetre> l;
    QHash<QString, QString> vus;
    {
        for (const TTexteFenetre& t : w.collecte.textes) {
            const QString id = t.Section.toLower() + QLatin1Char('/') + t.Cle.toLower();
            const auto v = vus.constFind(id);
            if (v == vus.cend()) {
                vus.insert(id, t.Valeur);
                l.append(t);
            } else if (*v != t.Valeur) {
                erreurs
                    << QStringLiteral("[%1] %2: two texts (%3)").arg(t.Section, t.Cle, t.Chemin);
            }
        }
    }
    return l;
}

// Every line printed (a failure message is cut short); true when none.
bool aucune(const QStringList& fautes, const char* titre) {
    if (!fautes.isEmpty()) qWarning().noquote() << titre;
    for (const QString& f : fautes)
        qWarning().noquote() << "  " << f;
    return fautes.isEmpty();
}

} // namespace

class TstLangues : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void modeleEtAnglaisComplets();
    void langueDeTest();
    void fenetreEnAnglais();
    void dialogue();
};

void TstLangues::init() {
    Traduction().DefinirCodeSysteme(QStringLiteral("FR"));
}

void TstLangues::cleanup() {
    Traduction().ChoixAuDemarrage(false, QString());
    Traduction().DefinirCodeSysteme(QString());
}

void TstLangues::modeleEtAnglaisComplets() {
    QStringList erreurs;
    const QList<TRessource> ressources = ressourcesDesSources(erreurs);
    QVERIFY(ressources.size() > 100);
    TFenetres w;
    const QList<TTexteFenetre> textes = textesDesFenetres(w, erreurs);
    // A capitalised key names a component: a text whose component no window has
    // (a message given such a key) would never be translated.
    QSet<QString> noms;
    for (const TTexteFenetre& t : w.collecte.textes)
        noms.insert(t.Cle.left(t.Cle.indexOf(QLatin1Char('.'))));
    for (const QString& c : composantsDesSources())
        if (!noms.contains(c))
            erreurs << c + QStringLiteral(": Res() key of no window component (a message needs a "
                                          "lower-case resource key)");
    QVERIFY(aucune(erreurs, "texts a language file cannot hold:"));

    const QString sortie = qEnvironmentVariable("KELVARIN_MODELE_LANGUE");
    if (!sortie.isEmpty()) {
        QString m = QStringLiteral(
            "; Kelvarin: every text of the windows and every message, in French.\r\n"
            "; Written by scripts/langues.sh. For a new language, copy it to\r\n"
            "; kelvarin.<code>.lang, set Description and translate the values\r\n"
            "; (\\n is a line break; keep every %s, %d and %n, in their order).\r\n"
            "[InfoTraduction]\r\nDescription=Fran\u00e7ais (mod\u00e8le)\r\nCharset=1\r\n"
            "\r\n[resourcestring]\r\n");
        for (const TRessource& r : ressources)
            m += r.Cle + QLatin1Char('=') + valeurFichier(r.Texte) + QStringLiteral("\r\n");
        QString section;
        for (const TTexteFenetre& t : textes) {
            if (t.Section != section) {
                section = t.Section;
                m += QStringLiteral("\r\n[") + section + QStringLiteral("]\r\n");
            }
            m += t.Cle + QLatin1Char('=') + valeurFichier(t.Valeur) + QStringLiteral("\r\n");
        }
        QSaveFile f(sortie);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(cp1252::depuisUnicode(m));
        QVERIFY(f.commit());
        return;
    }

    // The shipped files, read by the engine itself.
    TTraduction& t = Traduction();
    t.DefinirRepertoires(kLangueLivree, kSources + QStringLiteral("data/Encodage/"));
    QStringList modele, anglais;
    const auto verifier = [&](const QString& section, const QString& cle, const QString& texte) {
        t.ChoisirLangue(QStringLiteral("__"));
        const QString m = t.Texte(section, cle, QString());
        if (m != texte)
            modele << QStringLiteral("[%1] %2=%3 (template: %4)").arg(section, cle, texte, m);
        t.ChoisirLangue(QStringLiteral("en"));
        const QString e = t.Texte(section, cle, QString());
        if (e.isEmpty() || !TTraduction::MemesParametres(e, texte))
            anglais << QStringLiteral("[%1] %2=%3").arg(section, cle, valeurFichier(texte));
    };
    for (const TRessource& r : ressources)
        verifier(QStringLiteral("resourcestring"), r.Cle, r.Texte);
    for (const TTexteFenetre& x : textes)
        verifier(x.Section, x.Cle, x.Valeur);
    QVERIFY(aucune(modele, "not in the template (run scripts/langues.sh):"));
    QVERIFY(aucune(anglais, "missing or wrong in kelvarin.en.lang:"));
}

void TstLangues::langueDeTest() {
    TFenetres w("[Init]\r\nPortEcoute=0\r\nLanguageDefaut=0\r\nLanguageForce=xxx\r\n");
    QVERIFY(Traduction().Test());
    QStringList fautes;
    for (QWidget* f : w.toutes()) {
        QList<TTexteFenetre> tous = TextesFenetre(f) + TextesSansNom(f);
        for (const TTexteFenetre& t : tous) {
            if (t.Lignes) continue; // lists keep their items in the test language
            const bool marque = t.Valeur.startsWith(QLatin1String("XXX"));
            const bool double_ = t.Valeur.startsWith(QLatin1String("XXXXXX"));
            if (!marque || double_) fautes << t.Chemin + QStringLiteral(": ") + t.Valeur;
        }
    }
    QVERIFY(aucune(fautes, "texts not translated:"));
    QVERIFY(w.f.fenetre->windowTitle().startsWith(QLatin1String("XXX")));

    QVERIFY(w.f.demarrer());
    testsupport::TClientLignes c;
    QVERIFY(c.connecter(w.f.moteur.ServeurProxy().PortLocal()));
    QCOMPARE(c.ligne(), QByteArray("+OK XXX[princ62]Bienvenue sur Kelvarin"));
    QCOMPARE(c.commande("AUTH"), QByteArray("-ERR XXX[princ72]Pas maintenant"));
}

void TstLangues::fenetreEnAnglais() {
    TFenetres w("[Init]\r\nPortEcoute=0\r\nLanguageDefaut=0\r\nLanguageForce=en\r\n",
                QStringLiteral("kelvarin.en.lang"));
    TTraduction& t = Traduction();
    QCOMPARE(t.CodeLangue(), QStringLiteral("en"));
    QVERIFY(t.Active());
    // Every text the walk reaches shows the English file's value.
    QStringList fautes;
    int n = 0;
    {
        for (const TTexteFenetre& x : w.collecte.textes) {
            const QString e = t.Texte(x.Section, x.Cle, QString());
            ++n;
            if (x.Valeur != e)
                fautes << QStringLiteral("[%1] %2: %3").arg(x.Section, x.Cle, x.Valeur);
        }
    }
    QVERIFY(n > 50);
    QVERIFY(aucune(fautes, "texts not translated:"));
    QCOMPARE(w.f.fenetre->findChild<QPushButton*>(QStringLiteral("BtnAppliquer"))->text(),
             QStringLiteral("Apply"));

    QVERIFY(w.f.demarrer());
    // The tree, the "Voir" menu and the messages are in English too.
    QCOMPARE(w.f.fenetre->TreeView1->topLevelItem(0)->text(0), QStringLiteral("Settings"));
    QCOMPARE(w.f.fenetre->MenuVoir->actions().first()->text(), QStringLiteral("Settings"));
    QCOMPARE(w.f.fenetre->Icone().Menu()->actions().first()->text(), QStringLiteral("Settings"));
    QCOMPARE(w.f.fenetre->Icone().Menu()->actions().last()->text(), QStringLiteral("Quit"));
    QVERIFY(w.f.fenetre->LabelVersion->text().startsWith(QLatin1String("version ")));
    testsupport::TClientLignes c;
    QVERIFY(c.connecter(w.f.moteur.ServeurProxy().PortLocal()));
    QCOMPARE(c.ligne(), QByteArray("+OK Welcome to Kelvarin"));
    QCOMPARE(c.commande("AUTH"), QByteArray("-ERR Not now"));
}

void TstLangues::dialogue() {
    TFenetres w("[Init]\r\nPortEcoute=0\r\nLanguageDefaut=0\r\nTraductionInterface=1\r\n",
                QStringLiteral("kelvarin.en.lang"));
    TFenetres::copier(w.maison.reps, QStringLiteral("kelvarin.__.lang"));
    QVERIFY(w.f.demarrer());
    QAction* entree = w.f.fenetre->MenuFichier->findChild<QAction*>(QStringLiteral("MnuLangue"));
    QVERIFY(entree->isVisible());
    QVERIFY(entree->isEnabled());

    TFormLanguage d(w.f.fenetre.get());
    QCOMPARE(d.windowTitle(), QStringLiteral("Langue (FR)"));
    // No translation, automatic, then the English file; never the template.
    QCOMPARE(d.Noms(), (QStringList{QString(), QStringLiteral("@"), QStringLiteral("en")}));
    QCOMPARE(d.ListBoxLanguage->item(1)->text(), QStringLiteral("Choix automatique (FR)"));
    QCOMPARE(d.ListBoxLanguage->item(2)->text(), QStringLiteral("English"));
    QCOMPARE(d.ListBoxLanguage->currentRow(), 0);
    d.ListBoxLanguage->clearSelection();
    QVERIFY(!d.FrameValideAnnule1->BtnValider->isEnabled());
    d.ListBoxLanguage->setCurrentRow(2);
    QVERIFY(d.FrameValideAnnule1->BtnValider->isEnabled());
    d.Valider();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(Traduction().CodeLangue(), QStringLiteral("en"));
    const QByteArray ini = w.maison.ini();
    QVERIFY(ini.contains("LanguageForce=en"));
    QVERIFY(ini.contains("LanguageDefaut=0"));
    // Every open window follows; the main window keeps its caption.
    QCOMPARE(w.f.fenetre->BtnAppliquer->text(), QStringLiteral("Apply"));
    QCOMPARE(w.f.fenetre->windowTitle(), QStringLiteral("Kelvarin"));
    QCOMPARE(TBoiteMessage::Questions().size(), 0);

    // Back to no translation: only a restart shows the built-in texts again.
    TFormLanguage d2(w.f.fenetre.get());
    QCOMPARE(d2.ListBoxLanguage->currentRow(), 2);
    d2.ListBoxLanguage->setCurrentRow(0);
    d2.Valider();
    QCOMPARE(TBoiteMessage::Questions().size(), 1);
    QCOMPARE(TBoiteMessage::Questions().first(),
             QStringLiteral("Vous devez redémarrer Kelvarin pour que la langue par défaut soit "
                            "sélectionnée."));
    QVERIFY(w.maison.ini().contains("LanguageForce=\r\n") ||
            w.maison.ini().contains("LanguageForce=\"\""));
}

QTEST_MAIN(TstLangues)
#include "tst_langues.moc"
