// The settings file: the profile store, the option keys, the Apply checks,
// the window position rules and the machine's DNS server.

#include "core/dns_machine.h"
#include "core/position_fenetre.h"
#include "core/settings.h"
#include "core/stockage_config.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void ecrire(const QString& chemin, const QByteArray& contenu) {
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(contenu);
}

// The "key=" part of each line of a section, in order.
QList<QByteArray> clesDeSection(const QByteArray& fichier, const QByteArray& section) {
    QList<QByteArray> cles;
    bool dedans = false;
    for (const QByteArray& l : fichier.split('\n')) {
        const QByteArray t = l.trimmed();
        if (t.startsWith('[')) {
            dedans = t == '[' + section + ']';
            continue;
        }
        if (dedans && t.contains('=')) cles.append(t.left(t.indexOf('=')));
    }
    return cles;
}

} // namespace

class TstReglages : public QObject {
    Q_OBJECT
private slots:
    void lectureBrute_data();
    void lectureBrute();
    void fichierAbsentPuisCree();
    void magasinAbsent();
    void ecritureEnPlace();
    void ecrituresCommeUneRelecture_data();
    void ecrituresCommeUneRelecture();
    void modificationExterieure();

    void fichierEcritParLeProgramme();
    void fichierEcritALaMain();
    void defautEstLaValeurCourante();
    void autresCles();
    void allerRetour();
    void guillemetsAuxExtremites_data();
    void marquesUtf8Repetees();
    void guillemetsAuxExtremites();

    void appliquer_data();
    void appliquer();
    void portEcoute_data();
    void portEcoute();
    void adresseDNS();
    void securiteAmont_data();
    void securiteAmont();
    void calculBayes_data();
    void calculBayes();

    void sectionsFenetres_data();
    void sectionsFenetres();
    void placement_data();
    void placement();
    void positionEnregistree();

    void serveurDNS_data();
    void serveurDNS();
};

// How a hand-written line reads as a string, an integer and a boolean.
void TstReglages::lectureBrute_data() {
    QTest::addColumn<QByteArray>("ligne");
    QTest::addColumn<QByteArray>("chaine");
    QTest::addColumn<int>("entier");   // default 77
    QTest::addColumn<bool>("booleen"); // default true
    QTest::newRow("integer") << QByteArray("k=12") << QByteArray("12") << 12 << true;
    QTest::newRow("zero") << QByteArray("k=0") << QByteArray("0") << 0 << false;
    QTest::newRow("spaces around") << QByteArray("  k  =  -3  ") << QByteArray("-3") << -3 << true;
    QTest::newRow("double quotes")
        << QByteArray("k=\"  a b  \"") << QByteArray("  a b  ") << 77 << true;
    QTest::newRow("single quotes") << QByteArray("k='x'") << QByteArray("x") << 77 << true;
    QTest::newRow("quoted number") << QByteArray("k=\"5\"") << QByteArray("5") << 5 << true;
    QTest::newRow("mismatched quotes") << QByteArray("k=\"x'") << QByteArray("\"x'") << 77 << true;
    QTest::newRow("one quote") << QByteArray("k=\"") << QByteArray("\"") << 77 << true;
    QTest::newRow("only one pair removed")
        << QByteArray("k=\"\"x\"\"") << QByteArray("\"x\"") << 77 << true;
    QTest::newRow("not a number") << QByteArray("k=abc") << QByteArray("abc") << 77 << true;
    QTest::newRow("digits then letters")
        << QByteArray("k=12ab") << QByteArray("12ab") << 77 << true;
    QTest::newRow("overflow") << QByteArray("k=99999999999") << QByteArray("99999999999") << 77
                              << true;
    QTest::newRow("empty value") << QByteArray("k=") << QByteArray() << 77 << true;
    QTest::newRow("equals in value") << QByteArray("k=a=b") << QByteArray("a=b") << 77 << true;
    QTest::newRow("key case ignored") << QByteArray("K=4") << QByteArray("4") << 4 << true;
    QTest::newRow("8-bit") << QByteArray("k=\xe9t\xe9") << QByteArray("\xe9t\xe9") << 77 << true;
    QTest::newRow("missing") << QByteArray("autre=1") << QByteArray("defaut") << 77 << true;
    QTest::newRow("commented out") << QByteArray(";k=1") << QByteArray("defaut") << 77 << true;
    // A stray CR reads as the blank a save writes in its place.
    QTest::newRow("stray CR at the end") << QByteArray("k=3\r") << QByteArray("3") << 3 << true;
    QTest::newRow("stray CR inside") << QByteArray("k=a\rb") << QByteArray("a b") << 77 << true;
    QTest::newRow("first of two lines") << QByteArray("k=1\r\nK=2") << QByteArray("1") << 1 << true;
}

void TstReglages::lectureBrute() {
    QFETCH(QByteArray, ligne);
    QFETCH(QByteArray, chaine);
    QFETCH(int, entier);
    QFETCH(bool, booleen);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    ecrire(chemin, "[Autre]\r\nk=faux\r\n\r\n[ Init ]\r\n" + ligne + "\r\n[Init]\r\nk=9\r\n");
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    QCOMPARE(ini.LireChaine("Init", "k", "defaut"), chaine);
    QCOMPARE(ini.LireEntier("init", "k", 77), entier);
    QCOMPARE(ini.LireBool("INIT", "k", true), booleen);
    QCOMPARE(ini.Section(), QByteArray("Racine")); // cleared after each convenience call
}

