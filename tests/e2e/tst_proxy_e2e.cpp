// The program end to end: a real dovecot upstream, `kelvarin` headless in a
// temporary home, and a real POP3 client (poplib) fetching directly and
// through the proxy. Then the abuse a proxy meets: many clients at once, a
// huge command line, binary garbage, a client vanishing mid-RETR, the
// upstream killed mid-session; after each the next client is served right.
#include "accounts/mon_dossier_bis.h"
#include "tests/support/client_brut.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/releve_pop3.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>

#include <memory>

using namespace testsupport;

namespace {

const QString kAlice = QStringLiteral("alice");
const QString kBob = QStringLiteral("bob");
const QString kMotDePasse = QStringLiteral("secret");

QByteArray versFil(QByteArray texte) {
    texte.replace("\n", "\r\n");
    if (!texte.endsWith("\r\n")) texte += "\r\n";
    return texte;
}

} // namespace

class TestProxyE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void memeVueQueDirect();
    void textesExacts();
    void vingtClientsSimultanes();
    void ligneDeDixKo();
    void octetsBinaires();
    void clientDisparaitPendantRetr();
    void serveurTueEnCours();
    void arretPropreComptesIntacts();

private:
    QString loginProxy(const QString& login) const { return login + QStringLiteral("@127.0.0.1"); }
    // The next client after an incident gets bob's mailbox exactly.
    void verifierClientSuivant();

    TDovecotPeer m_dovecot;
    std::unique_ptr<TKelvarinProcess> m_kelvarin;
    QList<QByteArray> m_alice;
    QList<QByteArray> m_bob;
    TReleve m_directBob;
    int m_connexionsBob = 0;
};

void TestProxyE2e::initTestCase() {
    const int n = qEnvironmentVariableIsSet("KELVARIN_E2E_N")
                      ? qEnvironmentVariableIntValue("KELVARIN_E2E_N")
                      : 120;
    m_alice = messagesCorpus(n);
    QVERIFY2(m_alice.size() == n, "corpus missing: scripts/fetch-corpus.sh failed");
    for (const auto& [nom, texte] : messagesFixturesE2e())
        m_alice.append(texte);
    m_bob = messagesCorpus(3);

    m_dovecot.ajouterUtilisateur(kAlice, kMotDePasse);
    m_dovecot.ajouterUtilisateur(kBob, kMotDePasse);
    for (const QByteArray& m : m_alice)
        m_dovecot.ajouterMessage(kAlice, m);
    for (const QByteArray& m : m_bob)
        m_dovecot.ajouterMessage(kBob, m);
    QString erreur;
    QVERIFY2(m_dovecot.demarrer(&erreur), qPrintable(erreur));

    m_kelvarin = std::make_unique<TKelvarinProcess>();
    // The two accounts exist beforehand with the IP and Bayesian filters off
    // (flags 1 + 2), so every message is delivered at level 0.
    QDir().mkpath(m_kelvarin->Home() + QStringLiteral("Donnees"));
    QFile comptes(m_kelvarin->CheminDonnees(QStringLiteral("comptesspam.qdl")));
    QVERIFY(comptes.open(QIODevice::WriteOnly));
    comptes.write("; Une ligne commen\xe7"
                  "ant par ; est en commentaire\r\n"
                  "; Premi\xe8re ligne : indique la version (NE PAS MODIFIER)\r\n"
                  "VERSION=1\r\n"
                  "1\t127.0.0.1\talice\t0\t0\t0\t\t3\t\t\r\n"
                  "2\t127.0.0.1\tbob\t0\t0\t0\t\t3\t\t\r\n");
    comptes.close();
    m_kelvarin->EcrireIni({{"PortMail", QByteArray::number(m_dovecot.port())},
                           {"NumeroCompteMini", "2"},
                           {"SpamSiPasSujetFrom", "0"},
                           {"AjoutInfoBayesien", "0"},
                           {"DNSAuto", "0"},
                           {"AdresseDNS", "127.0.0.1"}});
    QVERIFY2(m_kelvarin->Demarrer(&erreur), qPrintable(erreur));

    m_directBob = releve(m_dovecot.port(), kBob);
    QVERIFY2(m_directBob.code == 0, m_directBob.texte().constData());
    QCOMPARE(m_directBob.messages.size(), 3);
}

