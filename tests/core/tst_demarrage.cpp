// Start-up without windows: command line, directories, debug mode, version
// string, and the controller's creation, deferred start, timers and shutdown.

#include "core/controleur.h"
#include "core/ligne_commande.h"
#include "core/repertoires.h"
#include "core/stockage_config.h"
#include "core/trace.h"

#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

class TstDemarrage : public QObject {
    Q_OBJECT
private slots:
    // The settings in memory are process-wide: each test starts from the defaults.
    void init() {
        Config() = TConfig();
        TTrace::instance().effacer();
    }

    void interrupteurs_data();
    void interrupteurs();
    void home();
    void repertoires_data();
    void repertoires();
    void repertoiresDerives();
    void modeDebug_data();
    void modeDebug();
    void version();

    void ordreDuDemarrage();
    void portImpossible();
    void etapeEnEchec();
    void timers();
    void appliquerEtAnnuler();
    void arretSauveLesReglages();
    void reglagesIllisibles();
};

void TstDemarrage::interrupteurs_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("interrupteur");
    QTest::addColumn<bool>("present");
    QTest::newRow("slash") << QStringList{QStringLiteral("/multi")} << QStringLiteral("/multi")
                           << true;
    QTest::newRow("dash") << QStringList{QStringLiteral("-multi")} << QStringLiteral("/multi")
                          << true;
    QTest::newRow("double dash") << QStringList{QStringLiteral("--multi")}
                                 << QStringLiteral("/multi") << true;
    QTest::newRow("case ignored") << QStringList{QStringLiteral("/QUITTERSANS")}
                                  << QStringLiteral("/QuitterSans") << true;
    QTest::newRow("exact only") << QStringList{QStringLiteral("/Quitter")}
                                << QStringLiteral("/QuitterSans") << false;
    QTest::newRow("no prefix match")
        << QStringList{QStringLiteral("/QuitterSans")} << QStringLiteral("/Quitter") << false;
    QTest::newRow("asked without mark")
        << QStringList{QStringLiteral("--headless")} << QStringLiteral("headless") << true;
    QTest::newRow("bare word is not a switch")
        << QStringList{QStringLiteral("debug")} << QStringLiteral("/debug") << false;
    QTest::newRow("home value is not a switch")
        << QStringList{QStringLiteral("--home"), QStringLiteral("/debug")}
        << QStringLiteral("/debug") << false;
    QTest::newRow("among others") << QStringList{QStringLiteral("/visible"),
                                                 QStringLiteral("-Trace")}
                                  << QStringLiteral("--trace") << true;
    QTest::newRow("none") << QStringList{} << QStringLiteral("/visible") << false;
}

void TstDemarrage::interrupteurs() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, interrupteur);
    QFETCH(bool, present);
    QCOMPARE(TLigneCommande(arguments).ParamPresent(interrupteur), present);
    InstallerLigneCommande(TLigneCommande(arguments));
    QCOMPARE(ParamPresent(interrupteur), present);
    InstallerLigneCommande(TLigneCommande());
}

void TstDemarrage::home() {
    QCOMPARE(TLigneCommande({QStringLiteral("--home"), QStringLiteral("/srv/kv")}).Home(),
             QStringLiteral("/srv/kv"));
    QCOMPARE(TLigneCommande({QStringLiteral("/HOME=/a b")}).Home(), QStringLiteral("/a b"));
    QCOMPARE(TLigneCommande({QStringLiteral("--home")}).Home(), QString());
}

namespace {
// A machine where only the given folders exist and only some are writable.
TEmplacementsSysteme machine(const QStringList& existants, const QStringList& inscriptibles) {
    TEmplacementsSysteme s;
    s.DonneesUtilisateur = QStringLiteral("/home/u/.local/share");
    const auto sansBarre = [](QString d) {
        while (d.endsWith(u'/'))
            d.chop(1);
        return d;
    };
    s.Existe = [=](const QString& d) { return existants.contains(sansBarre(d)); };
    s.Inscriptible = [=](const QString& d) { return inscriptibles.contains(sansBarre(d)); };
    return s;
}
} // namespace