void TstReglages::fichierAbsentPuisCree() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    QCOMPARE(ini.LireEntier("Init", "NbSocket", 35), 35);
    QVERIFY(!QFile::exists(chemin));
    QVERIFY(ini.EcrireChaine({}, "AideActive2", "1")); // no section: "Racine"
    QCOMPARE(lire(chemin), QByteArray("[Racine]\r\nAideActive2=1\r\n"));
    QCOMPARE(ini.LireEntier("Racine", "AideActive2", 3), 1);
}

void TstReglages::magasinAbsent() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("absent/kelvarin.ini"));
    TStockageConfig ini;
    QVERIFY(!ini.Ouvrir(chemin));
    QVERIFY(!ini.Ouvert());
    QCOMPARE(ini.LireChaine("Init", "PortEcoute", "pop3"), QByteArray("pop3"));
    QVERIFY(!ini.EcrireEntier("Init", "NbSocket", 5));
    TConfig c;
    c.NbSocket = 41;
    EcrireConfig(ini, c);
    LireConfig(ini, c);
    QCOMPARE(c.NbSocket, 41);
    QVERIFY(!QFile::exists(chemin));
    QVERIFY(!QDir(dir.filePath(QStringLiteral("absent"))).exists());
}

void TstReglages::ecritureEnPlace() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    ecrire(chemin, "; options\r\n[Init]\r\nPortEcoute=110\r\n; note\r\nNbSocket = 40\r\n\r\n"
                   "[Kelvarin]\r\nFormKelvarinX=5\r\n");
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    QVERIFY(ini.EcrireEntier("Init", "nbsocket", 50));
    QVERIFY(ini.EcrireChaine("Init", "AdresseDNS", "1.2.3.4"));
    QVERIFY(ini.EcrireBool("Affichage", "AfficherDNSBL", false));
    QVERIFY(ini.EcrireChaine("Init", "DebutSujet", "a\r\nb")); // stays on its line
    QCOMPARE(
        lire(chemin),
        QByteArray("; options\r\n[Init]\r\nPortEcoute=110\r\n; note\r\nnbsocket=50\r\n"
                   "AdresseDNS=1.2.3.4\r\nDebutSujet=a  b\r\n\r\n[Kelvarin]\r\nFormKelvarinX=5\r\n"
                   "\r\n[Affichage]\r\nAfficherDNSBL=0\r\n"));
    QVERIFY(!QFile::exists(chemin + QStringLiteral(".tmp")));
    {
        // Reads after an insertion that moved the later lines, in one group.
        TStockageConfig::TLot lot(ini);
        QCOMPARE(ini.LireEntier("Kelvarin", "FormKelvarinX", 0), 5);
        QVERIFY(ini.EcrireChaine("Init", "Nouvelle", "n"));
        QVERIFY(ini.EcrireChaine("Neuve", "Cle", "c"));
        QCOMPARE(ini.LireEntier("Kelvarin", "FormKelvarinX", 0), 5);
        QCOMPARE(ini.LireChaine("Init", "Nouvelle", ""), QByteArray("n"));
        QCOMPARE(ini.LireChaine("neuve", "cle", ""), QByteArray("c"));
        QCOMPARE(ini.LireEntier("Init", "NbSocket", 0), 50);
        // A known key is written in place, the other lines where they were.
        QVERIFY(ini.EcrireEntier("init", "NBSOCKET", 60));
        QCOMPARE(ini.LireEntier("Init", "NbSocket", 0), 60);
        QCOMPARE(ini.LireChaine("Init", "AdresseDNS", ""), QByteArray("1.2.3.4"));
    }
    QCOMPARE(lire(chemin),
             QByteArray("; options\r\n[Init]\r\nPortEcoute=110\r\n; note\r\nNBSOCKET=60\r\n"
                        "AdresseDNS=1.2.3.4\r\nDebutSujet=a  b\r\nNouvelle=n\r\n\r\n"
                        "[Kelvarin]\r\nFormKelvarinX=5\r\n\r\n[Affichage]\r\nAfficherDNSBL=0\r\n"
                        "\r\n[Neuve]\r\nCle=c\r\n"));
}

void TstReglages::ecrituresCommeUneRelecture_data() {
    QTest::addColumn<QByteArray>("fichier");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("comments and blanks")
        << QByteArray("; top\r\n[A]\r\n\r\nk=1\r\n; c\r\n\r\n[B]\r\n;x=1\r\n");
    QTest::newRow("a section twice")
        << QByteArray("[a]\r\nk=1\r\n[B]\r\nk=2\r\n[A]\r\nk=3\r\nn=4\r\n[b]\r\n");
    QTest::newRow("keys before any section") << QByteArray("k=0\r\nn=0\r\n[A]\r\n");
    QTest::newRow("odd headers") << QByteArray("[ A ]\r\nk=1\r\n[A\r\nn=2\r\n[]\r\nk=3\r\n");
}