void TestProxyE2e::cleanupTestCase() {
    // KELVARIN_E2E_PAUSE=s keeps both servers up for a look by hand.
    if (const int s = qEnvironmentVariableIntValue("KELVARIN_E2E_PAUSE"); s > 0 && m_kelvarin) {
        std::fprintf(stderr, "paused: kelvarin on %d, dovecot on %d\n", m_kelvarin->PortEcoute(),
                     m_dovecot.port());
        QThread::sleep(s);
    }
    if (m_kelvarin && m_kelvarin->Actif()) m_kelvarin->Arreter();
    m_dovecot.arreter();
}

void TestProxyE2e::cleanup() {
    // The program's trace tells what went wrong.
    if (QTest::currentTestFailed() && m_kelvarin) {
        qWarning("kelvarin output (end):\n%s", m_kelvarin->Sortie().right(6000).constData());
    }
}

void TestProxyE2e::verifierClientSuivant() {
    QVERIFY2(m_kelvarin->Actif(), m_kelvarin->Sortie().right(3000).constData());
    const TReleve r = releve(m_kelvarin->PortEcoute(), loginProxy(kBob));
    ++m_connexionsBob;
    QVERIFY2(r.code == 0, r.texte().constData());
    QCOMPARE(r.avec("STAT"), m_directBob.avec("STAT"));
    QCOMPARE(r.avec("UIDL"), m_directBob.avec("UIDL"));
    QCOMPARE(r.messages.size(), m_directBob.messages.size());
    for (int i = 0; i < r.messages.size(); ++i) {
        QCOMPARE(r.messages.at(i), jugeSansFiltres(m_directBob.messages.at(i)) + "\r\n");
    }
}

void TestProxyE2e::memeVueQueDirect() {
    const TReleve direct = releve(m_dovecot.port(), kAlice);
    QVERIFY2(direct.code == 0, direct.texte().constData());
    QCOMPARE(direct.messages.size(), m_alice.size());
    for (int i = 0; i < m_alice.size(); ++i)
        QCOMPARE(direct.messages.at(i), versFil(m_alice.at(i)));

    const TReleve proxy = releve(m_kelvarin->PortEcoute(), loginProxy(kAlice));
    QVERIFY2(proxy.code == 0, proxy.texte().constData());
    QCOMPARE(proxy.avec("GREETING"), QByteArrayList{"+OK Bienvenue sur Kelvarin"});
    // The server's own answer to PASS is relayed unchanged.
    QCOMPARE(proxy.avec("PASS"), direct.avec("PASS"));
    QCOMPARE(proxy.avec("STAT"), direct.avec("STAT"));
    QCOMPARE(proxy.avec("LIST"), direct.avec("LIST"));
    QCOMPARE(proxy.avec("UIDL"), direct.avec("UIDL"));
    QCOMPARE(proxy.messages.size(), direct.messages.size());
    for (int i = 0; i < direct.messages.size(); ++i) {
        // At level 0 the rewriting adds the verdict's lines, and one empty
        // line before the final ".".
        QVERIFY2(proxy.messages.at(i) == jugeSansFiltres(direct.messages.at(i)) + "\r\n",
                 qPrintable(QStringLiteral("message %1 differs").arg(i + 1)));
    }
}

void TestProxyE2e::textesExacts() {
    TClientBrut c(m_kelvarin->PortEcoute());
    QVERIFY(c.connecte());
    QCOMPARE(c.ligne(), QByteArray("+OK Bienvenue sur Kelvarin"));
    QCOMPARE(c.commande("CAPA"), QByteArray("-ERR CAPA pas connu"));
    QCOMPARE(c.commande("AUTH PLAIN"), QByteArray("-ERR Pas maintenant"));
    QCOMPARE(c.commande("FOO bar"), QByteArray("-ERR Commande inconnue : FOO bar"));
    QCOMPARE(c.commande("PASS secret"), QByteArray("-ERR Il manque votre nom"));
    QCOMPARE(c.commande("USER alice"), QByteArray("-ERR Format attendu=nomutilisateur@serveur"));
    QCOMPARE(c.commande("USER @127.0.0.1"),
             QByteArray("-ERR Format attendu=nomutilisateur@serveur"));
    QVERIFY(c.commande("STAT").startsWith("-ERR STAT : "));

    QCOMPARE(c.commande("USER bob@127.0.0.1"), QByteArray("+OK Et maintenant, votre mot de passe"));
    QVERIFY(c.commande("PASS wrong").startsWith("-ERR Erreur : "));
    ++m_connexionsBob;
    // A failed login leaves the session open for another try.
    QCOMPARE(c.commande("user bob@127.0.0.1"), QByteArray("+OK Et maintenant, votre mot de passe"));
    QCOMPARE(c.commande("PASS secret"), m_directBob.avec("PASS").value(0));
    ++m_connexionsBob;
    QCOMPARE(c.commande("STAT"), "+OK " + m_directBob.avec("STAT").value(0));
    QCOMPARE(c.commande("NOOP"), QByteArray("+OK"));
    QCOMPARE(c.commande("QUIT"), m_directBob.avec("QUIT").value(0));
}

