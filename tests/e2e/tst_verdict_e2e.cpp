// The verdict end to end: `kelvarin` headless in a temporary home with its
// lists and one DNSBL server, a real dovecot upstream, a real dnsmasq serving
// the test blacklist zone, and a real POP3 client. Every message comes back
// with its exact X-Kelvarin lines and subject marks; the archive and the
// knowledge base are checked on disk afterwards.
#include "tests/support/client_brut.h"
#include "tests/support/dnsmasq_peer.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/releve_pop3.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace testsupport;

namespace {

const QString kMotDePasse = QStringLiteral("secret");

// Messages as dovecot holds them (LF line ends).
const QByteArrayList kAlice = {
    // 1: black sender
    "Received: from mx (mx [203.0.113.10])\n\tby relay; Mon, 1 Jan 2024 10:00:00 +0000\n"
    "From: Promo <deals@spam.example>\nTo: alice@example.test\nSubject: Offre\n\nAchetez.\n",
    // 2: white sender wins over a black subject
    "Received: from mx (mx [203.0.113.11])\nFrom: ami@friends.example\nTo: alice@example.test\n"
    "Subject: viagra ou pas\n\nSalut.\n",
    // 3: a white header line after a black one
    "Received: from mx (mx [203.0.113.12])\nFrom: liste@lists.example\nSubject: Nouvelles\n"
    "X-Mailer: BulkMailer 2.0\nX-Liste: interne\n\nTexte.\n",
    // 4: a black header line; its HTML is neutralised
    "Received: from mx (mx [203.0.113.13])\nFrom: x@y.example\nSubject: Soldes\n"
    "X-Mailer: BulkMailer 2.0\nMIME-Version: 1.0\nContent-Type: text/html\n\n"
    "<html><body>Hello</body></html>\n",
    // 5: the relay is on the DNSBL
    "Received: from bad (bad [192.0.2.99])\n\tby relay; Mon, 1 Jan 2024 10:00:00 +0000\n"
    "From: someone@else.example\nTo: alice@example.test\nSubject: Bonjour\n\nRien.\n",
    // 6: the relay is not on it
    "Received: from good (good [203.0.113.7])\nFrom: someone@else.example\n"
    "To: alice@example.test\nSubject: Salut\n\nRien non plus.\n",
    // 7: the relay is on the black IP list
    "Received: from x (x [198.51.100.66])\nFrom: a@b.example\nSubject: Hello\n\nBody.\n",
    // 8: neither subject nor sender
    "Received: from z (z [203.0.113.14])\nTo: alice@example.test\n\nAnonyme.\n",
};
const QByteArrayList kCarol = {
    "From: a@b.example\nTo: \"Bob\" <bob@example.test>, \"Carol\" <carol@example.test>\n"
    "Subject: Pour vous deux\n\nTexte.\n",
    "From: a@b.example\nTo: someone@example.test\nSubject: Pas pour vous\n\nTexte.\n",
};
const QByteArrayList kDave = {
    "From: Promo <p@q.example>\nTo: dave@example.test\nSubject: viagra\n\nAchetez.\n",
    "From: chef@work.example\nTo: dave@example.test\nSubject: [projet] point\n\nDemain.\n",
};

// Decided by the expression lists only.
const QByteArrayList kErin = {
    "From: x@lottery.example\nTo: erin@example.test\nSubject: Gagnez 1000 euros\n\nCliquez.\n",
    "From: Chef <chef@corp.example>\nTo: erin@example.test\nSubject: viagra au bureau\n\nNon.\n",
};

const QByteArray kPasTestBayes = "X-Kelvarin : Pas de test bayesiens sur les en-t\xeates\r\n";

QByteArray versFil(QByteArray texte) {
    texte.replace("\n", "\r\n");
    return texte;
}

// The message as the proxy should deliver it: the subject prefix, the
// X-Kelvarin lines at the end of the header, and the empty line the
// terminator adds.
QByteArray attendu(const QByteArray& message, const QByteArray& lignes,
                   const QByteArray& prefixe = {}) {
    QByteArray r = versFil(message);
    if (!prefixe.isEmpty()) {
        const qsizetype s = r.indexOf("\r\nSubject: ");
        if (s >= 0)
            r.insert(s + 11, prefixe);
        else
            r.prepend("Subject: " + prefixe + "\r\n");
    }
    r.insert(r.indexOf("\r\n\r\n") + 2, lignes);
    return r + "\r\n";
}

// The verdict suites look at the messages only.
TReleve releverMessages(quint16 port, const QByteArray& login) {
    return releve(port, QString::fromLatin1(login), kMotDePasse, {QStringLiteral("--no-list")});
}

bool ecrire(const QString& chemin, const QByteArray& contenu) {
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly) && f.write(contenu) == contenu.size();
}

QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestVerdictE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listesEtDNSBL();
    void topSansArchive();
    void adresseDuCompte();
    void noticesDeSpamSupprime();
    void listesDExpressions();
    void archiveEtBaseSurDisque();
    void cleanupTestCase();
    void cleanup();

private:
    TDovecotPeer m_dovecot;
    TDnsmasqPeer m_dns;
    std::unique_ptr<TKelvarinProcess> m_kelvarin;
    QByteArray login(const char* utilisateur) const {
        return QByteArray(utilisateur) + "@127.0.0.1";
    }
};

void TestVerdictE2e::initTestCase() {
    m_dns.ajouter("99.2.0.192.bl.test", "127.0.0.2");
    QString erreur;
    QVERIFY2(m_dns.demarrer(&erreur), qPrintable(erreur));
    // The engine asks DNS servers on port 53, which takes root.
    QVERIFY2(m_dns.port() == 53, "dnsmasq could not take port 53 (run as root)");

    for (const auto& [nom, messages] :
         {std::pair{QStringLiteral("alice"), kAlice}, std::pair{QStringLiteral("carol"), kCarol},
          std::pair{QStringLiteral("dave"), kDave}, std::pair{QStringLiteral("erin"), kErin}}) {
        m_dovecot.ajouterUtilisateur(nom, kMotDePasse);
        for (const QByteArray& m : messages)
            m_dovecot.ajouterMessage(nom, m);
    }
    QVERIFY2(m_dovecot.demarrer(&erreur), qPrintable(erreur));

    m_kelvarin = std::make_unique<TKelvarinProcess>();
    const QString donnees = m_kelvarin->Home() + QStringLiteral("Donnees/");
    QVERIFY(QDir().mkpath(donnees));
    const QByteArray entete = "; Une ligne commen\xe7"
                              "ant par ; est en commentaire\r\n"
                              "; Premi\xe8re ligne : indique la version (NE PAS MODIFIER)\r\n"
                              "VERSION=1\r\n";
    // Accounts: alice with both filters, carol checking her address, dave
    // with SupprimerSpam of his own (flags 4 + 8).
    QVERIFY(ecrire(donnees + QStringLiteral("comptesspam.qdl"),
                   entete +
                       "1\t127.0.0.1\talice\t0\t0\t0\t127.0.0.1/alice\t0\t\t\r\n"
                       "2\t127.0.0.1\tcarol\t0\t0\t0\t127.0.0.1/carol\t16\t\tCarol@Example.test\r\n"
                       "3\t127.0.0.1\tdave\t0\t0\t0\t127.0.0.1/dave\t12\t\t\r\n"
                       "4\t127.0.0.1\terin\t0\t0\t0\t127.0.0.1/erin\t0\t\t\r\n"));
    // One DNSBL server, on the test zone, any answer listed.
    QVERIFY(ecrire(donnees + QStringLiteral("dns.qdl"),
                   entete + "1\tTestBL\tbl.test\t0\t0\t0\t0\t0\t\t0\t0\r\n"));
    const QList<QPair<const char*, QByteArray>> listes = {
        {"listenoire-mail.qdl", "*@spam.example"},
        {"listeblanche-mail.qdl", "ami@friends.example"},
        {"listenoire-sujet.qdl", "*viagra*"},
        {"listeblanche-sujet.qdl", "[projet]*"},
        {"listenoire-entete.qdl", "X-Mailer: BulkMailer*"},
        {"listeblanche-entete.qdl", "X-Liste: interne*"},
        {"listenoire-ip.qdl", "198.51.100.66"},
        {"listenoire-sujet-re.qdl", "^Gagnez [0-9]+ euros$"},
        {"listeblanche-mail-re.qdl", "^[a-z]+@corp\\.example$"}};
    for (const auto& [fichier, motif] : listes)
        QVERIFY(ecrire(donnees + QString::fromLatin1(fichier), motif + "\r\n"));

    m_kelvarin->EcrireIni({{"PortMail", QByteArray::number(m_dovecot.port())},
                           {"NumeroCompteMini", "4"},
                           {"NumeroDNSMini", "1"},
                           {"AjoutInfoBayesien", "0"},
                           {"DNSAuto", "0"},
                           {"AdresseDNS", m_dns.adresse().toString().toLatin1()}});
    QVERIFY2(m_kelvarin->Demarrer(&erreur), qPrintable(erreur));
}