void TstDemarrage::repertoires_data() {
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QStringList>("existants");
    QTest::addColumn<QStringList>("inscriptibles");
    QTest::addColumn<QString>("installation");
    QTest::addColumn<QString>("travail");
    const QString bin = QStringLiteral("/opt/kv/bin");
    const QStringList copie = {QStringLiteral("/opt/kv/bin/Encodage")};
    QTest::newRow("copy beside the data, writable")
        << bin << copie << QStringList{bin} << QStringLiteral("/opt/kv/bin/")
        << QStringLiteral("/opt/kv/bin/");
    QTest::newRow("copy beside the data, read-only")
        << bin << copie << QStringList{} << QStringLiteral("/opt/kv/bin/")
        << QStringLiteral("/home/u/.local/share/kelvarin/");
    QTest::newRow("package: data under share, even for root")
        << QStringLiteral("/usr/bin") << QStringList{QStringLiteral("/usr/share/kelvarin/Encodage")}
        << QStringList{QStringLiteral("/usr/bin")} << QStringLiteral("/usr/share/kelvarin/")
        << QStringLiteral("/home/u/.local/share/kelvarin/");
    QTest::newRow("data beside wins over share")
        << bin
        << QStringList{QStringLiteral("/opt/kv/bin/Encodage"),
                       QStringLiteral("/opt/kv/share/kelvarin/Encodage")}
        << QStringList{bin} << QStringLiteral("/opt/kv/bin/") << QStringLiteral("/opt/kv/bin/");
    QTest::newRow("no data anywhere: a build folder")
        << bin << QStringList{} << QStringList{bin} << QStringLiteral("/opt/kv/bin/")
        << QStringLiteral("/opt/kv/bin/");
}

void TstDemarrage::repertoires() {
    QFETCH(QString, executable);
    QFETCH(QStringList, existants);
    QFETCH(QStringList, inscriptibles);
    QFETCH(QString, installation);
    QFETCH(QString, travail);
    const TEmplacementsSysteme m = machine(existants, inscriptibles);
    const TRepertoires r = TRepertoires::Calculer(executable, {}, {}, m);
    QCOMPARE(r.Installation, installation);
    QCOMPARE(r.Travail, travail);
    QCOMPARE(r.Ini(), travail + QStringLiteral("kelvarin.ini"));
    QCOMPARE(r.Encodage(), installation + QStringLiteral("Encodage/"));
    QCOMPARE(r.Aide(), installation + QStringLiteral("help/"));
    // The environment and then --home win whatever the layout.
    QCOMPARE(TRepertoires::Calculer(executable, {}, QStringLiteral("/var/kv"), m).Travail,
             QStringLiteral("/var/kv/"));
    const TRepertoires h = TRepertoires::Calculer(
        executable, TLigneCommande({QStringLiteral("--home"), QStringLiteral("/home/u/.kv/")}),
        QStringLiteral("/var/kv"), m);
    QCOMPARE(h.Travail, QStringLiteral("/home/u/.kv/"));
    QCOMPARE(h.Installation, installation);
}

void TstDemarrage::repertoiresDerives() {
    const TRepertoires r = TRepertoires::Calculer(
        QStringLiteral("/opt/kv/bin/"),
        TLigneCommande({QStringLiteral("--home"), QStringLiteral("/home/u/.kv/")}),
        QStringLiteral("/var/kv"), machine({QStringLiteral("/opt/kv/bin/Encodage")}, {}));
    QCOMPARE(r.Ini(), QStringLiteral("/home/u/.kv/kelvarin.ini"));
    QCOMPARE(r.Donnees(), QStringLiteral("/home/u/.kv/Donnees/"));
    QCOMPARE(r.Dossiers(), QStringLiteral("/home/u/.kv/Dossiers/"));
    QCOMPARE(r.Tmp(), QStringLiteral("/home/u/.kv/tmp/"));
    QCOMPARE(r.DebugTxt(), QStringLiteral("/home/u/.kv/debug.txt"));
    QCOMPARE(r.Encodage(), QStringLiteral("/opt/kv/bin/Encodage/"));
    QCOMPARE(r.Language(), QStringLiteral("/opt/kv/bin/Language/"));
    QString travail = QStringLiteral("./");
    QString installation = QStringLiteral("./");
    r.InitRepertoire(travail, installation);
    QCOMPARE(travail, QStringLiteral("/home/u/.kv/"));
    QCOMPARE(installation, QStringLiteral("/opt/kv/bin/"));
}

void TstDemarrage::modeDebug_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("marqueur");
    QTest::addColumn<bool>("debug");
    QTest::newRow("nothing") << QStringList{} << false << false;
    QTest::newRow("/debug") << QStringList{QStringLiteral("/debug")} << false << true;
    QTest::newRow(".debug file") << QStringList{} << true << true;
    QTest::newRow("/pasdebug beats /debug")
        << QStringList{QStringLiteral("/debug"), QStringLiteral("--pasdebug")} << false << false;
    QTest::newRow("/pasdebug beats the file")
        << QStringList{QStringLiteral("-pasdebug")} << true << false;
}