void TestProxyE2e::vingtClientsSimultanes() {
    constexpr int kClients = 20;
    std::vector<std::unique_ptr<QTemporaryDir>> sorties;
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < kClients; ++i) {
        sorties.push_back(std::make_unique<QTemporaryDir>());
        clients.push_back(
            lancerReleve(m_kelvarin->PortEcoute(), loginProxy(kBob), sorties.back()->path()));
    }
    for (int i = 0; i < kClients; ++i) {
        const TReleve r = terminerReleve(*clients[size_t(i)], sorties[size_t(i)]->path());
        ++m_connexionsBob;
        QVERIFY2(r.code == 0, r.texte().constData());
        QCOMPARE(r.avec("STAT"), m_directBob.avec("STAT"));
        QCOMPARE(r.messages.size(), 3);
        for (int k = 0; k < 3; ++k)
            QCOMPARE(r.messages.at(k), jugeSansFiltres(m_directBob.messages.at(k)) + "\r\n");
    }
    verifierClientSuivant();
}

void TestProxyE2e::ligneDeDixKo() {
    TClientBrut c(m_kelvarin->PortEcoute());
    QCOMPARE(c.ligne(), QByteArray("+OK Bienvenue sur Kelvarin"));
    // One 10 KB line gets at most one answer: its tail is never run as
    // further commands.
    c.envoyer("XYZ" + QByteArray(10 * 1024, 'A') + "\r\n");
    c.envoyer("CAPA\r\n");
    QByteArrayList avant;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 15000) {
        const QByteArray l = c.ligne(5000);
        if (l.isEmpty() || l == "-ERR CAPA pas connu") {
            QCOMPARE(l, QByteArray("-ERR CAPA pas connu"));
            break;
        }
        avant.append(l.left(80));
    }
    QVERIFY2(avant.size() <= 1, avant.join('\n').left(2000).constData());
    // A long PASS line ends the same way and the session still works.
    QCOMPARE(c.commande("USER bob@127.0.0.1"), QByteArray("+OK Et maintenant, votre mot de passe"));
    c.envoyer("PASS " + QByteArray(10 * 1024, 'p') + "\r\n");
    QVERIFY(c.ligne().startsWith("-ERR"));
    ++m_connexionsBob;
    QCOMPARE(c.commande("CAPA"), QByteArray("-ERR CAPA pas connu"));
    c.commande("QUIT");
    verifierClientSuivant();
}

void TestProxyE2e::octetsBinaires() {
    QRandomGenerator alea(20261210);
    for (int essai = 0; essai < 3; ++essai) {
        TClientBrut c(m_kelvarin->PortEcoute());
        QCOMPARE(c.ligne(), QByteArray("+OK Bienvenue sur Kelvarin"));
        QByteArray bruit(8192, '\0');
        for (char& o : bruit)
            o = char(alea.bounded(256));
        c.envoyer(bruit);
        // Whatever it answered, it answers a command right after.
        c.envoyer("\r\nCAPA\r\n");
        bool vu = false;
        QByteArrayList recu;
        QElapsedTimer t;
        t.start();
        while (!vu && t.elapsed() < 15000) {
            bool ferme = false;
            const QByteArray l = c.ligne(2000, &ferme);
            if (ferme) break;
            if (!l.isEmpty()) recu.append(l.left(80));
            vu = l == "-ERR CAPA pas connu";
        }
        QVERIFY2(vu, recu.join('\n').right(3000).constData());
        c.abandonner();
    }
    verifierClientSuivant();
}