void TestVerdictE2e::listesEtDNSBL() {
    const TReleve r = releverMessages(m_kelvarin->PortEcoute(), login("alice"));
    QVERIFY2(r.code == 0, r.texte().constData());
    QCOMPARE(r.messages.size(), kAlice.size());
    const QByteArray spam = "[[**SPAM**]] ";
    const QByteArray bayes50 = "X-Kelvarin : spam bayesien=50.0%\r\n";
    QCOMPARE(r.messages[0], attendu(kAlice[0], "X-Kelvarin: liste noire (emetteur)\r\n", spam));
    QCOMPARE(r.messages[1], attendu(kAlice[1], "X-Kelvarin: liste blanche (emetteur)\r\n"));
    QCOMPARE(r.messages[2], attendu(kAlice[2], "X-Kelvarin: liste blanche (en-t\xeate)\r\n"));
    QByteArray html = kAlice[3];
    html.replace("Content-Type: text/html", "Content-Type: XXXXXXXXX");
    QCOMPARE(r.messages[3], attendu(html, "X-Kelvarin: liste noire (en-t\xeate)\r\n", spam));
    QCOMPARE(r.messages[4], attendu(kAlice[4],
                                    "X-Kelvarin: spam IP=192.0.2.99\r\n"
                                    "X-Kelvarin: r\xe9sultat=127.0.0.2\r\n"
                                    "X-Kelvarin: r\xe8gle=TestBL\r\n" +
                                        bayes50,
                                    spam));
    QCOMPARE(r.messages[5], attendu(kAlice[5], "X-Kelvarin: ok\r\n" + bayes50));
    QCOMPARE(r.messages[6], attendu(kAlice[6], "X-Kelvarin: liste noire (ip)\r\n", spam));
    QCOMPARE(r.messages[7],
             attendu(kAlice[7], "x-Kelvarin: Pas de sujet ni d'\xe9metteur\r\n", spam));
    const QByteArray trace = m_kelvarin->Sortie();
    // "reste" counts the lookups still running for every message: the other
    // messages' relays are looked up too, and dnsmasq answers in no fixed order.
    static const QRegularExpression reponse(QStringLiteral(
        " \\+ r\u00e9ponse ip : 192\\.0\\.2\\.99 \\(TestBL\\) = spam ; reste=\\d+ ; partiel=non"));
    const QString texte = QString::fromUtf8(trace);
    const QRegularExpressionMatch m = reponse.match(texte);
    QVERIFY2(m.hasMatch(), trace.right(3000).constData());
    // The fetch is sequential: message 5 was judged, with that answer, before
    // the client asked for message 6.
    const qsizetype retr6 = texte.indexOf(QStringLiteral("> RETR 6"));
    QVERIFY2(retr6 > m.capturedStart(), trace.right(3000).constData());
    QVERIFY(trace.contains(" + demande ip : 203.0.113.7"));
}

