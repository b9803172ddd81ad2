// The translation engine without a window: language files read whole, the value
// syntax and the escaped form, resource strings through Res() with their
// fallbacks and cache, the test language, the gb/en stand-ins, the listing, the
// charsets and broken files.

#include "core/config.h"
#include "core/cp1252.h"
#include "core/stockage_config.h"
#include "core/trace.h"
#include "i18n/traduction.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kEncodage = QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage/");

const QByteArray kAnglais = "; sample\r\n"
                            "[InfoTraduction]\r\n"
                            "Description=English (test)\r\n"
                            "Charset=1\r\n"
                            "[ResourceString]\r\n"
                            "PRINC83=Save the changes to the settings?\r\n"
                            "princ62=\"  Welcome\\nto Kelvarin  \"\r\n"
                            "princ84=version without its number\r\n"
                            "princ29=Cannot open port %s\\nKelvarin is not running.\r\n"
                            "Texte connu par lui-m\xeame=Text known by itself\r\n"
                            "\"Sans cl\xe9\\nsur deux lignes\"=Without key\\non two lines\r\n"
                            "\"a=b\"=equals kept\r\n"
                            "princ24=\r\n"
                            "[FormKelvarin]\r\n"
                            "BtnAppliquer.caption=Apply\r\n"
                            "btnannuler.CAPTION=Cancel\r\n"
                            "BtnAppliquer.caption=second one ignored\r\n";

void ecrire(const QString& chemin, const QByteArray& contenu) {
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(contenu);
}
} // namespace

class TstTraduction : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void valeurTexte_data();
    void valeurTexte();
    void formeEchappee_data();
    void formeEchappee();
    void parametres_data();
    void parametres();

    void sansLangue();
    void ressourcesDuFichier();
    void parametresDifferents();
    void texteDeFenetre();
    void cacheVideAuChangement();
    void langueDeTest();
    void fichierManquantOuIllisible();
    void gbEtEn();
    void choixAuDemarrage();
    void liste();
    void charsets();
    void valider();

private:
    QTemporaryDir m_dir;
    QString m_lang;
    TTraduction& t = Traduction();
    QStringList m_traces;
};

void TstTraduction::init() {
    m_lang = m_dir.path() + QStringLiteral("/Language/");
    QDir(m_lang).removeRecursively();
    t.DefinirRepertoires(m_lang, kEncodage);
    t.DefinirCodeSysteme(QStringLiteral("FR"));
    t.ChoixAuDemarrage(false, QString());
    m_traces.clear();
    TTrace::instance().OnLigne = [this](const TLigneTrace& l) { m_traces << l.texte; };
}

void TstTraduction::cleanup() {
    TTrace::instance().OnLigne = nullptr;
    t.ChoixAuDemarrage(false, QString());
    t.DefinirCodeSysteme(QString());
}

void TstTraduction::valeurTexte_data() {
    QTest::addColumn<QString>("brut");
    QTest::addColumn<QString>("texte");
    QTest::newRow("quoted, backslash n between two words")
        << QStringLiteral("\"one\\ntwo\"") << QStringLiteral("one\r\ntwo");
    QTest::newRow("tab and backslash") << QStringLiteral("a\\tb\\\\c") << QStringLiteral("a\tb\\c");
    QTest::newRow("other escaped character") << QStringLiteral("\\q\\\"") << QStringLiteral("q");
    QTest::newRow("backslash at the end stays")
        << QStringLiteral("end\\") << QStringLiteral("end\\");
    QTest::newRow("one quote alone stays") << QStringLiteral("\"") << QStringLiteral("\"");
    QTest::newRow("quote at the start only") << QStringLiteral("\"abc") << QStringLiteral("abc");
    QTest::newRow("two quotes give nothing") << QStringLiteral("\"\"") << QString();
    QTest::newRow("spaces kept inside quotes")
        << QStringLiteral("\" a \"") << QStringLiteral(" a ");
}

