// The program as a Linux user meets it: --version and --help answer without
// touching any file, a packaged layout (data under share/) keeps the user's
// files in the user's data folder, and an ordinary user who asks for port 110
// still gets a listener.

#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"

#include <QDirIterator>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

using testsupport::portLibre;

QString executable() {
    return testsupport::TKelvarinProcess::Executable();
}

bool portOuvrable(quint16 port) {
    QTcpServer s;
    return s.listen(QHostAddress::LocalHost, port);
}

QStringList fichiersSous(const QString& dossier) {
    QStringList r;
    QDirIterator it(dossier, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        r.append(it.next().mid(dossier.size()));
    r.sort();
    return r;
}

bool copierArbre(const QString& de, const QString& vers) {
    QDirIterator it(de, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        const QString cible = vers + f.mid(de.size());
        if (!QDir().mkpath(QFileInfo(cible).absolutePath()) || !QFile::copy(f, cible)) return false;
    }
    return true;
}

void ecrireIni(const QString& chemin, const QByteArray& port) {
    QVERIFY(QDir().mkpath(QFileInfo(chemin).absolutePath()));
    QFile f(chemin);
    QVERIFY(f.open(QIODevice::WriteOnly));
    // The version check asks a closed port on loopback, never the real site.
    f.write("[Init]\r\nPortEcoute=" + port +
            "\r\nAdresseVersion=" + QByteArray(testsupport::kAdresseVersionTest) + "\r\n");
}

// Runs a program headless until its standard error holds the text, then stops it.
struct TLancement {
    QProcess p;
    QString sortie;
    bool attendre(const QString& texte, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!sortie.contains(texte) && t.elapsed() < ms) {
            if (p.state() == QProcess::NotRunning) break;
            p.waitForReadyRead(100);
            sortie += QString::fromUtf8(p.readAllStandardError());
        }
        sortie += QString::fromUtf8(p.readAllStandardError());
        return sortie.contains(texte);
    }
    ~TLancement() {
        if (p.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
            if (!p.waitForFinished(10000)) p.kill();
            p.waitForFinished(5000);
        }
    }
};

// The listener opens after the start line is traced (later still under the
// sanitizers): try again until it answers.
bool accueilPOP3(quint16 port) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 20000) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (!s.waitForConnected(1000)) {
            QThread::msleep(100);
            continue;
        }
        while (!s.canReadLine())
            if (!s.waitForReadyRead(10000)) return false;
        return s.readLine().startsWith("+OK");
    }
    return false;
}

} // namespace

class TstInstallation : public QObject {
    Q_OBJECT
private slots:
    void versionEtAide_data() {
        QTest::addColumn<QString>("interrupteur");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("--version") << QStringLiteral("--version") << QStringLiteral("kelvarin 1.");
        QTest::newRow("/VERSION") << QStringLiteral("/VERSION") << QStringLiteral("kelvarin 1.");
        QTest::newRow("--help") << QStringLiteral("--help") << QStringLiteral("--headless");
        QTest::newRow("-h") << QStringLiteral("-h") << QStringLiteral("Usage: kelvarin");
    }
    void versionEtAide() {
        QFETCH(QString, interrupteur);
        QFETCH(QString, attendu);
        QTemporaryDir home;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELVARIN_HOME"), home.path());
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":none")); // must not be opened
        p.setProcessEnvironment(env);
        p.start(executable(), {interrupteur});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QString sortie = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(sortie.contains(attendu), qPrintable(sortie));
        if (interrupteur.contains(u"help")) {
            for (const char* s : {"--home", "--trace", "--multi", "--visible", "--version"})
                QVERIFY2(sortie.contains(QLatin1String(s)), s);
        }
        // Nothing opened, nothing written: no lock, no settings, no log.
        QCOMPARE(fichiersSous(home.path()), QStringList());
    }

    // The package's layout: the executable in usr/bin, its data in
    // usr/share/kelvarin. The user's files go to the user's data folder, even
    // for root who could write in usr/bin.
    void dispositionDuPaquet() {
        QTemporaryDir racine;
        const QString bin = racine.filePath(QStringLiteral("usr/bin/"));
        const QString partage = racine.filePath(QStringLiteral("usr/share/kelvarin/"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QFile::copy(executable(), bin + QStringLiteral("kelvarin")));
        QVERIFY(QFile::setPermissions(bin + QStringLiteral("kelvarin"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(copierArbre(QStringLiteral(KELVARIN_BINARY_DIR "/Encodage"),
                            partage + QStringLiteral("Encodage")));
        const QString donnees = racine.filePath(QStringLiteral("donnees"));
        const quint16 port = portLibre();
        ecrireIni(donnees + QStringLiteral("/kelvarin/kelvarin.ini"), QByteArray::number(port));

        TLancement l;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("KELVARIN_HOME"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), donnees);
        l.p.setProcessEnvironment(env);
        l.p.start(bin + QStringLiteral("kelvarin"),
                  {QStringLiteral("--headless"), QStringLiteral("--trace")});
        QVERIFY2(l.attendre(QStringLiteral("Démarrage. Version=")), qPrintable(l.sortie));
        QVERIFY(accueilPOP3(port));
        QVERIFY(QFileInfo(donnees + QStringLiteral("/kelvarin/Donnees")).isDir());
        QCOMPARE(fichiersSous(bin), QStringList{QStringLiteral("kelvarin")});
    }

    // An ordinary user may not open port 110: the program listens on 1110
    // and says so, instead of filtering nothing.
    void portReserveRefuse() {
        if (!portOuvrable(1110)) QSKIP("port 1110 is taken on this machine");
        QTemporaryDir home;
        QVERIFY(QFile::setPermissions(home.path(), QFileDevice::Permissions(0x7777)));
        ecrireIni(home.filePath(QStringLiteral("kelvarin.ini")), "pop3");
        TLancement l;
        QStringList arguments = {QStringLiteral("--headless"), QStringLiteral("--trace"),
                                 QStringLiteral("--home"), home.path()};
        QString programme = executable();
        if (::geteuid() == 0) {
            // Root may open any port: run as nobody, from a copy nobody may
            // reach (the build folder may sit under a private home).
            if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
                QSKIP("setpriv is needed to run as an ordinary user");
            const QString copie = home.filePath(QStringLiteral("kelvarin"));
            QVERIFY(QFile::copy(programme, copie));
            QVERIFY(QFile::setPermissions(copie, QFileDevice::Permissions(0x7755)));
            programme = copie;
            arguments =
                QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                            QStringLiteral("--clear-groups"), programme} +
                arguments;
            programme = QStringLiteral("setpriv");
        }
        l.p.start(programme, arguments);
        const bool ecoute = l.attendre(QStringLiteral("Kelvarin écoute sur le port 1110"));
        // A container may forbid changing user: that is the machine, not the program.
        if (!ecoute && l.sortie.startsWith(QStringLiteral("setpriv:")))
            QSKIP(qPrintable(QStringLiteral("cannot run as nobody here: ") + l.sortie.trimmed()));
        QVERIFY2(ecoute, qPrintable(l.sortie));
        QVERIFY(accueilPOP3(1110));
    }
};

QTEST_GUILESS_MAIN(TstInstallation)
#include "tst_installation.moc"