// Every write keeps what the store reads equal to what a new reader of the
// saved file reads: the lines moved by insertions, keys that read back as
// something else, values that turn a line into a header.
void TstReglages::ecrituresCommeUneRelecture() {
    QFETCH(QByteArray, fichier);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    if (!fichier.isEmpty()) ecrire(chemin, fichier);
    struct TEcriture {
        const char* section;
        const char* cle;
        const char* valeur;
    };
    const TEcriture ecritures[] = {
        {"A", "n", "5"},   {"b", "k", "6"},       {"A", "K", "7"},    {"C", "k", "8"},
        {"a", "m", "9"},   {"A", "x=y", "10"},    {"A", "x", "11"},   {"B", "[k", "12]"},
        {"B", "[k", "13"}, {"A", ";n", "14"},     {"D]", "k", "15"},  {"D", "k", "16"},
        {"C", "[k", "x]"}, {"c", "[K", "17"},     {"A", " s ", "18"}, {"A", "s", "19"},
        {"", "k", "20"},   {"Racine", "n", "21"}, {"C", "z", "22"},   {"b", "z", "23"},
    };
    const QByteArrayList sections{"A", "B", "C", "D", "D]", "Racine", ""};
    const QByteArrayList cles{"k", "n", "m", "x", "x=y", "[k", ";n", "s", " s ", "z"};
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    for (const TEcriture& e : ecritures) {
        QVERIFY(ini.EcrireChaine(e.section, e.cle, e.valeur));
        TStockageConfig relu;
        QVERIFY(relu.Ouvrir(chemin));
        for (const QByteArray& s : sections)
            for (const QByteArray& c : cles)
                QVERIFY2(
                    ini.LireChaine(s, c, "?") == relu.LireChaine(s, c, "?"),
                    QByteArray("after " + QByteArray(e.section) + "/" + e.cle + ": " + s + "/" + c)
                        .constData());
    }
}

void TstReglages::modificationExterieure() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    QVERIFY(ini.EcrireEntier("Init", "NbSocket", 50));
    // Another writer (an editor, the language dialog of a second copy) changes the file.
    ecrire(chemin, "[Init]\r\nNbSocket=60\r\nLanguageForce=de\r\n");
    QCOMPARE(ini.LireEntier("Init", "NbSocket", 0), 60);
    QVERIFY(ini.EcrireEntier("Init", "NbSocket", 70));
    QCOMPARE(lire(chemin), QByteArray("[Init]\r\nNbSocket=70\r\nLanguageForce=de\r\n"));
    // Saved by an editor with a byte order mark: the first section is still found.
    ecrire(chemin, "\xEF\xBB\xBF[Init]\nNbSocket=80\n");
    QCOMPARE(ini.LireEntier("Init", "NbSocket", 0), 80);
    QVERIFY(ini.EcrireEntier("Init", "NbSocket", 90));
    QCOMPARE(lire(chemin), QByteArray("[Init]\r\nNbSocket=90\r\n"));

    // A grouped write (the whole table, at Apply or shutdown) keeps the keys the
    // user added by hand while the program ran, wherever the group starts.
    TConfig c;
    for (int imbrique = 0; imbrique < 2; ++imbrique) {
        ecrire(chemin, "[Init]\r\nAdresseEcoute=0.0.0.0\r\nCoderMDP=0\r\n");
        if (imbrique)
            SauverConfig(ini, c, 1, 2);
        else
            EcrireConfig(ini, c);
        const QByteArray f = lire(chemin);
        QVERIFY2(f.startsWith("[Init]\r\nAdresseEcoute=0.0.0.0\r\nCoderMDP=0\r\n"), f.constData());
        QVERIFY(f.contains("\r\nNbSocket=35\r\n"));
    }
}

void TstReglages::fichierEcritParLeProgramme() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig c;
    c.FinSujet = "  fin  ";
    SauverConfig(ini, c, 12, 34);
    const QByteArray f = lire(chemin);
    QCOMPARE(clesDeSection(f, "Init").mid(0, ClesInit().size()), ClesInit());
    QCOMPARE(clesDeSection(f, "Init").mid(ClesInit().size()),
             (QList<QByteArray>{"SecuriteAmont", "CertificatsAmont", "CalculBayes",
                                "NumeroCompteMini", "NumeroDNSMini"}));
    QCOMPARE(clesDeSection(f, "Affichage"),
             (QList<QByteArray>{"NbJour", "NbHeure", "Affichage", "AfficherDNSBL"}));
    QVERIFY(f.contains("\r\nDebutSujet=\"[[**SPAM**]] \"\r\n"));
    QVERIFY(f.contains("\r\nFinSujet=\"  fin  \"\r\n"));
    QVERIFY(f.contains("\r\nFinSujetIP=\"\"\r\n"));
    QVERIFY(f.contains("\r\nSujetSupprime=\"[[**SPAM**]] message de type spam\"\r\n"));
    QVERIFY(f.contains("\r\nPortEcoute=pop3\r\n"));
    QVERIFY(f.contains("\r\nMode2=0\r\nVersionInterne=2\r\n"));
    QVERIFY(f.contains("\r\nNumeroCompteMini=12\r\nNumeroDNSMini=34\r\n"));
    QVERIFY(!f.contains("CoderMDP") && !f.contains("AdresseEcoute") && !f.contains("FreeSocket"));
    QCOMPARE(f.count('\n'), f.count("\r\n"));
    QCOMPARE(ClesInit().size(), 36);
    QCOMPARE(ClesInit().last(), QByteArray("VersionInterne"));
}