void TestVerdictE2e::topSansArchive() {
    TClientBrut c(m_kelvarin->PortEcoute());
    QVERIFY(c.ligne().startsWith("+OK"));
    QVERIFY(c.commande("USER " + login("alice")).startsWith("+OK"));
    QVERIFY(c.commande("PASS secret").startsWith("+OK"));
    // A black-listed message and a DNSBL-listed one: level 3 both.
    QVERIFY(c.commande("TOP 1 0").startsWith("+OK"));
    QByteArray entete = kAlice[0].left(kAlice[0].indexOf("\n\n") + 2);
    QCOMPARE(
        c.jusquAuPoint(),
        attendu(entete, "X-Kelvarin: liste noire (emetteur)\r\n" + kPasTestBayes, "[[**SPAM**]] "));
    QVERIFY(c.commande("TOP 5 0").startsWith("+OK"));
    entete = kAlice[4].left(kAlice[4].indexOf("\n\n") + 2);
    QCOMPARE(c.jusquAuPoint(), attendu(entete,
                                       "X-Kelvarin: spam IP=192.0.2.99\r\n"
                                       "X-Kelvarin: r\xe9sultat=127.0.0.2\r\n"
                                       "X-Kelvarin: r\xe8gle=TestBL\r\n" +
                                           kPasTestBayes,
                                       "[[**SPAM**]] "));
    QVERIFY(c.commande("QUIT").startsWith("+OK"));
}

void TestVerdictE2e::adresseDuCompte() {
    const TReleve r = releverMessages(m_kelvarin->PortEcoute(), login("carol"));
    QVERIFY2(r.code == 0, r.texte().constData());
    QCOMPARE(r.messages.size(), 2);
    // Her address is the second of two named recipients.
    QCOMPARE(r.messages[0], attendu(kCarol[0], "X-Kelvarin: pas d'IP\r\n"
                                               "X-Kelvarin : spam bayesien=50.0%\r\n"));
    QCOMPARE(r.messages[1],
             attendu(kCarol[1],
                     "X-Kelvarin: Vrai mail non pr\xe9sent dans les en-t\xeates To: et Cc: \r\n",
                     "[[**SPAM**]] "));
}

void TestVerdictE2e::noticesDeSpamSupprime() {
    const TReleve r = releverMessages(m_kelvarin->PortEcoute(), login("dave"));
    QVERIFY2(r.code == 0, r.texte().constData());
    QCOMPARE(r.messages.size(), 2);
    const QByteArray notice = "From: Promo <p@q.example>\r\nTo: dave@example.test\r\n"
                              "Subject: [[**SPAM**]] message de type spam\r\n\r\n\r\n"
                              "Boite : 127.0.0.1/dave\r\nDe : Promo <p@q.example>\r\n"
                              "A : dave@example.test\r\nSujet : viagra\r\n-=-=-=-=-=-=-=-\r\n"
                              "X-Kelvarin: liste noire (sujet)\r\n\r\n-=-=-=-=-=-=-=-\r\n"
                              "En-t\xeates compl\xeates du message supprim\xe9 :\r\n";
    QVERIFY2(r.messages[0].startsWith(notice), r.messages[0].constData());
    QVERIFY(r.messages[0].contains("Subject: viagra\r\n"));
    QVERIFY(!r.messages[0].contains("Achetez"));
    QCOMPARE(r.messages[1], attendu(kDave[1], "X-Kelvarin: liste blanche (sujet)\r\n"));
}

void TestVerdictE2e::listesDExpressions() {
    // A subject only a black expression catches, and a sender only a white
    // expression saves from the plain black subject list.
    const TReleve r = releverMessages(m_kelvarin->PortEcoute(), login("erin"));
    QVERIFY2(r.code == 0, r.texte().constData());
    QCOMPARE(r.messages.size(), kErin.size());
    QCOMPARE(r.messages[0],
             attendu(kErin[0], "X-Kelvarin: liste noire (sujet)\r\n", "[[**SPAM**]] "));
    QCOMPARE(r.messages[1], attendu(kErin[1], "X-Kelvarin: liste blanche (emetteur)\r\n"));
}

