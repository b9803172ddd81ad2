// The test peer itself: a private dovecot serves the corpus and the edge-case
// fixtures byte for byte to a real POP3 client, and a killed dovecot is gone.
#include "tests/support/dovecot_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {

// What a client gets for a stored file: CR LF line ends, a last line ended.
QByteArray versFil(QByteArray texte) {
    texte.replace("\n", "\r\n");
    if (!texte.endsWith("\r\n")) texte += "\r\n";
    return texte;
}

QByteArray lancerClient(quint16 port, const QString& sortie, int* code) {
    QProcess p;
    p.start(QStringLiteral("python3"),
            {QStringLiteral(KELVARIN_SOURCE_DIR "/tests/e2e/pop3_fetch.py"),
             QStringLiteral("127.0.0.1"), QString::number(port), QStringLiteral("alice"),
             QStringLiteral("secret"), sortie});
    p.waitForFinished(120000);
    *code = p.exitCode();
    return p.readAllStandardOutput() + p.readAllStandardError();
}

} // namespace

class TestPeers : public QObject {
    Q_OBJECT
private slots:
    void dovecotServesMessagesByteForByte();
    void killedDovecotStopsAnswering();
};

void TestPeers::dovecotServesMessagesByteForByte() {
    const QList<QByteArray> corpus = messagesCorpus(30);
    QVERIFY2(corpus.size() == 30, "corpus missing: scripts/fetch-corpus.sh failed");
    const auto fixtures = messagesFixturesE2e();
    QVERIFY(fixtures.size() >= 6);

    TDovecotPeer dovecot;
    dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
    QList<QByteArray> attendus;
    for (const QByteArray& m : corpus) {
        dovecot.ajouterMessage(QStringLiteral("alice"), m);
        attendus.append(versFil(m));
    }
    for (const auto& [nom, m] : fixtures) {
        dovecot.ajouterMessage(QStringLiteral("alice"), m);
        attendus.append(versFil(m));
    }
    QString erreur;
    QVERIFY2(dovecot.demarrer(&erreur), qPrintable(erreur));

    QTemporaryDir sortie;
    int code = -1;
    const QByteArray journal = lancerClient(dovecot.port(), sortie.path(), &code);
    QVERIFY2(code == 0, journal.constData());
    QVERIFY2(journal.contains("STAT " + QByteArray::number(attendus.size()) + ' '),
             journal.constData());
    for (int i = 0; i < attendus.size(); ++i) {
        QFile f(sortie.filePath(QStringLiteral("%1.eml").arg(i + 1)));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray recu = f.readAll();
        QVERIFY2(recu == attendus.at(i), qPrintable(QStringLiteral("message %1").arg(i + 1)));
    }
}

void TestPeers::killedDovecotStopsAnswering() {
    TDovecotPeer dovecot;
    dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
    QString erreur;
    QVERIFY2(dovecot.demarrer(&erreur), qPrintable(erreur));
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, dovecot.port());
    QVERIFY(s.waitForConnected(3000));
    QVERIFY(s.waitForReadyRead(3000));
    QVERIFY(s.readLine().startsWith("+OK"));

    dovecot.tuer();
    QVERIFY(!dovecot.actif());
    // The open session dies with its group, and nothing listens any more.
    QTRY_VERIFY_WITH_TIMEOUT(
        s.state() == QAbstractSocket::UnconnectedState ||
            (s.waitForDisconnected(100), s.state() == QAbstractSocket::UnconnectedState),
        5000);
    QTcpSocket t;
    t.connectToHost(QHostAddress::LocalHost, dovecot.port());
    QVERIFY(!t.waitForConnected(2000));
}

QTEST_GUILESS_MAIN(TestPeers)
#include "tst_peers.moc"