void TstReglages::fichierEcritALaMain() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    ecrire(chemin, "[Init]\n"
                   "DebutSujet=\"  [SPAM]  \"\n"
                   "FinSujet=' fin '\n"
                   "DebutSujetBaye=\"\"x\"\"\n"
                   "DebutSujetIP=\"\"\n"
                   "PortEcoute=   \n"
                   "PortMail=\"\"\n"
                   "NbSocket=beaucoup\n"
                   "DureeStockage= 12 \n"
                   "TimeOutRecherche=\"2500\"\n"
                   "ModifSujet=oui\n"
                   "SpamSiPasSujetFrom=0\n"
                   "AnimerIcone=-1\n"
                   "SupprimerSpam=2\n"
                   "AdresseDNS=  10.0.0.1  \n"
                   "ModeBayes=5x\n"
                   "Mode2=1\n");
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig c;
    LireConfig(ini, c);
    QCOMPARE(c.DebutSujet, QByteArray("  [SPAM]  ")); // all four spaces kept
    QCOMPARE(c.FinSujet, QByteArray(" fin "));
    QCOMPARE(c.DebutSujetBaye, QByteArray("x")); // unquoted twice
    QCOMPARE(c.DebutSujetIP, QByteArray());
    QCOMPARE(c.FinSujetIP, QByteArray()); // missing: its default
    QCOMPARE(c.SujetSupprime, QByteArray("[[**SPAM**]] message de type spam"));
    QCOMPARE(c.PortEcoute, QByteArray("pop3")); // empty never stays empty
    QCOMPARE(c.PortMail, QByteArray("pop3"));
    QCOMPARE(c.NbSocket, 35); // not an integer: the default
    QCOMPARE(c.DureeStockage, 12);
    QCOMPARE(c.TimeOutRecherche, 2500);
    QCOMPARE(c.ModifSujet, true);
    QCOMPARE(c.SpamSiPasSujetFrom, false);
    QCOMPARE(c.AnimerIcone, true);
    QCOMPARE(c.SupprimerSpam, true);
    QCOMPARE(c.AdresseDNS, QByteArray("10.0.0.1"));
    QCOMPARE(c.ModeBayes, 5);
    QCOMPARE(c.VersionInterne, 2);
    // The file is only read.
    QVERIFY(lire(chemin).startsWith("[Init]\nDebutSujet"));
}

void TstReglages::defautEstLaValeurCourante() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    ecrire(chemin, "[Init]\r\nNbSocket=50\r\n");
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig c;
    c.DureeStockage = 9;
    c.DebutSujet = "pre ";
    c.AdresseDNS = "9.9.9.9";
    c.DerniereVersion = "1.0";
    c.NumLocal = 7;
    LireConfig(ini, c);
    QCOMPARE(c.NbSocket, 50);
    QCOMPARE(c.DureeStockage, 9); // missing: keeps the value held
    QCOMPARE(c.DebutSujet, QByteArray("pre "));
    QCOMPARE(c.AdresseDNS, QByteArray()); // these three have fixed defaults
    QCOMPARE(c.DerniereVersion, QByteArray());
    QCOMPARE(c.NumLocal, 0);
}

void TstReglages::autresCles() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig c;
    LireAutresCles(ini, c);
    QCOMPARE(c.AdresseEcoute, QByteArray("127.0.0.1"));
    QCOMPARE(c.CoderMDP, true);
    QCOMPARE(c.FreeSocket, true);
    QCOMPARE(c.VersionInterne, 2);
    QCOMPARE(c.AideActive2, 3);
    ecrire(chemin,
           "[Racine]\r\nAideActive2=1\r\n[Init]\r\nCoderMDP=0\r\nAdresseEcoute= 0.0.0.0 \r\n"
           "VersionInterne=1\r\nNumeroCompteMini=17\r\nLanguageForce=\"en\"\r\n"
           "[Affichage]\r\nNbJour=10\r\nAffichage=4\r\nAfficherDNSBL=0\r\n");
    LireAutresCles(ini, c);
    QCOMPARE(c.AdresseEcoute, QByteArray("0.0.0.0"));
    QCOMPARE(c.CoderMDP, false);
    QCOMPARE(c.VersionInterne, 1);
    QCOMPARE(c.NumeroCompteMini, 17);
    QCOMPARE(c.LanguageForce, QByteArray("en"));
    QCOMPARE(c.NbJour, QByteArray("10"));
    QCOMPARE(c.Affichage, 4);
    QCOMPARE(c.AfficherDNSBL, false);
    QCOMPARE(c.AideActive2, 1);
    // Written settings never carry the hand-set keys away.
    EcrireConfig(ini, c);
    QVERIFY(lire(chemin).contains("AdresseEcoute= 0.0.0.0 \r\n"));
    QVERIFY(lire(chemin).contains("CoderMDP=0\r\n"));
}