void TestVerdictE2e::archiveEtBaseSurDisque() {
    QCOMPARE(m_kelvarin->Arreter(), 0);
    const QString dossiers = m_kelvarin->Home() + QStringLiteral("Dossiers/");

    // Alice's index: one 38-byte record per RETR, none for the TOPs.
    const QByteArray fixe = lire(dossiers + QStringLiteral("1-var.qdl"));
    QVERIFY(fixe.startsWith("VERSION=1\r\n"));
    QCOMPARE(fixe.size(), 11 + 38 * kAlice.size());
    struct TAttendu {
        quint8 drapeaux; // 1 TestIP, 2 TestBayes, 4 white, 8 black, 16 spam, 32 SpamIP
        qint32 serveur;
        qint32 proba;
    };
    const QList<TAttendu> attendus = {
        {8 | 16, 0, 0},  {4, 0, 0},      {4, 0, 0},    {8 | 16, 0, 0}, {1 | 2 | 16 | 32, 1, 500},
        {1 | 2, 0, 500}, {8 | 16, 0, 0}, {16, 0, 1000}};
    auto entier = [&fixe](qsizetype pos) {
        return qFromLittleEndian<qint32>(fixe.constData() + pos);
    };
    for (int i = 0; i < attendus.size(); ++i) {
        const qsizetype r = 11 + 38 * i;
        QCOMPARE(quint8(fixe[r]), quint8(38));
        QCOMPARE(entier(r + 1), i + 1);
        QCOMPARE(quint8(fixe[r + 27]), attendus[i].drapeaux);
        QCOMPARE(entier(r + 30), attendus[i].serveur);
        QCOMPARE(entier(r + 34), attendus[i].proba);
    }
    // The DNSBL answer and the raw subject and sender in the variable index.
    const QByteArray variable = lire(dossiers + QStringLiteral("1-fix.qdl"));
    QVERIFY(variable.contains("Bonjoursomeone@else.example127.0.0.2"));
    // Texts as received, before any rewriting.
    const QStringList jours =
        QDir(dossiers + QStringLiteral("1")).entryList({QStringLiteral("*.news")});
    QCOMPARE(jours.size(), 1);
    const QByteArray textes = lire(dossiers + QStringLiteral("1/") + jours[0]);
    QCOMPARE(textes.size(), 2051 + versFil(kAlice.join()).size());
    QVERIFY(textes.endsWith(versFil(kAlice.join())));
    QVERIFY(!textes.contains("X-Kelvarin"));

    // Carol's two and dave's two are archived too.
    QCOMPARE(lire(dossiers + QStringLiteral("2-var.qdl")).size(), 11 + 38 * 2);
    QCOMPARE(lire(dossiers + QStringLiteral("3-var.qdl")).size(), 11 + 38 * 2);

    // Learned: alice's DNSBL spam, her relay-checked message and carol's first,
    // nothing that a list or the address check decided.
    const QByteArray base = lire(m_kelvarin->CheminDonnees(QStringLiteral("bayes.qdl")));
    QVERIFY2(base.startsWith("*\t1\t2\r\n"), base.left(40).constData());
}

void TestVerdictE2e::cleanup() {
    if (QTest::currentTestFailed() && m_kelvarin)
        qWarning("kelvarin output (end):\n%s", m_kelvarin->Sortie().right(6000).constData());
}

void TestVerdictE2e::cleanupTestCase() {
    if (m_kelvarin && m_kelvarin->Actif()) m_kelvarin->Arreter();
    m_dovecot.arreter();
    m_dns.arreter();
}

int main(int argc, char** argv) {
    IsolerReseau(argc, argv);
    QCoreApplication app(argc, argv);
    TestVerdictE2e t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_verdict_e2e.moc"