void TstTraduction::valeurTexte() {
    QFETCH(QString, brut);
    QFETCH(QString, texte);
    QCOMPARE(TTraduction::ValeurTexte(brut), texte);
}

void TstTraduction::formeEchappee_data() {
    QTest::addColumn<QString>("texte");
    QTest::addColumn<QString>("echappee");
    QTest::newRow("plain") << QStringLiteral("abc") << QStringLiteral("\"abc\"");
    QTest::newRow("CR LF and LF CR")
        << QStringLiteral("a\r\nb\n\rc") << QStringLiteral("\"a\\nb\\nc\"");
    QTest::newRow("two line breaks")
        << QStringLiteral("a\r\n\r\nb") << QStringLiteral("\"a\\n\\nb\"");
    QTest::newRow("begins with a quote") << QStringLiteral("\"x\" y") << QStringLiteral("\"x\" y");
}

void TstTraduction::formeEchappee() {
    QFETCH(QString, texte);
    QFETCH(QString, echappee);
    QCOMPARE(TTraduction::FormeEchappee(texte), echappee);
}

void TstTraduction::parametres_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("memes");
    QTest::newRow("same order") << QStringLiteral("x %s y %d") << QStringLiteral("%s, %d") << true;
    QTest::newRow("swapped") << QStringLiteral("%d %s") << QStringLiteral("%s %d") << false;
    QTest::newRow("one missing") << QStringLiteral("version") << QStringLiteral("version %s")
                                 << false;
    QTest::newRow("percent sign is no placeholder")
        << QStringLiteral("rate=%s%%") << QStringLiteral("%s %%") << true;
    QTest::newRow("width of %n counts")
        << QStringLiteral("%10.0n KB") << QStringLiteral("%n KB") << false;
    QTest::newRow("none") << QStringLiteral("a") << QStringLiteral("b") << true;
}

void TstTraduction::parametres() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, memes);
    QCOMPARE(TTraduction::MemesParametres(a, b), memes);
}

void TstTraduction::sansLangue() {
    QVERIFY(!t.Active());
    QCOMPARE(Res("princ83", u"Mémoriser les changements dans la configuration ?"),
             QStringLiteral("Mémoriser les changements dans la configuration ?"));
    QCOMPARE(t.TraduireRessource(QStringLiteral("[princ83]Mémoriser")),
             QStringLiteral("Mémoriser"));
    QCOMPARE(t.TraduireRessource(QStringLiteral("[sans fin")), QStringLiteral("[sans fin"));
    QCOMPARE(t.Texte(u"FormKelvarin", u"BtnAppliquer.caption", QStringLiteral("Appliquer")),
             QStringLiteral("Appliquer"));
}

void TstTraduction::ressourcesDuFichier() {
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), kAnglais);
    t.ChoisirLangue(QStringLiteral("EN"));
    QCOMPARE(t.CodeLangue(), QStringLiteral("en"));
    QVERIFY(t.Active());
    // Sections and keys without regard to case; quotes and "\n" of the value.
    QCOMPARE(Res("princ83", u"Mémoriser les changements dans la configuration ?"),
             QStringLiteral("Save the changes to the settings?"));
    QCOMPARE(Res("princ62", u"Bienvenue sur Kelvarin"),
             QStringLiteral("  Welcome\r\nto Kelvarin  "));
    QCOMPARE(Format(Res("princ29", u"Impossible d'ouvrir le port %s\r\nKelvarin non actif."),
                    {QStringLiteral("110")}),
             QStringLiteral("Cannot open port 110\r\nKelvarin is not running."));
    // An empty value, or no key: the French text, looked up again by itself.
    QCOMPARE(Res("princ24", u"Démarrage. Version=%s"), QStringLiteral("Démarrage. Version=%s"));
    QCOMPARE(Res("princ99", u"Texte connu par lui-même"), QStringLiteral("Text known by itself"));
    // Texts stored without a key: looked up under their escaped form.
    QCOMPARE(t.TraduireRessource(QStringLiteral("Sans clé\r\nsur deux lignes")),
             QStringLiteral("Without key\r\non two lines"));
    QCOMPARE(t.TraduireRessource(QStringLiteral("a=b")), QStringLiteral("equals kept"));
    QCOMPARE(t.TraduireRessource(QStringLiteral("[pas de fin")), QStringLiteral("[pas de fin"));
    // Component names are design texts: the window walk translates them.
    QCOMPARE(Res("BtnAppliquer", u"Appliquer"), QStringLiteral("Appliquer"));
}