void TstReglages::allerRetour() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig c;
    c.DebutSujet = "\"cit\xe9\" ";
    c.FinSujet = " ";
    c.PortEcoute = "1110";
    c.NbSocket = 21;
    c.ModifSujet = false;
    c.DerniereVersion = "1.02.03.04";
    c.NumLocal = -3;
    EcrireConfig(ini, c);
    TConfig relu;
    relu.NbSocket = 0;
    LireConfig(ini, relu);
    QCOMPARE(relu.DebutSujet, QByteArray("\"cit\xe9\" "));
    QCOMPARE(relu.FinSujet, QByteArray(" "));
    QCOMPARE(relu.PortEcoute, QByteArray("1110"));
    QCOMPARE(relu.NbSocket, 21);
    QCOMPARE(relu.ModifSujet, false);
    QCOMPARE(relu.DerniereVersion, QByteArray("1.02.03.04"));
    QCOMPARE(relu.NumLocal, -3);
}

// A value that begins and ends with a quote reads back as it was saved, whether
// its key is written between quotes or not.
void TstReglages::guillemetsAuxExtremites_data() {
    QTest::addColumn<QByteArray>("valeur");
    QTest::newRow("double quotes") << QByteArray("\"quoted\"");
    QTest::newRow("single quotes") << QByteArray("'quoted'");
    QTest::newRow("two double quotes") << QByteArray("\"\"");
    QTest::newRow("doubled double quotes") << QByteArray("\"\"x\"\"");
    QTest::newRow("one quote") << QByteArray("\"");
    QTest::newRow("quote at one end") << QByteArray("\"x");
    QTest::newRow("quoted words") << QByteArray("\"a\" et \"b\"");
    // A reader trims the blanks around a value; the quotes keep them.
    QTest::newRow("blank at the end") << QByteArray("pop3 ");
    QTest::newRow("blank at the start") << QByteArray(" pop3");
    QTest::newRow("tab at the end") << QByteArray("x\t");
    QTest::newRow("blanks only") << QByteArray("  ");
    QTest::newRow("quoted, then a blank") << QByteArray("\"x\" ");
}

void TstReglages::guillemetsAuxExtremites() {
    QFETCH(QByteArray, valeur);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    TConfig c;
    c.DebutSujet = valeur;    // written between quotes
    c.SujetSupprime = valeur; // written between quotes
    c.AdresseDNS = valeur;    // quoted only when a read would change it
    c.PortEcoute = valeur;
    c.PortMail = valeur;
    c.CertificatsAmont = valeur;
    c.DerniereVersion = valeur;
    c.NbJour = valeur; // "Affichage"
    {
        TStockageConfig ini;
        QVERIFY(ini.Ouvrir(chemin));
        SauverConfig(ini, c, 0, 0);
    }
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig relu;
    LireConfig(ini, relu);
    LireAutresCles(ini, relu);
    QCOMPARE(relu.DebutSujet, valeur);
    QCOMPARE(relu.SujetSupprime, valeur);
    QCOMPARE(relu.AdresseDNS, valeur);
    QCOMPARE(relu.PortEcoute, valeur);
    QCOMPARE(relu.PortMail, valeur);
    // A file name: its blanks are trimmed when read.
    QCOMPARE(relu.CertificatsAmont, valeur.trimmed());
    QCOMPARE(relu.DerniereVersion, valeur);
    QCOMPARE(relu.NbJour, valeur);
}

// Every byte-order mark at the start is skipped, not only the first: a save
// writes none, so the second one would otherwise change the file's first line.
void TstReglages::marquesUtf8Repetees() {
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    ecrire(chemin, "\xEF\xBB\xBF\xEF\xBB\xBF[Init]\r\nk=5\r\n");
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    QCOMPARE(ini.LireEntier("Init", "k", 77), 5);
    QVERIFY(ini.EcrireEntier("Init", "j", 1));
    TStockageConfig relu;
    QVERIFY(relu.Ouvrir(chemin));
    QCOMPARE(relu.LireEntier("Init", "k", 77), 5);
}

void TstReglages::appliquer_data() {
    QTest::addColumn<QString>("champ");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<int>("valeur");
    QTest::newRow("NbSocket below floor")
        << QStringLiteral("NbSocket") << QStringLiteral("5") << 20;
    QTest::newRow("NbSocket kept") << QStringLiteral("NbSocket") << QStringLiteral("100") << 100;
    QTest::newRow("NbSocket blanks") << QStringLiteral("NbSocket") << QStringLiteral(" 30 ") << 30;
    QTest::newRow("TimeOut not a number")
        << QStringLiteral("TimeOut") << QStringLiteral("abc") << 1000;
    QTest::newRow("TimeOut empty") << QStringLiteral("TimeOut") << QString() << 1000;
    QTest::newRow("TimeOut no upper bound")
        << QStringLiteral("TimeOut") << QStringLiteral("900000") << 900000;
    QTest::newRow("DureeStockage negative") << QStringLiteral("Duree") << QStringLiteral("-4") << 1;
    QTest::newRow("Tentatives zero") << QStringLiteral("Tentatives") << QStringLiteral("0") << 1;
    QTest::newRow("Pourcentage2 floor") << QStringLiteral("P2") << QStringLiteral("2") << 5;
    QTest::newRow("Pourcentage overflow")
        << QStringLiteral("P") << QStringLiteral("99999999999") << 5;
    QTest::newRow("Pourcentage decimal") << QStringLiteral("P") << QStringLiteral("50.5") << 5;
}