void TestProxyE2e::clientDisparaitPendantRetr() {
    // The largest of alice's messages, so the client goes mid-transfer.
    int plusGrand = 0;
    for (int i = 1; i < m_alice.size(); ++i) {
        if (m_alice.at(i).size() > m_alice.at(plusGrand).size()) plusGrand = i;
    }
    for (int essai = 0; essai < 3; ++essai) {
        TClientBrut c(m_kelvarin->PortEcoute());
        QCOMPARE(c.ligne(), QByteArray("+OK Bienvenue sur Kelvarin"));
        QCOMPARE(c.commande("USER alice@127.0.0.1"),
                 QByteArray("+OK Et maintenant, votre mot de passe"));
        QVERIFY(c.commande("PASS secret").startsWith("+OK"));
        c.envoyer("RETR " + QByteArray::number(plusGrand + 1) + "\r\n");
        if (essai > 0) c.socket().waitForReadyRead(5000); // the first leaves before any byte
        c.abandonner();
    }
    verifierClientSuivant();
}

void TestProxyE2e::serveurTueEnCours() {
    TClientBrut c(m_kelvarin->PortEcoute());
    QCOMPARE(c.ligne(), QByteArray("+OK Bienvenue sur Kelvarin"));
    QCOMPARE(c.commande("USER bob@127.0.0.1"), QByteArray("+OK Et maintenant, votre mot de passe"));
    QVERIFY(c.commande("PASS secret").startsWith("+OK"));
    ++m_connexionsBob;
    QCOMPARE(c.commande("STAT"), "+OK " + m_directBob.avec("STAT").value(0));

    m_dovecot.tuer();
    // The client is told or let go, within bounds: never left waiting.
    c.envoyer("RETR 1\r\n");
    bool ferme = false;
    const QByteArray reponse = c.ligne(15000, &ferme);
    QVERIFY2(ferme || reponse.startsWith("-ERR"), reponse.constData());
    c.abandonner();

    QString erreur;
    QVERIFY2(m_dovecot.demarrer(&erreur), qPrintable(erreur));
    verifierClientSuivant();
}

void TestProxyE2e::arretPropreComptesIntacts() {
    QCOMPARE(m_kelvarin->Arreter(), 0);
    // In a sanitizer build, a report the program survived still fails here.
    const QByteArray sortie = m_kelvarin->Sortie();
    QVERIFY2(!sortie.contains("runtime error:") && !sortie.contains("Sanitizer"),
             sortie.right(4000).constData());
    QFile f(m_kelvarin->CheminDonnees(QStringLiteral("comptesspam.qdl")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArrayList lignes = f.readAll().split('\n');
    QVERIFY(lignes.size() >= 5);
    QCOMPARE(lignes.at(2), QByteArray("VERSION=1\r"));
    QMap<QByteArray, QByteArrayList> comptes;
    for (const QByteArray& l : lignes.mid(3)) {
        if (l.trimmed().isEmpty()) continue;
        QVERIFY2(l.endsWith('\r'), l.constData());
        const QByteArrayList champs = l.chopped(1).split('\t');
        QVERIFY2(champs.size() == 10, l.constData());
        comptes.insert(champs.at(2), champs);
    }
    QCOMPARE(comptes.size(), 2); // no account made of garbage
    QCOMPARE(comptes.value("alice").at(0), QByteArray("1"));
    QCOMPARE(comptes.value("bob").at(0), QByteArray("2"));
    QCOMPARE(comptes.value("bob").at(7), QByteArray("3")); // its flags kept
    QVERIFY2(comptes.value("bob").at(5).toInt() >= m_connexionsBob,
             comptes.value("bob").join('\t').constData());
    QVERIFY(!QFile::exists(m_kelvarin->CheminDonnees(QStringLiteral("comptesspam.bak"))));

    // alice's archive holds each message of the first fetch exactly as
    // received, in order.
    TUnCompteBis alice;
    alice.Numero = 1;
    TMonDossierBis archive;
    archive.setRepertoireDossiers(m_kelvarin->Home() + QStringLiteral("Dossiers/"));
    QVERIFY(archive.Ouvrir(&alice));
    QVERIFY2(archive.NbMessage() >= m_alice.size(),
             qPrintable(QString::number(archive.NbMessage())));
    for (int i = 0; i < m_alice.size(); ++i) {
        const TUnMessageMem* m = archive.Message(i);
        QCOMPARE(m->Numero, i + 1);
        QByteArray texte;
        QVERIFY(archive.LireTexte(*m, texte, false));
        QVERIFY2(texte == versFil(m_alice.at(i)),
                 qPrintable(QStringLiteral("archived %1").arg(i + 1)));
        QVERIFY(!m->Spam);
    }
}

int main(int argc, char** argv) {
    IsolerReseau(argc, argv);
    QCoreApplication app(argc, argv);
    TestProxyE2e t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_proxy_e2e.moc"