void TstTraduction::parametresDifferents() {
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), kAnglais);
    t.ChoisirLangue(QStringLiteral("en"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(Format(Res("princ84", u"version %s"), {QStringLiteral("1.01")}),
                 QStringLiteral("version 1.01"));
    // One trace line names the key, however often the text is loaded.
    QCOMPARE(m_traces.filter(QStringLiteral("princ84")).size(), 1);
}

void TstTraduction::texteDeFenetre() {
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), kAnglais);
    t.ChoisirLangue(QStringLiteral("en"));
    QCOMPARE(t.Texte(u"formkelvarin", u"BtnAppliquer.caption", QStringLiteral("Appliquer")),
             QStringLiteral("Apply"));
    QCOMPARE(t.Texte(u"FormKelvarin", u"BtnAnnuler.caption", QStringLiteral("Annuler")),
             QStringLiteral("Cancel"));
    QCOMPARE(t.Texte(u"FormKelvarin", u"BtnAide.caption", QStringLiteral("Aide")),
             QStringLiteral("Aide"));
    QCOMPARE(t.Texte(u"FormQuitter", u"BtnAppliquer.caption", QStringLiteral("Appliquer")),
             QStringLiteral("Appliquer"));
    QCOMPARE(TexteFenetre(u"FormKelvarin", u"BtnAppliquer.caption", QStringLiteral("x")),
             QStringLiteral("Apply"));
}

void TstTraduction::cacheVideAuChangement() {
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), kAnglais);
    ecrire(m_lang + QStringLiteral("kelvarin.de.lang"),
           "[resourcestring]\r\nprinc83=\xc4nderungen speichern?\r\n");
    t.ChoisirLangue(QStringLiteral("en"));
    QCOMPARE(Res("princ83", u"Mémoriser"), QStringLiteral("Save the changes to the settings?"));
    // The file was read whole: a change on disk shows only with the next choice.
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), "[resourcestring]\r\nprinc83=Changed\r\n");
    QCOMPARE(Res("princ83", u"Mémoriser"), QStringLiteral("Save the changes to the settings?"));
    t.ChoisirLangue(QStringLiteral("de"));
    QCOMPARE(Res("princ83", u"Mémoriser"), QStringLiteral("Änderungen speichern?"));
    t.ChoisirLangue(QStringLiteral("en"));
    QCOMPARE(Res("princ83", u"Mémoriser"), QStringLiteral("Changed"));
}

void TstTraduction::langueDeTest() {
    t.ChoisirLangue(QStringLiteral("XXX"));
    QVERIFY(t.Test());
    QVERIFY(t.Active());
    QCOMPARE(Res("princ62", u"Bienvenue sur Kelvarin"),
             QStringLiteral("XXX[princ62]Bienvenue sur Kelvarin"));
    QCOMPARE(t.Texte(u"FormKelvarin", u"BtnAppliquer.caption", QStringLiteral("Appliquer")),
             QStringLiteral("XXXAppliquer"));
    QCOMPARE(t.Texte(u"FormKelvarin", u"RadioGroupFormat.items.text", QString()), QString());
    t.ChoisirLangue(QString());
    QVERIFY(!t.Test());
    QCOMPARE(Res("princ62", u"Bienvenue sur Kelvarin"), QStringLiteral("Bienvenue sur Kelvarin"));
}