void TstReglages::appliquer() {
    QFETCH(QString, champ);
    QFETCH(QString, texte);
    QFETCH(int, valeur);
    TConfig c;
    TSaisieOptions s = SaisieDepuisConfig(c);
    if (champ == u"NbSocket") s.NbSocket = texte;
    if (champ == u"TimeOut") s.TimeOutRecherche = texte;
    if (champ == u"Duree") s.DureeStockage = texte;
    if (champ == u"Tentatives") s.NbTentativeRecherche = texte;
    if (champ == u"P2") s.PourcentageSpam2 = texte;
    if (champ == u"P") s.PourcentageSpam = texte;
    AppliquerSaisie(s, c, {});
    const int lu = champ == u"NbSocket"     ? c.NbSocket
                   : champ == u"TimeOut"    ? c.TimeOutRecherche
                   : champ == u"Duree"      ? c.DureeStockage
                   : champ == u"Tentatives" ? c.NbTentativeRecherche
                   : champ == u"P2"         ? c.PourcentageSpam2
                                            : c.PourcentageSpam;
    QCOMPARE(lu, valeur);
}

void TstReglages::portEcoute_data() {
    QTest::addColumn<QString>("avant");
    QTest::addColumn<QString>("saisi");
    QTest::addColumn<bool>("reouvrir");
    QTest::addColumn<QString>("apres");
    QTest::newRow("unchanged") << QStringLiteral("110") << QStringLiteral("110") << false
                               << QStringLiteral("110");
    QTest::newRow("spaces count as a change, stored trimmed")
        << QStringLiteral("110") << QStringLiteral(" 110 ") << true << QStringLiteral("110");
    QTest::newRow("new port") << QStringLiteral("110") << QStringLiteral("1110") << true
                              << QStringLiteral("1110");
    QTest::newRow("empty gives pop3")
        << QStringLiteral("110") << QStringLiteral("  ") << true << QStringLiteral("pop3");
}

void TstReglages::portEcoute() {
    QFETCH(QString, avant);
    QFETCH(QString, saisi);
    QFETCH(bool, reouvrir);
    QFETCH(QString, apres);
    TConfig c;
    c.PortEcoute = avant.toLatin1();
    TSaisieOptions s = SaisieDepuisConfig(c);
    s.PortEcoute = saisi;
    s.PortMail = QString(); // changing only PortMail never reopens the listener
    const TResultatAppliquer r = AppliquerSaisie(s, c, {});
    QCOMPARE(r.PortEcouteChange, reouvrir);
    QCOMPARE(c.PortEcoute, apres.toLatin1());
    QCOMPARE(c.PortMail, QByteArray("pop3"));
}

// The upstream connection's two keys: read, kept through Apply (the PEM file
// has no control), written after the table.
void TstReglages::securiteAmont_data() {
    QTest::addColumn<QByteArray>("fichier");
    QTest::addColumn<int>("lu");
    QTest::newRow("required") << QByteArray("SecuriteAmont=1\r\n") << 1;
    QTest::newRow("plain only") << QByteArray("SecuriteAmont=2\r\n") << 2;
    QTest::newRow("out of range") << QByteArray("SecuriteAmont=3\r\n") << 0;
    QTest::newRow("negative") << QByteArray("SecuriteAmont=-1\r\n") << 0;
    QTest::newRow("not a number: the value held") << QByteArray("SecuriteAmont=oui\r\n") << 2;
    QTest::newRow("missing: the value held") << QByteArray() << 2;
}

void TstReglages::securiteAmont() {
    QFETCH(QByteArray, fichier);
    QFETCH(int, lu);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    ecrire(chemin, "[Init]\r\n" + fichier + "CertificatsAmont= /etc/maison/ca.pem \r\n");
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig c;
    c.SecuriteAmont = 2;
    LireConfig(ini, c);
    QCOMPARE(c.SecuriteAmont, lu);
    QCOMPARE(c.CertificatsAmont, QByteArray("/etc/maison/ca.pem"));
    TSaisieOptions s = SaisieDepuisConfig(c);
    QCOMPARE(s.SecuriteAmont, lu);
    s.SecuriteAmont = 1;
    AppliquerSaisie(s, c, {});
    QCOMPARE(c.SecuriteAmont, 1);
    QCOMPARE(c.CertificatsAmont, QByteArray("/etc/maison/ca.pem"));
    EcrireConfig(ini, c);
    QVERIFY(lire(chemin).contains("\r\nSecuriteAmont=1\r\n"));
    QVERIFY(lire(chemin).contains("\r\nCertificatsAmont=/etc/maison/ca.pem\r\n"));
}

