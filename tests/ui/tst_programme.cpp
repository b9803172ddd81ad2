// The program itself with its window (drawn offscreen): it starts with the
// window, a second copy signals it and exits, and SIGTERM ends it cleanly with
// the settings written, although closing the window would only hide it.

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

// A display name is enough for the program to choose its window; Qt draws it
// offscreen.
QProcessEnvironment environnement() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":kelvarin-test"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

struct TCopie {
    QProcess p;
    QString sortie;
    TCopie(const QString& home, const QStringList& plus) {
        p.setProcessEnvironment(environnement());
        p.start(executable(), QStringList{QStringLiteral("--trace"), QStringLiteral("--home"), home,
                                          QStringLiteral("/paspatienter")} +
                                  plus);
    }
    ~TCopie() {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    bool attendre(const QString& texte, int ms = 15000) {
        return QTest::qWaitFor(
            [&] {
                p.waitForReadyRead(50);
                sortie += QString::fromUtf8(p.readAllStandardError());
                return sortie.contains(texte);
            },
            ms);
    }
};
} // namespace

class TstProgramme : public QObject {
    Q_OBJECT
private slots:
    void fenetreSignalEtArret() {
        QTemporaryDir home;
        QTcpServer libre;
        QVERIFY(libre.listen(QHostAddress::LocalHost, 0));
        const QByteArray port = QByteArray::number(libre.serverPort());
        libre.close();
        {
            QFile ini(home.filePath(QStringLiteral("kelvarin.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[Init]\r\nPortEcoute=" + port +
                      "\r\nAdresseVersion=" + testsupport::kAdresseVersionTest + "\r\n");
        }
        TCopie premiere(home.path(), {QStringLiteral("/visible")});
        QVERIFY2(premiere.attendre(QStringLiteral("Démarrage. Version=")),
                 qPrintable(premiere.sortie));
        QVERIFY(!premiere.sortie.contains(QStringLiteral("headless")));

        TCopie seconde(home.path(), {});
        QVERIFY(seconde.p.waitForFinished(15000));
        QCOMPARE(seconde.p.exitCode(), 0);
        QVERIFY(premiere.attendre(QStringLiteral("Signal d'une autre instance")));

        ::kill(pid_t(premiere.p.processId()), SIGTERM);
        QVERIFY2(premiere.p.waitForFinished(15000), qPrintable(premiere.sortie));
        QCOMPARE(premiere.p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(premiere.p.exitCode(), 0);
        QFile ini(home.filePath(QStringLiteral("kelvarin.ini")));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray contenu = ini.readAll();
        QVERIFY2(contenu.contains("Mode2=0\r\n"), contenu.constData());
        QVERIFY(contenu.contains("FormKelvarinX="));
    }
};

QTEST_GUILESS_MAIN(TstProgramme)
#include "tst_programme.moc"