void TstDemarrage::modeDebug() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, marqueur);
    QFETCH(bool, debug);
    QTemporaryDir dir;
    if (marqueur) {
        QFile f(dir.filePath(QStringLiteral(".debug")));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const TLigneCommande ligne(arguments);
    QCOMPARE(TRepertoires::Calculer(dir.path(), ligne, {}).ModeDebug(ligne), debug);
}

void TstDemarrage::version() {
    QCOMPARE(ChaineVersion(1, 1, 0, 0), QStringLiteral("1.01.00.00"));
    QCOMPARE(ChaineVersion(2, 10, 3, 123), QStringLiteral("2.10.03.123"));
    QCOMPARE(VersionProgramme(), ChaineVersion(KELVARIN_VERSION_MAJOR, KELVARIN_VERSION_MINOR,
                                               KELVARIN_VERSION_PATCH, KELVARIN_VERSION_TWEAK));
}

namespace {
TRepertoires repsDans(const QTemporaryDir& dir) {
    return TRepertoires::Calculer(dir.path(), {}, {});
}
} // namespace

void TstDemarrage::ordreDuDemarrage() {
    QTemporaryDir dir;
    {
        QFile f(dir.filePath(QStringLiteral("kelvarin.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Init]\r\nPortEcoute=1110\r\nModeBayes=7\r\nVersionInterne=1\r\n"
                "DNSAuto=0\r\nAdresseDNS=10.9.8.7\r\n");
    }
    QStringList ordre;
    TControleur c(repsDans(dir));
    auto& b = c.Branchements;
    const auto note = [&ordre](const char* n) {
        return [&ordre, n] { ordre.append(QLatin1String(n)); };
    };
    b.ActiverChercheSPAMs = note("ChercheSPAMs");
    b.ActiverComptes = note("Comptes");
    b.CreerBaseBayes = note("Bayes");
    QByteArray dnsDonne;
    b.ConfigVersComposants = [&](const TConfig& cfg) {
        ordre.append(QStringLiteral("Config:") + QString::fromLatin1(cfg.PortEcoute));
    };
    b.ConfigRecherche = [&](const TConfig&, const QByteArray& dns) {
        ordre.append(QStringLiteral("Recherche"));
        dnsDonne = dns;
    };
    QString tmpDonne;
    b.PreparerDecodeurs = [&](const QString&, const QString& tmp) {
        ordre.append(QStringLiteral("Decodeurs"));
        tmpDonne = tmp;
    };
    b.AjouterIcone = note("Icone");
    int mode = -1;
    b.ReglerModeBayes = [&](int m) {
        ordre.append(QStringLiteral("Mode"));
        mode = m;
    };
    b.ConvertirMemoMail = note("Conversion");
    QByteArray portOuvert;
    b.OuvrirEcoute = [&](const QByteArray& port, QString&) {
        ordre.append(QStringLiteral("Ecoute"));
        portOuvert = port;
        return true;
    };
    b.ChercheNouvelleVersion = note("Version");

    QVERIFY(c.Demarrer());
    // The deferred steps wait for the event loop.
    QCOMPARE(ordre, (QStringList{QStringLiteral("ChercheSPAMs"), QStringLiteral("Comptes"),
                                 QStringLiteral("Bayes"), QStringLiteral("Config:1110"),
                                 QStringLiteral("Recherche"), QStringLiteral("Decodeurs")}));
    QVERIFY(!c.DemarrageDiffereFait());
    QTRY_VERIFY(c.DemarrageDiffereFait());
    QCOMPARE(ordre.mid(6), (QStringList{QStringLiteral("Icone"), QStringLiteral("Mode"),
                                        QStringLiteral("Conversion"), QStringLiteral("Ecoute"),
                                        QStringLiteral("Version")}));
    QCOMPARE(mode, 7);
    QCOMPARE(portOuvert, QByteArray("1110"));
    QCOMPARE(dnsDonne, QByteArray("10.9.8.7"));
    QCOMPARE(c.VersionInterneLue(), 1);
    QVERIFY(QDir(tmpDonne).exists());
    QCOMPARE(TTrace::instance().lignes().front().texte.left(20),
             QStringLiteral("Démarrage. Version=1"));
    c.Arreter();
}

void TstDemarrage::portImpossible() {
    QTemporaryDir dir;
    TControleur c(repsDans(dir));
    QStringList avertissements;
    c.OnAvertissement = [&](const QString& t) { avertissements.append(t); };
    bool versionCherchee = false;
    c.Branchements.OuvrirEcoute = [](const QByteArray&, QString& erreur) {
        erreur = QStringLiteral("Address in use");
        return false;
    };
    c.Branchements.ChercheNouvelleVersion = [&] { versionCherchee = true; };
    QVERIFY(c.Demarrer());
    QTRY_VERIFY(c.DemarrageDiffereFait());
    QCOMPARE(avertissements, QStringList{QStringLiteral(
                                 "Impossible d'ouvrir le port pop3\r\nKelvarin non actif.")});
    QVERIFY(versionCherchee); // the program goes on without a listener
    QVERIFY(!c.Journal().contains(QStringLiteral("ConvertirMemoMail")));
}

void TstDemarrage::etapeEnEchec() {
    QTemporaryDir dir;
    TControleur c(repsDans(dir));
    bool suivante = false;
    c.Branchements.ActiverChercheSPAMs = [] { throw std::runtime_error("dns.qdl illisible"); };
    c.Branchements.ActiverComptes = [&] { suivante = true; };
    QVERIFY(c.Demarrer());
    QVERIFY(suivante);
    bool trouve = false;
    for (const TLigneTrace& l : TTrace::instance().lignes()) {
        trouve = trouve ||
                 l.texte == QStringLiteral("Exception : ActiverChercheSPAMs : dns.qdl illisible");
    }
    QVERIFY(trouve);
}

void TstDemarrage::timers() {
    QTemporaryDir dir;
    TControleur c(repsDans(dir));
    QCOMPARE(c.TimerQuit().interval(), 4000);
    QCOMPARE(c.TimerSauve().interval(), 5000);
    QVERIFY(c.TimerQuit().isSingleShot());
    QVERIFY(c.TimerSauve().isSingleShot());
    c.TimerQuit().setInterval(10);
    c.TimerSauve().setInterval(10);

    QStringList ordre;
    c.Branchements.TimerQuitEcoule = [&] { ordre.append(QStringLiteral("Quit")); };
    c.Branchements.SauverComptes = [&] { ordre.append(QStringLiteral("Comptes")); };
    c.Branchements.SauverBase = [&] { ordre.append(QStringLiteral("Base")); };
    c.Branchements.ReessaiNouvelleVersion = [&] { ordre.append(QStringLiteral("Version")); };
    c.Branchements.LibererBaseSiCachee = [&](bool cachee) {
        ordre.append(cachee ? QStringLiteral("Liberer:cachee") : QStringLiteral("Liberer:visible"));
    };

    c.DemarrerTimerQuit();
    QTRY_COMPARE(ordre, QStringList{QStringLiteral("Quit")});
    ordre.clear();

    // A client command stops the save that a closed session started.
    c.SessionTerminee();
    c.CommandeClient();
    QTest::qWait(50);
    QVERIFY(ordre.isEmpty());

    c.SessionTerminee();
    QTRY_COMPARE(ordre.size(), 4);
    QCOMPARE(ordre, (QStringList{QStringLiteral("Comptes"), QStringLiteral("Base"),
                                 QStringLiteral("Version"), QStringLiteral("Liberer:cachee")}));
    QCOMPARE(TTrace::instance().lignes().back().texte.isEmpty(), false);
    bool traceTimer = false;
    for (const TLigneTrace& l : TTrace::instance().lignes()) {
        traceTimer = traceTimer || l.texte == QStringLiteral("Timer : sauvegarde");
    }
    QVERIFY(traceTimer);
}

void TstDemarrage::appliquerEtAnnuler() {
    QTemporaryDir dir;
    TControleur c(repsDans(dir));
    QStringList ordre;
    bool occupe = false;
    auto& b = c.Branchements;
    b.CalculEnCours = [&] { return occupe; };
    b.FermerEcoute = [&] { ordre.append(QStringLiteral("Fermer")); };
    b.OuvrirEcoute = [&](const QByteArray& port, QString&) {
        ordre.append(QStringLiteral("Ouvrir:") + QString::fromLatin1(port));
        return true;
    };
    b.ConfigRecherche = [&](const TConfig& cfg, const QByteArray&) {
        ordre.append(QStringLiteral("Recherche:") + QString::number(cfg.NbSocket));
    };
    b.RechargerListesIgnorees = [&] { ordre.append(QStringLiteral("Ignorees")); };
    QVERIFY(c.Demarrer());
    QTRY_VERIFY(c.DemarrageDiffereFait());
    ordre.clear();

    TSaisieOptions s = SaisieDepuisConfig(Config());
    s.NbSocket = QStringLiteral("5");
    s.PortMail = QStringLiteral("995");
    QVERIFY(c.Appliquer(s));
    // Only PortMail changed besides NbSocket: the listener stays as it is.
    QCOMPARE(ordre, QStringList{QStringLiteral("Recherche:20")});
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(dir.filePath(QStringLiteral("kelvarin.ini"))));
    QCOMPARE(ini.LireEntier("Init", "NbSocket", 0), 20);
    QCOMPARE(ini.LireChaine("Init", "PortMail", ""), QByteArray("995"));

    ordre.clear();
    s.PortEcoute = QStringLiteral(" 1110 ");
    QVERIFY(c.Appliquer(s));
    QCOMPARE(ordre, (QStringList{QStringLiteral("Fermer"), QStringLiteral("Ouvrir:1110"),
                                 QStringLiteral("Recherche:20")}));

    // A hand edit, then Cancel: the file is read again.
    QVERIFY(ini.EcrireEntier("Init", "NbSocket", 77));
    ordre.clear();
    QVERIFY(c.Annuler());
    QCOMPARE(Config().NbSocket, 77);
    QCOMPARE(ordre, (QStringList{QStringLiteral("Ignorees"), QStringLiteral("Recherche:77")}));

    // Both are ignored while a full rebuild runs.
    occupe = true;
    ordre.clear();
    s.NbSocket = QStringLiteral("90");
    QVERIFY(!c.Appliquer(s));
    QVERIFY(!c.Annuler());
    QVERIFY(ordre.isEmpty());
    QCOMPARE(Config().NbSocket, 77);
    c.Arreter();
}

void TstDemarrage::arretSauveLesReglages() {
    QTemporaryDir dir;
    QStringList ordre;
    QString iniAuMomentDeLaBase;
    {
        TControleur c(repsDans(dir));
        auto& b = c.Branchements;
        b.RetirerIcone = [&] { ordre.append(QStringLiteral("Icone")); };
        b.DesactiverComptes = [&] { ordre.append(QStringLiteral("Comptes")); };
        b.DesactiverChercheSPAMs = [&] { ordre.append(QStringLiteral("ChercheSPAMs")); };
        b.NumeroCompteMini = [] { return 12; };
        b.NumeroDNSMini = [] { return 34; };
        b.LibererBase = [&] {
            ordre.append(QStringLiteral("Base"));
            // The settings are on disk before the knowledge base is saved.
            QFile f(c.Reps().Ini());
            if (f.open(QIODevice::ReadOnly)) iniAuMomentDeLaBase = QString::fromLatin1(f.readAll());
        };
        b.LibererSessions = [&] { ordre.append(QStringLiteral("Sessions")); };
        b.LibererReemissions = [&] { ordre.append(QStringLiteral("Reemissions")); };
        QVERIFY(c.Demarrer());
        c.Arreter();
        QVERIFY(c.Destruction());
        c.Arreter(); // once only
    }
    QCOMPARE(ordre, (QStringList{QStringLiteral("Icone"), QStringLiteral("Comptes"),
                                 QStringLiteral("ChercheSPAMs"), QStringLiteral("Base"),
                                 QStringLiteral("Sessions"), QStringLiteral("Reemissions")}));
    QVERIFY(iniAuMomentDeLaBase.contains(QStringLiteral("NumeroCompteMini=12\r\n")));
    TStockageConfig ini;
    QVERIFY(ini.Ouvrir(dir.filePath(QStringLiteral("kelvarin.ini"))));
    QCOMPARE(ini.LireEntier("Init", "NumeroCompteMini", 0), 12);
    QCOMPARE(ini.LireEntier("Init", "NumeroDNSMini", 0), 34);
    QCOMPARE(ini.LireEntier("Init", "VersionInterne", 0), 2);
}

void TstDemarrage::reglagesIllisibles() {
    QTemporaryDir dir;
    // A directory where the settings file should be: the store stays absent,
    // the program runs on its defaults and writes nothing.
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("kelvarin.ini"))));
    TControleur c(repsDans(dir));
    QVERIFY(!c.Demarrer());
    c.Arreter();
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("kelvarin.ini"))).isDir());
}

QTEST_GUILESS_MAIN(TstDemarrage)
#include "tst_demarrage.moc"