// The Bayesian combination: 0 or 1, anything else the mean; kept through
// Apply (its control is on the review page) and written after the table.
void TstReglages::calculBayes_data() {
    QTest::addColumn<QByteArray>("fichier");
    QTest::addColumn<int>("lu");
    QTest::newRow("chi-square") << QByteArray("CalculBayes=1\r\n") << 1;
    QTest::newRow("mean") << QByteArray("CalculBayes=0\r\n") << 0;
    QTest::newRow("out of range") << QByteArray("CalculBayes=2\r\n") << 0;
    QTest::newRow("negative") << QByteArray("CalculBayes=-1\r\n") << 0;
    QTest::newRow("not a number: the value held") << QByteArray("CalculBayes=oui\r\n") << 1;
    QTest::newRow("missing: the value held") << QByteArray() << 1;
}

void TstReglages::calculBayes() {
    QFETCH(QByteArray, fichier);
    QFETCH(int, lu);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    ecrire(chemin, "[Init]\r\n" + fichier);
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    TConfig c;
    QCOMPARE(c.CalculBayes, 0); // the design's mean unless asked
    c.CalculBayes = 1;
    LireConfig(ini, c);
    QCOMPARE(c.CalculBayes, lu);
    AppliquerSaisie(SaisieDepuisConfig(c), c, {});
    QCOMPARE(c.CalculBayes, lu);
    c.CalculBayes = 1 - lu;
    EcrireConfig(ini, c);
    QVERIFY(lire(chemin).contains("\r\nCalculBayes=" + QByteArray::number(1 - lu) + "\r\n"));
}

void TstReglages::adresseDNS() {
    TConfig c;
    TSaisieOptions s = SaisieDepuisConfig(c);
    s.AdresseDNS = QStringLiteral("10.1.1.1");
    s.DebutSujet = QStringLiteral(" [spam] ");
    s.LookXP = true;
    const auto machine = [] { return QByteArray("192.168.1.1"); };
    TResultatAppliquer r = AppliquerSaisie(s, c, machine);
    QCOMPARE(c.AdresseDNS, QByteArray("192.168.1.1")); // automatic: the machine's
    QCOMPARE(c.DebutSujet, QByteArray(" [spam] "));    // as typed, not trimmed
    QVERIFY(r.LookXPChange);
    s.DNSAuto = false;
    r = AppliquerSaisie(s, c, machine);
    QCOMPARE(c.AdresseDNS, QByteArray("10.1.1.1"));
    QVERIFY(!r.LookXPChange);
    QCOMPARE(AdresseDNSEffective(c, machine), QByteArray("10.1.1.1"));
    c.AdresseDNS.clear();
    QCOMPARE(AdresseDNSEffective(c, machine), QByteArray("192.168.1.1"));
}

void TstReglages::sectionsFenetres_data() {
    QTest::addColumn<QByteArray>("classe");
    QTest::addColumn<QByteArray>("nom");
    QTest::addColumn<QByteArray>("section");
    QTest::newRow("main") << QByteArray("TFormKelvarin") << QByteArray("FormKelvarin")
                          << QByteArray("Kelvarin");
    QTest::newRow("config OE") << QByteArray("TFormConfigOE") << QByteArray("FormConfigOE")
                               << QByteArray("ConfigOE");
    QTest::newRow("not a Form") << QByteArray("TAboutBox") << QByteArray("AboutBox")
                                << QByteArray("AboutBox");
    QTest::newRow("Form alone") << QByteArray("TForm") << QByteArray("Form") << QByteArray();
}

void TstReglages::sectionsFenetres() {
    QFETCH(QByteArray, classe);
    QFETCH(QByteArray, nom);
    QFETCH(QByteArray, section);
    QCOMPARE(NomFenetre(classe), nom);
    QCOMPARE(SectionFenetre(nom), section);
}

void TstReglages::placement_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("maxi");
    QTest::addColumn<bool>("redim");
    QTest::addColumn<QRect>("geometrie");
    QTest::addColumn<bool>("maximiser");
    // Design geometry 10,20 400x300 on a 1000x800 screen.
    QTest::newRow("nothing stored: centred")
        << -100 << -100 << 0 << 0 << false << true << QRect(300, 250, 400, 300) << false;
    QTest::newRow("X stored as -100: centred")
        << -100 << 50 << 500 << 500 << false << true << QRect(300, 250, 400, 300) << false;
    QTest::newRow("stored position and size")
        << 5 << 6 << 640 << 480 << false << true << QRect(5, 6, 640, 480) << false;
    QTest::newRow("size of 10 or less ignored")
        << 5 << 6 << 5 << 480 << false << true << QRect(5, 6, 400, 300) << false;
    QTest::newRow("maximised takes any stored size")
        << 5 << 6 << 5 << 7 << true << true << QRect(5, 6, 5, 7) << true;
    QTest::newRow("negative position is a position")
        << -50 << 0 << 0 << 0 << false << true << QRect(-50, 0, 400, 300) << false;
    QTest::newRow("fixed window: position only")
        << 5 << 6 << 640 << 480 << true << false << QRect(5, 6, 400, 300) << false;
    QTest::newRow("fixed window centred")
        << -100 << -100 << 0 << 0 << false << false << QRect(300, 250, 400, 300) << false;
}