void TstTraduction::fichierManquantOuIllisible() {
    t.ChoisirLangue(QStringLiteral("it"));
    QVERIFY(!t.Active());
    QCOMPARE(t.CodeLangue(), QString());
    QCOMPARE(Res("princ62", u"Bienvenue"), QStringLiteral("Bienvenue"));

    // A directory in place of the file cannot be read: traced, no translation.
    QVERIFY(QDir().mkpath(m_lang + QStringLiteral("kelvarin.pt.lang")));
    t.ChoisirLangue(QStringLiteral("pt"));
    QVERIFY(!t.Active());
    QCOMPARE(m_traces.filter(QStringLiteral("kelvarin.pt.lang")).size(), 1);

    // Garbage, lines without "=", keys before any section: built-in texts, no crash.
    QByteArray dechets("\xEF\xBB\xBF[resourcestring\r\n=sans cle\r\nprinc62\r\n\x01\x02\xff=\xfe");
    for (int i = 0; i < 256; ++i)
        dechets += char(i);
    dechets += "\r\n[resourcestring]\r\nprinc62=%s%d%n\r\nprinc63=ok";
    ecrire(m_lang + QStringLiteral("kelvarin.es.lang"), dechets);
    t.ChoisirLangue(QStringLiteral("es"));
    QVERIFY(t.Active());
    QCOMPARE(Res("princ62", u"Bienvenue"), QStringLiteral("Bienvenue"));
    QCOMPARE(Res("princ63", u"POP3 pas prêt"), QStringLiteral("ok"));
}

void TstTraduction::gbEtEn() {
    ecrire(m_lang + QStringLiteral("kelvarin.gb.lang"),
           "[resourcestring]\r\nprinc62=Welcome (gb)\r\n");
    t.DefinirCodeSysteme(QStringLiteral("EN"));
    QCOMPARE(t.FichierLangue(QStringLiteral("en")), m_lang + QStringLiteral("kelvarin.gb.lang"));
    t.LangueParDefaut(true);
    QVERIFY(t.Automatique());
    QCOMPARE(Res("princ62", u"Bienvenue"), QStringLiteral("Welcome (gb)"));

    QFile::remove(m_lang + QStringLiteral("kelvarin.gb.lang"));
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), "[resourcestring]\r\nprinc62=Welcome\r\n");
    QCOMPARE(t.FichierLangue(QStringLiteral("GB")), m_lang + QStringLiteral("kelvarin.en.lang"));
    t.ChoisirLangue(QStringLiteral("gb"));
    QCOMPARE(Res("princ62", u"Bienvenue"), QStringLiteral("Welcome"));
    QCOMPARE(t.FichierLangue(QStringLiteral("*")), m_lang + QStringLiteral("kelvarin.*.lang"));
}

void TstTraduction::choixAuDemarrage() {
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), kAnglais);
    t.DefinirCodeSysteme(QStringLiteral("EN"));
    // LanguageDefaut=1: the system's language, LanguageForce not read.
    t.ChoixAuDemarrage(true, QStringLiteral("xxx"));
    QVERIFY(t.Automatique());
    QCOMPARE(t.CodeLangue(), QStringLiteral("en"));
    QVERIFY(!t.Test());
    // Choosing another code than the system's clears the automatic flag.
    t.ChoisirLangue(QStringLiteral("xxx"));
    QVERIFY(!t.Automatique());
    t.ChoixAuDemarrage(false, QStringLiteral("XXX"));
    QVERIFY(t.Test());
    QVERIFY(!t.Automatique());
    t.ChoixAuDemarrage(false, QString());
    QVERIFY(!t.Active());
}

