// The program end to end over TLS: a dovecot that takes logins only over TLS,
// `kelvarin` headless with TLS required and the test's authority trusted, and a
// real POP3 client (poplib) fetching the whole mailbox through the proxy and
// directly over TLS. Both see the same mailbox, byte for byte, apart from the
// rewriting.
#include "tests/support/autorite_test.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/releve_pop3.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

const QString kAlice = QStringLiteral("alice");

} // namespace

class TestTlsE2e : public QObject {
    Q_OBJECT

    TAutoriteTest m_ca;
    TDovecotPeer m_dovecot;
    std::unique_ptr<TKelvarinProcess> m_kelvarin;
    int m_nbMessages = 0;

    QStringList direct() const {
        return {QStringLiteral("--host=") + m_dovecot.adresse(),
                QStringLiteral("--ssl=") + m_ca.ca()};
    }

private slots:
    void initTestCase() {
        QVERIFY2(m_ca.valide(), qPrintable(m_ca.erreur()));
        const auto cert = m_ca.signe(QStringLiteral("localhost"), {QStringLiteral("DNS:localhost"),
                                                                   QStringLiteral("IP:127.0.0.2")});
        QVERIFY2(cert.ok, qPrintable(m_ca.erreur()));
        m_dovecot.activerTls(cert.certificat, cert.cle, true);
        m_dovecot.ajouterUtilisateur(kAlice, QStringLiteral("secret"));
        const int n = qEnvironmentVariableIsSet("KELVARIN_E2E_N")
                          ? qEnvironmentVariableIntValue("KELVARIN_E2E_N")
                          : 60;
        const QList<QByteArray> corpus = messagesCorpus(n);
        QVERIFY2(corpus.size() == n, "corpus missing: scripts/fetch-corpus.sh failed");
        for (const QByteArray& m : corpus)
            m_dovecot.ajouterMessage(kAlice, m);
        for (const auto& [nom, texte] : messagesFixturesE2e())
            m_dovecot.ajouterMessage(kAlice, texte);
        m_nbMessages = m_dovecot.nbMessages(kAlice);
        QString erreur;
        QVERIFY2(m_dovecot.demarrer(&erreur), qPrintable(erreur));

        m_kelvarin = std::make_unique<TKelvarinProcess>();
        // alice's account exists beforehand with the IP and Bayesian filters
        // off (flags 1 + 2), so every message is delivered at level 0.
        QDir().mkpath(m_kelvarin->Home() + QStringLiteral("Donnees"));
        QFile comptes(m_kelvarin->CheminDonnees(QStringLiteral("comptesspam.qdl")));
        QVERIFY(comptes.open(QIODevice::WriteOnly));
        comptes.write("; Une ligne commen\xe7"
                      "ant par ; est en commentaire\r\n"
                      "; Premi\xe8re ligne : indique la version (NE PAS MODIFIER)\r\n"
                      "VERSION=1\r\n"
                      "1\t" +
                      m_dovecot.adresse().toLatin1() + "\talice\t0\t0\t0\t\t3\t\t\r\n");
        comptes.close();
        m_kelvarin->EcrireIni({{"PortMail", QByteArray::number(m_dovecot.port())},
                               {"SecuriteAmont", "1"},
                               {"CertificatsAmont", QFile::encodeName(m_ca.ca())},
                               {"NumeroCompteMini", "1"},
                               {"SpamSiPasSujetFrom", "0"},
                               {"AjoutInfoBayesien", "0"},
                               {"DNSAuto", "0"},
                               {"AdresseDNS", "127.0.0.1"}});
        QVERIFY2(m_kelvarin->Demarrer(&erreur), qPrintable(erreur));
    }

    void cleanupTestCase() {
        if (m_kelvarin && m_kelvarin->Actif()) m_kelvarin->Arreter();
        m_dovecot.arreter();
    }

    void cleanup() {
        if (QTest::currentTestFailed() && m_kelvarin)
            qWarning("kelvarin output (end):\n%s", m_kelvarin->Sortie().right(6000).constData());
    }

    // The server really refuses a login in plain text.
    void serveurRefuseTexteClair() {
        const TReleve r = releve(m_dovecot.port(), kAlice, QStringLiteral("secret"),
                                 {QStringLiteral("--host=") + m_dovecot.adresse()});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.texte().contains("ERROR -ERR [AUTH] Plaintext authentication disallowed"),
                 r.texte().constData());
        QVERIFY2(!m_dovecot.journal().contains(QLatin1String("Login: user=<alice>")),
                 qPrintable(m_dovecot.journal()));
    }

    void memeVueQueDirectTls() {
        const TReleve d = releve(m_dovecot.portPop3s(), kAlice, QStringLiteral("secret"), direct());
        QVERIFY2(d.code == 0, d.texte().constData());
        QCOMPARE(d.messages.size(), m_nbMessages);

        const TReleve p =
            releve(m_kelvarin->PortEcoute(), kAlice + QLatin1Char('@') + m_dovecot.adresse());
        QVERIFY2(p.code == 0, p.texte().constData());
        QCOMPARE(p.avec("PASS"), d.avec("PASS"));
        QCOMPARE(p.avec("STAT"), d.avec("STAT"));
        QCOMPARE(p.avec("LIST"), d.avec("LIST"));
        QCOMPARE(p.avec("UIDL"), d.avec("UIDL"));
        QCOMPARE(p.messages.size(), d.messages.size());
        for (int i = 0; i < d.messages.size(); ++i) {
            // The rewriting adds the verdict's lines, and one empty line before the final ".".
            QVERIFY2(p.messages.at(i) == jugeSansFiltres(d.messages.at(i)) + "\r\n",
                     qPrintable(QStringLiteral("message %1 differs").arg(i + 1)));
        }
        // Both logins went over TLS, as dovecot saw them.
        QTRY_COMPARE(m_dovecot.journal().count(QLatin1String("Login: user=<alice>")), 2);
        for (const QString& l : m_dovecot.journal().split(QLatin1Char('\n')))
            if (l.contains(QLatin1String("Login: user=<alice>")))
                QVERIFY2(l.contains(QLatin1String(", TLS")), qPrintable(l));
        QVERIFY2(m_kelvarin->Sortie().contains(": TLSv1."), m_kelvarin->Sortie().constData());
    }
};

int main(int argc, char** argv) {
    IsolerReseau(argc, argv);
    QCoreApplication app(argc, argv);
    TestTlsE2e t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_tls_e2e.moc"
