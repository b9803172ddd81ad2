// The kelvarin executable itself: one copy per home, a second copy signals the
// first and exits, /multi runs a second copy, SIGTERM and SIGINT shut down
// cleanly with the settings written, and a killed copy does not block the next.

#include "tests/support/kelvarin_process.h"

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QString executable() {
    const QString e = qEnvironmentVariable("KELVARIN_EXE");
    return e.isEmpty() ? QStringLiteral(KELVARIN_BINARY_DIR "/kelvarin") : e;
}

quint16 portLibre() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// A home with its settings file, as a user would set it up by hand.
void preparerHome(const QTemporaryDir& dir) {
    QFile f(dir.filePath(QStringLiteral("kelvarin.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("; a la main\r\n[Init]\r\nPortEcoute=" + QByteArray::number(portLibre()) +
            "\r\nAdresseVersion=" + testsupport::kAdresseVersionTest + "\r\n");
}

class TCopie {
public:
    explicit TCopie(const QString& home, const QStringList& plus = {},
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        p.setProcessEnvironment(env);
        p.start(executable(), QStringList{QStringLiteral("--headless"), QStringLiteral("--trace"),
                                          QStringLiteral("--home"), home} +
                                  plus);
    }
    ~TCopie() {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    // Waits (bounded) until standard error holds the text.
    bool attendre(const QString& texte, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!sortie.contains(texte)) {
            if (t.elapsed() > ms) return false;
            if (p.state() == QProcess::NotRunning && !p.bytesAvailable()) {
                sortie += QString::fromUtf8(p.readAllStandardError());
                return sortie.contains(texte);
            }
            p.waitForReadyRead(100);
            sortie += QString::fromUtf8(p.readAllStandardError());
        }
        return true;
    }
    // Occurrences of the text so far on standard error.
    int compter(const QString& texte) {
        sortie += QString::fromUtf8(p.readAllStandardError());
        return int(sortie.count(texte));
    }
    bool finir(int signal = SIGTERM) {
        ::kill(static_cast<pid_t>(p.processId()), signal);
        const bool fini = p.waitForFinished(10000);
        sortie += QString::fromUtf8(p.readAllStandardError());
        return fini;
    }
    QProcess p;
    QString sortie;
};

const QString kDemarre = QStringLiteral("Démarrage. Version=");
const QString kSignal = QStringLiteral("Signal d'une autre instance");

} // namespace

class TstInstance : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(QFile::exists(executable()), qPrintable(executable())); }
    void secondeCopie();
    void homesDistinctes();
    void copieTueeNeBloquePas();
    void sansAffichage();
};

void TstInstance::secondeCopie() {
    QTemporaryDir home;
    preparerHome(home);
    TCopie premiere(home.path());
    QVERIFY2(premiere.attendre(kDemarre), qPrintable(premiere.sortie));
    const QString verrou = home.filePath(QStringLiteral(".kelvarin.lock"));
    QVERIFY(QFile::exists(verrou));

    // A second start with the same home signals the first and exits 0 at once.
    QProcess seconde;
    seconde.start(executable(),
                  {QStringLiteral("--headless"), QStringLiteral("--home"), home.path()});
    QVERIFY(seconde.waitForFinished(10000));
    QCOMPARE(seconde.exitStatus(), QProcess::NormalExit);
    QCOMPARE(seconde.exitCode(), 0);
    QVERIFY2(premiere.attendre(kSignal), qPrintable(premiere.sortie));

    // The same through the environment variable instead of --home, switch in another form.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KELVARIN_HOME"), home.path());
    QProcess troisieme;
    troisieme.setProcessEnvironment(env);
    troisieme.start(executable(), {QStringLiteral("-HEADLESS")});
    QVERIFY(troisieme.waitForFinished(10000));
    QCOMPARE(troisieme.exitCode(), 0);
    QTRY_COMPARE(premiere.compter(kSignal), 2);

    // /multi skips the check: a full second copy runs until it is stopped.
    TCopie multi(home.path(), {QStringLiteral("/multi")});
    QVERIFY2(multi.attendre(kDemarre), qPrintable(multi.sortie));
    QTest::qWait(200);
    QCOMPARE(multi.p.state(), QProcess::Running);
    QVERIFY(multi.finir(SIGINT));
    QCOMPARE(multi.p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(multi.p.exitCode(), 0);
    QCOMPARE(premiere.compter(kSignal), 2); // /multi signalled nobody

    // SIGTERM: clean shutdown, settings written, hand-written keys kept.
    QVERIFY(premiere.finir(SIGTERM));
    QCOMPARE(premiere.p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(premiere.p.exitCode(), 0);
    QVERIFY(!QFile::exists(verrou));
    QFile ini(home.filePath(QStringLiteral("kelvarin.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray f = ini.readAll();
    QVERIFY(f.startsWith("; a la main\r\n[Init]\r\nPortEcoute="));
    QVERIFY(f.contains("\r\nDebutSujet=\"[[**SPAM**]] \"\r\n"));
    QVERIFY(f.contains("\r\nMode2=0\r\nVersionInterne=2\r\n"));
    QVERIFY(f.contains("[Affichage]"));
    QVERIFY(QDir(home.filePath(QStringLiteral("tmp"))).exists());
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral("debug.txt"))));
}

void TstInstance::homesDistinctes() {
    QTemporaryDir a;
    QTemporaryDir b;
    preparerHome(a);
    preparerHome(b);
    TCopie premiere(a.path());
    TCopie autre(b.path(), {QStringLiteral("/debug")});
    QVERIFY2(premiere.attendre(kDemarre), qPrintable(premiere.sortie));
    QVERIFY2(autre.attendre(kDemarre), qPrintable(autre.sortie));
    QVERIFY(autre.finir());
    QCOMPARE(autre.p.exitCode(), 0);
    QVERIFY(!premiere.sortie.contains(kSignal));
    // Debug mode writes its log in the home, with both banners.
    QFile debug(b.filePath(QStringLiteral("debug.txt")));
    QVERIFY(debug.open(QIODevice::ReadOnly));
    const QByteArray d = debug.readAll();
    QVERIFY(d.startsWith(QByteArray(54, '*') + "\r\nD\xe9marrage : "));
    QVERIFY(d.contains(" : D\xe9marrage. Version="));
    QVERIFY(d.contains("\r\nArr\xeat : "));
    QVERIFY(premiere.finir());
}

void TstInstance::copieTueeNeBloquePas() {
    QTemporaryDir home;
    preparerHome(home);
    {
        TCopie tuee(home.path());
        QVERIFY2(tuee.attendre(kDemarre), qPrintable(tuee.sortie));
        QVERIFY(tuee.finir(SIGKILL));
    }
    // The lock names a dead process: the next start runs instead of exiting.
    TCopie suivante(home.path());
    QVERIFY2(suivante.attendre(kDemarre), qPrintable(suivante.sortie));
    QTest::qWait(200);
    QCOMPARE(suivante.p.state(), QProcess::Running);
    QVERIFY(suivante.finir());
    QCOMPARE(suivante.p.exitCode(), 0);
}

void TstInstance::sansAffichage() {
    QTemporaryDir home;
    preparerHome(home);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(executable(), {QStringLiteral("--trace"), QStringLiteral("--home"), home.path()});
    QString sortie;
    QTRY_VERIFY_WITH_TIMEOUT(
        (sortie += QString::fromUtf8(p.readAllStandardError()), sortie.contains(kDemarre)), 10000);
    QVERIFY(sortie.contains(QStringLiteral("no display can be opened; running headless")));
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TstInstance)
#include "tst_instance.moc"