void TstReglages::placement() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, maxi);
    QFETCH(bool, redim);
    QFETCH(QRect, geometrie);
    QFETCH(bool, maximiser);
    const TPositionFenetre p{x, y, w, h, maxi};
    const TPlacementFenetre r = PlacerFenetre(p, QRect(10, 20, 400, 300), QSize(1000, 800), redim);
    QCOMPARE(r.Geometrie, geometrie);
    QCOMPARE(r.Maximiser, maximiser);
    QCOMPARE(r.BornesNormales, geometrie);
}

void TstReglages::positionEnregistree() {
    // A screen smaller than the window: the coordinate that would go negative stays.
    TPlacementFenetre r = PlacerFenetre({}, QRect(10, 20, 400, 300), QSize(300, 900), true);
    QCOMPARE(r.Geometrie, QRect(10, 300, 400, 300));
    // The minimum size is applied last.
    r = PlacerFenetre({1, 2, 50, 50, false}, QRect(0, 0, 400, 300), QSize(1000, 800), true,
                      QSize(100, 40));
    QCOMPARE(r.Geometrie, QRect(1, 2, 100, 50));

    QCOMPARE(PositionAEcrire(true, true, QRect(0, 0, 1000, 800), QRect(5, 6, 300, 200)).Maxi, true);
    const TPositionFenetre maxi =
        PositionAEcrire(true, true, QRect(0, 0, 1000, 800), QRect(5, 6, 300, 200));
    QCOMPARE(QRect(maxi.X, maxi.Y, maxi.W, maxi.H), QRect(5, 6, 300, 200));
    const TPositionFenetre normale =
        PositionAEcrire(true, false, QRect(7, 8, 310, 210), QRect(5, 6, 300, 200));
    QCOMPARE(QRect(normale.X, normale.Y, normale.W, normale.H), QRect(7, 8, 310, 210));
    QCOMPARE(normale.Maxi, false);

    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("kelvarin.ini"));
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(chemin));
    EcrirePositionFenetre(ini, "FormKelvarin", true, maxi);
    EcrirePositionFenetre(ini, "FormQuitter", false, normale);
    QCOMPARE(lire(chemin),
             QByteArray("[Kelvarin]\r\nFormKelvarinX=5\r\nFormKelvarinY=6\r\n"
                        "FormKelvarinW=300\r\nFormKelvarinH=200\r\nFormKelvarinMaxi=1\r\n"
                        "\r\n[Quitter]\r\nFormQuitterX=7\r\nFormQuitterY=8\r\n"));
    const TPositionFenetre relue = LirePositionFenetre(ini, "FormKelvarin", true);
    QCOMPARE(QRect(relue.X, relue.Y, relue.W, relue.H), QRect(5, 6, 300, 200));
    QVERIFY(relue.Maxi);
    const TPositionFenetre fixe = LirePositionFenetre(ini, "FormQuitter", false);
    QCOMPARE(fixe.X, 7);
    QCOMPARE(fixe.W, 0);
    QVERIFY(!LirePositionFenetre(ini, "FormLanguage", false).Stockee());

    ecrire(chemin, "[Kelvarin]\r\nFontSize=11\r\n[Tester]\r\nFontSize=1\r\n");
    const TPoliceFenetre police = LirePoliceFenetre(ini, "FormKelvarin", "Sans");
    QVERIFY(police.AAppliquer());
    QCOMPARE(police.Nom, QByteArray("Sans"));
    QVERIFY(!LirePoliceFenetre(ini, "FormTester", "Sans").AAppliquer());
}

void TstReglages::serveurDNS_data() {
    QTest::addColumn<QByteArray>("contenu");
    QTest::addColumn<QByteArray>("serveur");
    QTest::newRow("first IPv4")
        << QByteArray("# x\nsearch lan\nnameserver 192.168.1.1\nnameserver 8.8.8.8\n")
        << QByteArray("192.168.1.1");
    QTest::newRow("IPv6 skipped")
        << QByteArray("nameserver ::1\nnameserver fe80::1%eth0\nnameserver  10.0.0.53 \n")
        << QByteArray("10.0.0.53");
    QTest::newRow("tab separated")
        << QByteArray("nameserver\t127.0.0.53\r\n") << QByteArray("127.0.0.53");
    QTest::newRow("commented out")
        << QByteArray("#nameserver 1.1.1.1\n; nameserver 2.2.2.2\n") << QByteArray();
    QTest::newRow("garbage") << QByteArray(
                                    "nameserver 300.1.1.1\nnameserver abc\nnameservers 1.1.1.1\n")
                             << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TstReglages::serveurDNS() {
    QFETCH(QByteArray, contenu);
    QFETCH(QByteArray, serveur);
    QTemporaryDir dir;
    const QString chemin = dir.filePath(QStringLiteral("resolv.conf"));
    ecrire(chemin, contenu);
    QCOMPARE(PremierServeurDNS(chemin), serveur);
    QCOMPARE(PremierServeurDNS(dir.filePath(QStringLiteral("absent"))), QByteArray());
}

QTEST_GUILESS_MAIN(TstReglages)
#include "tst_reglages.moc"