void TstTraduction::liste() {
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), kAnglais);
    ecrire(m_lang + QStringLiteral("kelvarin.__.lang"),
           "[InfoTraduction]\r\nDescription=Modele\r\n");
    ecrire(m_lang + QStringLiteral("kelvarin.DE.lang"), "[resourcestring]\r\n");
    ecrire(m_lang + QStringLiteral("autre.it.lang"), "");
    ecrire(m_lang + QStringLiteral("kelvarin.ru.lang"),
           "[InfoTraduction]\r\nCharset=204\r\nDescription=\xd0\xf3\xf1\xf1\xea\xe8\xe9\r\n");
    QVERIFY(QDir().mkpath(m_lang + QStringLiteral("kelvarin.pt.lang")));
    QMap<QString, QString> trouvees;
    for (const TTraduction::TLangue& l : t.Langues())
        trouvees.insert(l.Code, l.Description);
    QMap<QString, QString> attendues{{QStringLiteral("en"), QStringLiteral("English (test)")},
                                     {QStringLiteral("de"), QStringLiteral("de")},
                                     {QStringLiteral("ru"), QStringLiteral("Русский")}};
    QCOMPARE(trouvees, attendues);
}

void TstTraduction::charsets() {
    // Windows-1251 bytes under Charset=204; an unknown charset reads as Windows-1252.
    ecrire(m_lang + QStringLiteral("kelvarin.ru.lang"),
           "[InfoTraduction]\r\nCharset=204\r\n[resourcestring]\r\nprinc62="
           "\xcf\xf0\xe8\xe2\xe5\xf2\r\n");
    t.ChoisirLangue(QStringLiteral("ru"));
    QCOMPARE(Res("princ62", u"Bienvenue"), QStringLiteral("Привет"));
    QCOMPARE(t.Charset(), 204);
    ecrire(m_lang + QStringLiteral("kelvarin.cs.lang"),
           "[InfoTraduction]\r\nCharset=238\r\n[resourcestring]\r\nprinc62=P\xf8\xedli\x9a\r\n");
    t.ChoisirLangue(QStringLiteral("cs"));
    QCOMPARE(Res("princ62", u"Bienvenue"), QStringLiteral("Příliš"));
    ecrire(m_lang + QStringLiteral("kelvarin.ja.lang"),
           "[InfoTraduction]\r\nCharset=128\r\n[resourcestring]\r\nprinc62=Caf\xe9\r\n");
    t.ChoisirLangue(QStringLiteral("ja"));
    QCOMPARE(Res("princ62", u"Bienvenue"), QStringLiteral("Café"));
    QCOMPARE(m_traces.filter(QStringLiteral("128")).size(), 1);
}

void TstTraduction::valider() {
    ecrire(m_lang + QStringLiteral("kelvarin.en.lang"), kAnglais);
    QTemporaryDir d;
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(d.path() + QStringLiteral("/kelvarin.ini")));
    bool redemarrer = true;
    QVERIFY(t.Valider(QStringLiteral("en"), ini, redemarrer));
    QVERIFY(!redemarrer);
    QCOMPARE(ini.LireChaine("Init", "LanguageForce", ""), QByteArray("en"));
    QCOMPARE(ini.LireBool("Init", "LanguageDefaut", true), false);
    QCOMPARE(Config().LanguageForce, QByteArray("en"));
    QCOMPARE(Res("princ83", u"Mémoriser"), QStringLiteral("Save the changes to the settings?"));
    // The same code again changes nothing.
    QVERIFY(!t.Valider(QStringLiteral("en"), ini, redemarrer));
    // The automatic item follows the system's language.
    t.DefinirCodeSysteme(QStringLiteral("EN"));
    QVERIFY(t.Valider(QStringLiteral("@"), ini, redemarrer));
    QVERIFY(t.Automatique());
    QCOMPARE(ini.LireBool("Init", "LanguageDefaut", false), true);
    // No translation: only a restart brings the built-in texts back everywhere.
    QVERIFY(t.Valider(QString(), ini, redemarrer));
    QVERIFY(redemarrer);
    QCOMPARE(ini.LireChaine("Init", "LanguageForce", "?"), QByteArray());
    QCOMPARE(ini.LireBool("Init", "LanguageDefaut", true), false);
    Config() = TConfig();
}

QTEST_GUILESS_MAIN(TstTraduction)
#include "tst_traduction.moc"
