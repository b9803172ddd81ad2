// The proxy's sessions end to end on loopback, through the program's own
// assembly: the listener, the command table
// with its exact texts, both login formats, the relay of every answer, the
// collection and delivery of retrieved messages, and hostile or broken peers
// on both sides (a scripted upstream server plays the edge cases).

#include "accounts/gestion_comptes_bis.h"
#include "core/config.h"
#include "core/settings.h"
#include "core/trace.h"
#include "proxy/mon_wsocket.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/moteur/banc_moteur.h"
#include "tests/support/pop3_script_server.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using testsupport::TBancMoteur;
using testsupport::TClientLignes;
using testsupport::TServeurPOP3Script;

namespace {

QByteArray message(const QByteArray& entete, const QByteArray& corps) {
    return entete + "\r\n" + corps;
}

const QByteArray kMessage1 = message("From: Alice <a@x.test>\r\nTo: b@x.test\r\nSubject: Hello\r\n",
                                     "Body line 1\r\nBody line 2\r\n");
const QByteArray kMessage2 = message("Subject: second\r\n", "x\r\n");

// What the verdict adds to each of alice's messages: her account tests
// neither relays nor scores, and a message without subject and sender is not
// spam by itself here, so every message gets the same two lines.
const QByteArray kLignesVerdict = "X-Kelvarin: test IP d\xe9sactiv\xe9\r\n"
                                  "X-Kelvarin : test bayesien d\xe9sactiv\xe9\r\n";

// The program's assembly in a temporary home, and a scripted upstream.
struct TBanc {
    TBancMoteur banc{{{"SpamSiPasSujetFrom", "0"}}};
    TServeurPOP3Script amont;
    TGestionComptesBis& comptes = banc.Moteur().GestionComptesBis1;
    TServeurProxy* proxy = &banc.Proxy();
    const int& demarrerTimerQuit = banc.DemarrerTimerQuit;
    const int& arreterTimerQuit = banc.ArreterTimerQuit;
    const int& terminees = banc.SessionsTerminees;
    const QStringList& traces = banc.Traces;

    TBanc() {
        QVERIFY(banc.Demarrer());
        // Quitting sessions are closed by the tests' own TimerQuitEcoule().
        banc.Controleur().TimerQuit().setInterval(60 * 60 * 1000);
        PUnCompteBis alice = comptes.ChercherOuCreer("127.0.0.1", "alice");
        QVERIFY(alice);
        alice->FiltreIP = false;
        alice->FiltreBayes = false;
        amont.messages = {kMessage1, kMessage2};
        QVERIFY(amont.demarrer());
    }
    QByteArray utilisateur() const { return "alice@127.0.0.1|" + QByteArray::number(amont.port()); }
    std::unique_ptr<TClientLignes> client() { return banc.Client(); }
    // A client logged in upstream; null on any failure.
    std::unique_ptr<TClientLignes> connecte() {
        auto c = client();
        if (!c) return nullptr;
        if (c->commande("USER " + utilisateur()) != "+OK Et maintenant, votre mot de passe")
            return nullptr;
        if (c->commande("PASS secret") != "+OK logged in") return nullptr;
        return c;
    }
    bool traceContient(const QString& texte) const { return banc.TraceContient(texte); }
    bool attendreSessions(int n) { return banc.AttendreSessions(n); }
};

// What the client receives for a message at level 0: the verdict's lines at
// the end of the header, dot-stuffed, and the terminator adds one empty line
// before the ".".
QByteArray livre(const QByteArray& msg) {
    QByteArray juge = msg;
    const qsizetype vide = juge.indexOf("\r\n\r\n");
    juge.insert(vide < 0 ? juge.size() : vide + 2, kLignesVerdict);
    QByteArray enLigne = TServeurPOP3Script::enLigne(juge);
    enLigne.chop(3); // the final ".\r\n"
    return enLigne + "\r\n";
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void tableDesCommandes_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("commande");
        QTest::addColumn<QByteArray>("reponse");
        QTest::newRow("CAPA") << 0 << QByteArray("CAPA") << QByteArray("-ERR CAPA pas connu");
        QTest::newRow("AUTH") << 0 << QByteArray("AUTH PLAIN") << QByteArray("-ERR Pas maintenant");
        QTest::newRow("unknown") << 0 << QByteArray("xyzzy 1 2")
                                 << QByteArray("-ERR Commande inconnue : xyzzy 1 2");
        QTest::newRow("PASS first")
            << 0 << QByteArray("PASS x") << QByteArray("-ERR Il manque votre nom");
        QTest::newRow("RPOP first")
            << 0 << QByteArray("RPOP x") << QByteArray("-ERR Il manque votre nom");
        QTest::newRow("USER no at") << 0 << QByteArray("USER bob")
                                    << QByteArray("-ERR Format attendu=nomutilisateur@serveur");
        QTest::newRow("USER at first") << 0 << QByteArray("USER @c")
                                       << QByteArray("-ERR Format attendu=nomutilisateur@serveur");
        QTest::newRow("USER slash wanted")
            << 1 << QByteArray("USER bob@c")
            << QByteArray("-ERR Format attendu=serveur/port/nomutilisateur");
        QTest::newRow("USER both, one slash")
            << 2 << QByteArray("USER c/a")
            << QByteArray("-ERR Format attendu=nomutilisateur@serveur");
        QTest::newRow("USER at ok")
            << 0 << QByteArray("user bob@c") << QByteArray("+OK Et maintenant, votre mot de passe");
        QTest::newRow("USER slash ok") << 1 << QByteArray("USER c/110/bob")
                                       << QByteArray("+OK Et maintenant, votre mot de passe");
        QTest::newRow("STAT unconnected")
            << 0 << QByteArray("stat") << QByteArray("-ERR STAT : POP3 component not connected");
        QTest::newRow("RETR unconnected")
            << 0 << QByteArray("RETR 1") << QByteArray("-ERR RETR : POP3 component not connected");
        QTest::newRow("NOOP unconnected")
            << 0 << QByteArray("NOOP") << QByteArray("-ERR NOOP : POP3 component not connected");
    }
    void tableDesCommandes() {
        QFETCH(int, format);
        QFETCH(QByteArray, commande);
        TBanc b;
        b.banc.Reglages().FormatParametre = format;
        auto c = b.client();
        QVERIFY(c);
        QTEST(c->commande(commande), "reponse");
        QVERIFY(c->silence(100)); // exactly one answer line
        QVERIFY(b.traceContient(QStringLiteral("> ") + QString::fromLatin1(commande)));
    }

    void loginEtRelais() {
        TBanc b;
        b.banc.Reglages().FormatParametre = 2;
        auto c = b.client();
        QVERIFY(c);
        // Slash format with the port of the scripted server.
        QCOMPARE(c->commande("USER 127.0.0.1/" + QByteArray::number(b.amont.port()) + "/alice"),
                 QByteArray("+OK Et maintenant, votre mot de passe"));
        // During the chained login no server line reaches the client; exactly one answers PASS.
        QCOMPARE(c->commande("PASS secret"), QByteArray("+OK logged in"));
        QVERIFY(c->silence(100));
        QVERIFY(b.traceContient(QStringLiteral("<< +OK script ready")));
        QVERIFY(b.traceContient(QStringLiteral("> PASS s*****")));
        QVERIFY(!b.traceContient(QStringLiteral("secret")));

        const QByteArray total = QByteArray::number(kMessage1.size() + kMessage2.size());
        QCOMPARE(c->commande("STAT"), "+OK 2 " + total);
        QCOMPARE(c->commande("LIST"), QByteArray("+OK"));
        QCOMPARE(c->jusquAuPoint(), "1 " + QByteArray::number(kMessage1.size()) + "\r\n2 " +
                                        QByteArray::number(kMessage2.size()) + "\r\n");
        QCOMPARE(c->commande("LIST 2"), "+OK 2 " + QByteArray::number(kMessage2.size()));
        QCOMPARE(c->commande("UIDL"), QByteArray("+OK"));
        QCOMPARE(c->jusquAuPoint(), QByteArray("1 uid-1\r\n2 uid-2\r\n"));
        QCOMPARE(c->commande("UIDL 1"), QByteArray("+OK 1 uid-1"));
        QCOMPARE(c->commande("LIST 3"), QByteArray("-ERR no such message"));
        // A TOP with one argument: message 0, that many lines.
        QCOMPARE(c->commande("TOP 3"), QByteArray("-ERR no such message"));
        QCOMPARE(c->commande("DELE 1"), QByteArray("+OK"));
        QCOMPARE(c->commande("NOOP"), QByteArray("+OK"));
        QCOMPARE(c->commande("RSET"), QByteArray("+OK"));
        QCOMPARE(c->commande("LAST"), QByteArray("+OK"));
        QCOMPARE(c->commande("CAPA"), QByteArray("-ERR CAPA pas connu"));
        QCOMPARE(c->commande("QUIT"), QByteArray("+OK bye"));
        c.reset(); // the mail client closes after the answer
        QCOMPARE(b.amont.commandes,
                 QList<QByteArray>({"CAPA", "USER alice", "PASS secret", "STAT", "LIST", "LIST 2",
                                    "UIDL", "UIDL 1", "LIST 3", "TOP 0 3", "DELE 1", "NOOP", "RSET",
                                    "LAST", "QUIT"}));
        QCOMPARE(b.demarrerTimerQuit, 1);
        QVERIFY(b.attendreSessions(0));
        QVERIFY(b.terminees >= 1);

        // The account: created at the first PASS, counted, saved.
        PUnCompteBis compte = b.comptes.Chercher("127.0.0.1", "alice");
        QVERIFY(compte);
        QCOMPARE(compte->NbConnexions, 1);
        QCOMPARE(b.comptes.Utilisations(compte->Numero), 0); // released with the session
        // A given port equal to neither PortMail is noted on the account at the next USER.
        auto c2 = b.connecte();
        QVERIFY(c2);
        QCOMPARE(compte->Port, QByteArray::number(b.amont.port()));
        QCOMPARE(compte->NbConnexions, 2);
        // The account of a live session cannot be deleted under it.
        QVERIFY(!b.comptes.Supprimer(compte->Numero));
        c2.reset();
        QVERIFY(b.attendreSessions(0));
        QVERIFY(b.comptes.Supprimer(compte->Numero));
    }

    void loginEchoue() {
        TBanc b;
        auto c = b.client();
        QVERIFY(c);
        QCOMPARE(c->commande("USER " + b.utilisateur()),
                 QByteArray("+OK Et maintenant, votre mot de passe"));
        QCOMPARE(c->commande("PASS wrong"), QByteArray("-ERR Erreur : -ERR bad password"));
        // The session stays; the same USER can log in again.
        QCOMPARE(c->commande("PASS secret"), QByteArray("+OK logged in"));
        // A PASS while logged in fails at once with the client's own error.
        QCOMPARE(c->commande("PASS secret"), QByteArray("-ERR pop3 component already connected"));
        QCOMPARE(c->commande("STAT").left(6), QByteArray("+OK 2 "));

        // A server that is not there.
        QTcpServer ferme;
        QVERIFY(ferme.listen(QHostAddress::LocalHost, 0));
        const quint16 mort = ferme.serverPort();
        ferme.close();
        auto d = b.client();
        QVERIFY(d);
        QCOMPARE(d->commande("USER alice@127.0.0.1|" + QByteArray::number(mort)),
                 QByteArray("+OK Et maintenant, votre mot de passe"));
        const QByteArray r = d->commande("PASS secret");
        QVERIFY2(r.startsWith("-ERR Erreur : "), r.constData());
        // An unknown service name as port is refused at once.
        QCOMPARE(d->commande("USER alice@127.0.0.1|nosuchservice"),
                 QByteArray("+OK Et maintenant, votre mot de passe"));
        QCOMPARE(d->commande("PASS secret"), QByteArray("-ERR unknown port: nosuchservice"));
    }

    // The server's words and the login's own bytes reach the client as they
    // were, 0x80 to 0x9F included: Windows-1252, not Latin-1.
    void textesEnWindows1252_data() {
        QTest::addColumn<QByteArray>("port"); // empty: the scripted server's
        QTest::addColumn<QByteArray>("refus");
        QTest::addColumn<QByteArray>("attendu");
        QTest::newRow("server refusal")
            << QByteArray() << QByteArray("-ERR refus\xe9 \x80 \x8a\x9c\x9f")
            << QByteArray("-ERR Erreur : -ERR refus\xe9 \x80 \x8a\x9c\x9f");
        QTest::newRow("unknown port") << QByteArray("p\x80rt\x99") << QByteArray()
                                      << QByteArray("-ERR unknown port: p\x80rt\x99");
    }
    void textesEnWindows1252() {
        QFETCH(QByteArray, port);
        QFETCH(QByteArray, refus);
        TBanc b;
        b.amont.OnCommande = [refus](QTcpSocket& s, const QByteArray& l) {
            if (refus.isEmpty() || !l.startsWith("PASS")) return false;
            TServeurPOP3Script::envoyer(s, refus + "\r\n");
            return true;
        };
        auto c = b.client();
        QVERIFY(c);
        const QByteArray user = port.isEmpty() ? b.utilisateur() : "alice@127.0.0.1|" + port;
        QCOMPARE(c->commande("USER " + user), QByteArray("+OK Et maintenant, votre mot de passe"));
        QTEST(c->commande("PASS secret"), "attendu");
    }

    // Apply holds at once in a session already open: its next message is
    // judged by the new rules, its next command reads the new login format.
    void appliquerEnCoursDeSession() {
        TBanc b;
        const QByteArray anonyme = "To: b@x.test\r\n\r\nno subject, no sender\r\n";
        b.amont.messages = {kMessage1, anonyme};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 2").startsWith("+OK"));
        QCOMPARE(c->jusquAuPoint(), livre(anonyme));

        TSaisieOptions saisie = SaisieDepuisConfig(b.banc.Reglages());
        saisie.SpamSiPasSujetFrom = true;
        saisie.FormatParametre = 1;
        QVERIFY(b.banc.Controleur().Appliquer(saisie));

        QVERIFY(c->commande("RETR 2").startsWith("+OK"));
        const QByteArray marque = c->jusquAuPoint();
        QVERIFY2(marque.startsWith("Subject: [[**SPAM**]] "), marque.constData());
        QCOMPARE(c->commande("USER bob@c"),
                 QByteArray("-ERR Format attendu=serveur/port/nomutilisateur"));
    }

    void commandePendantLogin() {
        // Lines sent behind PASS wait for the chained login: the client never
        // sees the server's greeting or its answers to USER and PASS, and gets
        // one answer per command, in order.
        TBanc b;
        b.amont.OnCommande = [](QTcpSocket& s, const QByteArray& l) {
            if (!l.startsWith("PASS")) return false;
            QTimer::singleShot(300, &s, [&s] { TServeurPOP3Script::envoyer(s, "+OK late\r\n"); });
            return true;
        };
        auto c = b.client();
        QVERIFY(c);
        QCOMPARE(c->commande("USER " + b.utilisateur()),
                 QByteArray("+OK Et maintenant, votre mot de passe"));
        c->envoyer("PASS secret\r\nCAPA\r\nNOOP\r\n");
        QCOMPARE(c->ligne(), QByteArray("+OK late"));
        QCOMPARE(c->ligne(), QByteArray("-ERR CAPA pas connu"));
        QCOMPARE(c->ligne(), QByteArray("+OK"));
        QVERIFY(c->silence(100));
        QVERIFY(b.traceContient(QStringLiteral("<< +OK script ready")));
        QVERIFY(!b.traceContient(QStringLiteral("Attente vraie réponse du serveur")));
        QCOMPARE(b.amont.commandes,
                 QList<QByteArray>({"CAPA", "USER alice", "PASS secret", "NOOP"}));

        // QUIT is the way out of a login that hangs.
        b.amont.OnCommande = [](QTcpSocket&, const QByteArray& l) { return l.startsWith("PASS"); };
        auto d = b.client();
        QVERIFY(d);
        QVERIFY(d->commande("USER " + b.utilisateur()).startsWith("+OK"));
        d->envoyer("PASS secret\r\nQUIT\r\n");
        QCOMPARE(d->ligne(), QByteArray("+OK Au revoir"));
    }

    void motDePasseMasque() {
        // With CoderMDP the secret is masked, and the command word traced as executed.
        TBanc b;
        auto c = b.client();
        QVERIFY(c);
        QVERIFY(c->commande("USER " + b.utilisateur()).startsWith("+OK"));
        QCOMPARE(c->commande("pass secret"), QByteArray("+OK logged in"));
        QVERIFY(b.traceContient(QStringLiteral("> PASS s*****")));
        QVERIFY(!b.traceContient(QStringLiteral("> pass")));
        QVERIFY(!b.traceContient(QStringLiteral("secret")));
    }

    void messageLivre_data() {
        QTest::addColumn<QByteArray>("msg");
        QTest::addColumn<bool>("sansLigneVide");
        QTest::newRow("plain") << kMessage1 << false;
        QTest::newRow("dot lines")
            << message("Subject: dots\r\n", ".\r\n..\r\n.leading\r\nmid . dot\r\n.\r\nend\r\n")
            << false;
        QTest::newRow("no empty line") << QByteArray("Subject: only\r\nX-A: b\r\n") << true;
        QTest::newRow("8-bit") << message("Subject: caf\xe9\r\n", "\xff\xfe\x80\r\n\tTab\r\n")
                               << false;
        QTest::newRow("huge line")
            << message("Subject: big\r\n", QByteArray(1 << 20, 'h') + "\r\nafter\r\n") << false;
        QTest::newRow("empty body") << QByteArray("Subject: e\r\n\r\n") << false;
        QTest::newRow("empty message") << QByteArray("") << true;
    }
    void messageLivre() {
        QFETCH(QByteArray, msg);
        QFETCH(bool, sansLigneVide);
        TBanc b;
        b.amont.messages = {msg};
        auto c = b.connecte();
        QVERIFY(c);
        QCOMPARE(c->commande("RETR 1"), "+OK " + QByteArray::number(msg.size()) + " octets");
        const QByteArray corps = c->jusquAuPoint();
        QCOMPARE(corps.size(), livre(msg).size());
        QVERIFY(corps == livre(msg));
        QCOMPARE(b.traceContient(QStringLiteral("HeaderFlag=true")), sansLigneVide);
        QVERIFY(b.traceContient(QStringLiteral("< début message [....]")));
        QVERIFY(b.traceContient(QStringLiteral("< fin message [....]")));
        // Counted for the account as a message, not as spam.
        PUnCompteBis compte = b.comptes.Chercher("127.0.0.1", "alice");
        QCOMPARE(compte->NbMessages, 1);
        QCOMPARE(compte->NbSpams, 0);
        // The session goes on.
        QCOMPARE(c->commande("NOOP"), QByteArray("+OK"));
    }

    void tailleDuMessage() {
        TBanc b;
        auto c = b.connecte();
        QVERIFY(c);
        TMonWSocket* s = b.proxy->SessionIndex(0);
        QVERIFY(s);
        // After STAT only, the size is what arrived, not the mailbox total.
        QVERIFY(c->commande("STAT").startsWith("+OK"));
        QVERIFY(c->commande("RETR 2").startsWith("+OK"));
        QVERIFY(!c->jusquAuPoint().isNull());
        QCOMPARE(s->Message().MessageEnCours.Taille, kMessage2.size());
        // After LIST, the LIST figure.
        b.amont.OnCommande = [](QTcpSocket& t, const QByteArray& l) {
            if (l != "LIST 1") return false;
            TServeurPOP3Script::envoyer(t, "+OK 1 4321\r\n");
            return true;
        };
        QCOMPARE(c->commande("LIST 1"), QByteArray("+OK 1 4321"));
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        QVERIFY(!c->jusquAuPoint().isNull());
        QCOMPARE(s->Message().MessageEnCours.Taille, 4321);
        QCOMPARE(s->Message().MessageEnCours.Sujet, QByteArray("Hello"));
        QCOMPARE(s->Message().MessageEnCours.Emetteur, QByteArray("Alice <a@x.test>"));
    }

    void statutRetenu() {
        TBanc b;
        b.banc.Reglages().SupprimerSpam = true;
        auto c = b.connecte();
        QVERIFY(c);
        // An error has no message behind it: relayed at once.
        QCOMPARE(c->commande("RETR 9"), QByteArray("-ERR no such message"));
        QCOMPARE(c->commande("TOP 9 0"), QByteArray("-ERR no such message"));
        // A good status line is held until the message has been judged, then sent.
        QCOMPARE(c->commande("RETR 1"), "+OK " + QByteArray::number(kMessage1.size()) + " octets");
        QCOMPARE(c->jusquAuPoint(), livre(kMessage1));
        // Neither "+OK" nor "-ERR": no message follows either, so it is not held.
        b.amont.OnCommande = [](QTcpSocket& s, const QByteArray& l) {
            if (l != "RETR 2") return false;
            TServeurPOP3Script::envoyer(s, "garbage\r\n");
            return true;
        };
        QCOMPARE(c->commande("RETR 2", 2000), QByteArray("garbage"));
    }

    void commandePendantUnMessage_data() {
        QTest::addColumn<QByteArray>("commande");
        QTest::addColumn<QByteArray>("reponse");
        QTest::newRow("NOOP") << QByteArray("NOOP") << QByteArray("+OK");
        QTest::newRow("CAPA") << QByteArray("CAPA") << QByteArray("-ERR CAPA pas connu");
        QTest::newRow("unknown") << QByteArray("xyzzy")
                                 << QByteArray("-ERR Commande inconnue : xyzzy");
        QTest::newRow("PASS") << QByteArray("PASS again")
                              << QByteArray("-ERR pop3 component already connected");
        QTest::newRow("RETR") << QByteArray("RETR 2")
                              << "+OK " + QByteArray::number(kMessage2.size()) + " octets";
        QTest::newRow("USER") << QByteArray("USER bob@c")
                              << QByteArray("+OK Et maintenant, votre mot de passe");
    }
    void commandePendantUnMessage() {
        // A client that does not wait for the message before its next command
        // gets the message whole, once, then the answer to that command.
        QFETCH(QByteArray, commande);
        QFETCH(QByteArray, reponse);
        TBanc b;
        // The message comes in two parts, the command lands between them.
        b.amont.OnCommande = [](QTcpSocket& s, const QByteArray& l) {
            if (l != "RETR 1") return false;
            const QByteArray tout = TServeurPOP3Script::enLigne(kMessage1);
            TServeurPOP3Script::envoyer(s, "+OK\r\n" + tout.left(20));
            QTimer::singleShot(300, &s,
                               [&s, tout] { TServeurPOP3Script::envoyer(s, tout.mid(20)); });
            return true;
        };
        auto c = b.connecte();
        QVERIFY(c);
        c->envoyer("RETR 1\r\n");
        QCOMPARE(c->ligne(), QByteArray("+OK"));
        c->envoyer(commande + "\r\n");
        QCOMPARE(c->jusquAuPoint(), livre(kMessage1));
        QCOMPARE(c->ligne(), reponse);
        if (commande.startsWith("RETR")) QCOMPARE(c->jusquAuPoint(), livre(kMessage2));
        QVERIFY(c->silence(200));
        QCOMPARE(b.comptes.Chercher("127.0.0.1", "alice")->NbMessages,
                 commande.startsWith("RETR") ? 2 : 1);
        // Pipelined commands run in order, each after the previous answer.
        if (commande != "NOOP") return;
        b.amont.OnCommande = nullptr;
        c->envoyer("RETR 2\r\nNOOP\r\nLIST 2\r\n");
        QVERIFY(c->ligne().startsWith("+OK"));
        QCOMPARE(c->jusquAuPoint(), livre(kMessage2));
        QCOMPARE(c->ligne(), QByteArray("+OK"));
        QCOMPARE(c->ligne(), "+OK 2 " + QByteArray::number(kMessage2.size()));
    }

    void fluxDuClientBorne() {
        // Lines sent while an answer is owed wait within a bound: the rest
        // stays in the network until there is room, and nothing is lost.
        TBanc b;
        b.amont.OnCommande = [](QTcpSocket& s, const QByteArray& l) {
            if (l != "RETR 1") return false;
            QTimer::singleShot(500, &s, [&s] {
                TServeurPOP3Script::envoyer(s, "+OK\r\n" + TServeurPOP3Script::enLigne(kMessage1));
            });
            return true;
        };
        auto c = b.connecte();
        QVERIFY(c);
        constexpr int kNoop = 3000;
        QByteArray lot = "RETR 1\r\n";
        for (int i = 0; i < kNoop; ++i)
            lot += "NOOP\r\n";
        c->envoyer(lot);
        TMonWSocket* s = b.proxy->SessionIndex(0);
        QVERIFY(s);
        // Watched while the answer is owed: lines must arrive, and stay bounded.
        qsizetype lignes = 0;
        qint64 octets = 0;
        QVERIFY(!QTest::qWaitFor(
            [&] {
                lignes = std::max(lignes, s->NbLignesEnAttente());
                octets = std::max(octets, s->Socket()->bytesAvailable());
                return false;
            },
            300));
        QVERIFY(lignes > 0);
        QVERIFY2(lignes <= 64 + 4096, QByteArray::number(lignes).constData());
        QVERIFY2(octets <= 64 * 1024, QByteArray::number(octets).constData());
        QCOMPARE(c->ligne(), QByteArray("+OK"));
        QCOMPARE(c->jusquAuPoint(), livre(kMessage1));
        for (int i = 0; i < kNoop; ++i)
            QCOMPARE(c->ligne(), QByteArray("+OK"));
        QVERIFY(c->silence(100));
    }

    void amontPerdu_data() {
        QTest::addColumn<QByteArray>("commande");
        QTest::addColumn<QByteArray>("envoi");
        QTest::addColumn<bool>("supprimerSpam");
        QTest::addColumn<QByteArray>("premiere");
        QTest::newRow("RETR mid-message")
            << QByteArray("RETR 1") << QByteArray("+OK\r\nSubject: x\r\n\r\npartial\r\n") << false
            << QByteArray("+OK");
        QTest::newRow("RETR held status")
            << QByteArray("RETR 1") << QByteArray("+OK\r\nSubject: x\r\n\r\npartial\r\n") << true
            << QByteArray("-ERR connection closed by the server");
        QTest::newRow("RETR before status") << QByteArray("RETR 1") << QByteArray() << false
                                            << QByteArray("-ERR connection closed by the server");
        QTest::newRow("TOP mid-header") << QByteArray("TOP 1 0") << QByteArray("+OK\r\nSubject: x")
                                        << false << QByteArray("+OK");
        QTest::newRow("LIST mid-list")
            << QByteArray("LIST") << QByteArray("+OK\r\n1 100\r\n") << false << QByteArray("+OK");
        QTest::newRow("UIDL before status") << QByteArray("UIDL") << QByteArray() << false
                                            << QByteArray("-ERR connection closed by the server");
    }
    void amontPerdu() {
        QFETCH(QByteArray, commande);
        QFETCH(QByteArray, envoi);
        QFETCH(bool, supprimerSpam);
        TBanc b;
        b.banc.Reglages().SupprimerSpam = supprimerSpam;
        b.amont.OnCommande = [commande, envoi](QTcpSocket& s, const QByteArray& l) {
            if (l != commande) return false;
            TServeurPOP3Script::envoyer(s, envoi);
            s.disconnectFromHost();
            return true;
        };
        auto c = b.connecte();
        QVERIFY(c);
        // A login sent behind the command is not run by a connection on its way out.
        c->envoyer(commande + "\r\nPASS secret\r\n");
        QTEST(c->ligne(), "premiere");
        // The client is told by the close, never by a "." that would pass a partial message.
        QVERIFY(c->attendreFermeture());
        QCOMPARE(b.amont.nbConnexions(), 1);
        QVERIFY(c->jusquAuPoint(100).isNull());
        QCOMPARE(b.comptes.Chercher("127.0.0.1", "alice")->NbMessages, 0);
        QVERIFY(b.attendreSessions(0));

        // The proxy serves the next client, and the accounts file is intact.
        b.amont.OnCommande = nullptr;
        auto d = b.connecte();
        QVERIFY(d);
        QVERIFY(d->commande("RETR 1").startsWith("+OK"));
        QCOMPARE(d->jusquAuPoint(), livre(kMessage1));
        QVERIFY(b.comptes.Sauver());
        TGestionComptesBis relu;
        relu.OnInitRepertoire = b.comptes.OnInitRepertoire;
        relu.setActive(true);
        QCOMPARE(relu.Chercher("127.0.0.1", "alice")->NbConnexions, 2);
    }

    void ligneAmontSansFin() {
        // A server that streams one line without end is cut at the bound, and
        // the client is not left waiting.
        TBanc b;
        b.amont.OnCommande = [](QTcpSocket& s, const QByteArray& l) {
            if (l != "RETR 1") return false;
            TServeurPOP3Script::envoyer(s, "+OK\r\nSubject: x\r\n\r\n" + QByteArray(300000, 'y'));
            return true;
        };
        auto c = b.connecte();
        QVERIFY(c);
        b.proxy->SessionIndex(0)->Client->LongueurLigneMax = 100000;
        QCOMPARE(c->commande("RETR 1"), QByteArray("+OK"));
        QVERIFY(c->attendreFermeture());
        QVERIFY(b.traceContient(QStringLiteral("line longer than 100000 bytes")));
    }

    void amontTueEntreDeuxCommandes() {
        TBanc b;
        auto c = b.connecte();
        QVERIFY(c);
        // A farewell nobody asked for is not an answer for the client.
        b.amont.diffuser("-ERR Disconnected for inactivity.\r\n");
        b.amont.arreter();
        QVERIFY(c->silence(200));
        QVERIFY(b.traceContient(QStringLiteral("<< -ERR Disconnected for inactivity.")));
        QCOMPARE(c->commande("STAT"), QByteArray("-ERR STAT : POP3 component not connected"));
        QVERIFY(b.amont.demarrer());
        // Login again through a fresh USER/PASS on the same session.
        QCOMPARE(c->commande("USER " + b.utilisateur()),
                 QByteArray("+OK Et maintenant, votre mot de passe"));
        QCOMPARE(c->commande("PASS secret"), QByteArray("+OK logged in"));
    }

    void lignesHostiles() {
        TBanc b;
        auto c = b.client();
        QVERIFY(c);
        // 10 KB on one line: only its first 127 bytes are a command, the tail is
        // never executed, not even a "QUIT" hidden in it.
        c->envoyer("CAPA" + QByteArray(10 * 1024, ' ') + "QUIT\r\n");
        QCOMPARE(c->ligne(), QByteArray("-ERR CAPA pas connu"));
        QVERIFY(c->silence(200));
        c->envoyer("NOOP" + QByteArray(200, ' ') + "QUIT\r\n");
        QCOMPARE(c->ligne(), QByteArray("-ERR NOOP : POP3 component not connected"));
        QVERIFY(c->silence(200));
        QCOMPARE(b.demarrerTimerQuit, 0);
        // The line after a long one is a command again.
        c->envoyer("CAPA" + QByteArray(300, 'x') + "\r\nQUIT\r\n");
        QVERIFY(c->ligne().startsWith("-ERR Commande inconnue : CAPAxxx"));
        QTRY_COMPARE(b.demarrerTimerQuit, 1);
        // The tail of a long PASS never reaches the trace in clear.
        c->envoyer("USER a@b\r\n");
        QVERIFY(!c->ligne().isNull());
        b.proxy->SessionIndex(0)->Client->Port = "nosuchservice"; // keep it off the network
        c->envoyer("PASS p" + QByteArray(150, 'z') + "\r\n");
        QVERIFY(!c->ligne().isNull());
        for (const QString& t : b.traces)
            QVERIFY2(!t.contains(QStringLiteral("zzz")), qPrintable(t));
        QVERIFY(b.traceContient(QStringLiteral("ATTENTION : chaine ignorée = ****")));
        // Binary garbage, with NUL and lone CR, then a normal command.
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 37 + 11) % 256));
        c->envoyer(garbage + "\r\n");
        while (!c->silence(200)) {
        }
        c->vider();
        QCOMPARE(c->commande("CAPA"), QByteArray("-ERR CAPA pas connu"));
        // A command split over several segments is still one command.
        c->envoyer("CA");
        QVERIFY(c->silence(100));
        c->envoyer("PA\r\n");
        QCOMPARE(c->ligne(), QByteArray("-ERR CAPA pas connu"));
    }

    void clientsConcurrents() {
        TBanc b;
        constexpr int kClients = 20;
        std::vector<std::unique_ptr<TClientLignes>> clients;
        for (int i = 0; i < kClients; ++i) {
            clients.push_back(b.client());
            QVERIFY(clients.back());
        }
        QCOMPARE(b.proxy->NbSessions(), kClients);
        QSet<int> numeros;
        for (int i = 0; i < kClients; ++i)
            numeros.insert(b.proxy->SessionIndex(i)->Numero());
        QCOMPARE(numeros.size(), kClients);
        // Interleaved: every client sends before any reads.
        for (auto& c : clients)
            c->envoyer("USER " + b.utilisateur() + "\r\n");
        for (auto& c : clients)
            QCOMPARE(c->ligne(), QByteArray("+OK Et maintenant, votre mot de passe"));
        for (auto& c : clients)
            c->envoyer("PASS secret\r\n");
        for (auto& c : clients)
            QCOMPARE(c->ligne(), QByteArray("+OK logged in"));
        for (auto& c : clients)
            c->envoyer("RETR 1\r\n");
        for (auto& c : clients) {
            QVERIFY(c->ligne().startsWith("+OK"));
            QCOMPARE(c->jusquAuPoint(), livre(kMessage1));
        }
        for (auto& c : clients)
            QCOMPARE(c->commande("QUIT"), QByteArray("+OK bye"));
        // TimerQuit closes those whose client did not hang up.
        QCOMPARE(b.demarrerTimerQuit, kClients);
        b.proxy->TimerQuitEcoule();
        for (auto& c : clients)
            QVERIFY(c->attendreFermeture());
        QVERIFY(b.attendreSessions(0));
        QCOMPARE(b.comptes.Chercher("127.0.0.1", "alice")->NbConnexions, kClients);
        QCOMPARE(b.comptes.Chercher("127.0.0.1", "alice")->NbMessages, kClients);
        // Numbering restarts once every session is gone.
        auto d = b.client();
        QVERIFY(d);
        QCOMPARE(b.proxy->SessionIndex(0)->Numero(), 1);
    }

    void clientDisparaitPendantRetr() {
        TBanc b;
        b.amont.messages = {message("Subject: big\r\n", QByteArray(4 << 20, 'b') + "\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        c->envoyer("RETR 1\r\n");
        QVERIFY(c->ligne().startsWith("+OK"));
        c->abandonner();
        QVERIFY(b.attendreSessions(0));
        auto d = b.connecte();
        QVERIFY(d);
        QVERIFY(d->commande("STAT").startsWith("+OK 1 "));
    }

    void numerotation() {
        TBanc b;
        auto c1 = b.client();
        auto c2 = b.client();
        QVERIFY(c1 && c2);
        QCOMPARE(b.proxy->SessionIndex(0)->Numero(), 1);
        QCOMPARE(b.proxy->SessionIndex(1)->Numero(), 2);
        c1.reset();
        QVERIFY(b.attendreSessions(1));
        auto c3 = b.client();
        QVERIFY(c3);
        QCOMPARE(b.proxy->SessionIndex(1)->Numero(), 3);
        QVERIFY(b.traceContient(QStringLiteral("Destruction socket n°1")));
    }

    void quitEtTimerQuit() {
        TBanc b;
        // QUIT without an upstream: nothing comes back, TimerQuit closes it.
        auto a = b.client();
        QVERIFY(a);
        a->envoyer("QUIT\r\n");
        QVERIFY(a->silence(200));
        QCOMPARE(b.demarrerTimerQuit, 1);
        // Another session that closes meanwhile must not stop the timer that A needs.
        auto o = b.client();
        QVERIFY(o);
        o.reset();
        QVERIFY(b.attendreSessions(1));
        QCOMPARE(b.arreterTimerQuit, 0);
        // Any later command clears the quitting mark; QUIT again sets it.
        QCOMPARE(a->commande("CAPA"), QByteArray("-ERR CAPA pas connu"));
        QVERIFY(!b.proxy->SessionIndex(0)->Quitter);
        a->envoyer("QUIT\r\n");
        QTRY_VERIFY(b.proxy->SessionIndex(0)->Quitter);
        b.proxy->TimerQuitEcoule();
        QVERIFY(a->attendreFermeture());
        QVERIFY(b.attendreSessions(0));
        QVERIFY(b.arreterTimerQuit >= 1);
        QVERIFY(b.traceContient(QStringLiteral("Timer : close")));

        // QUIT while the upstream is busy: abort and say goodbye at once.
        b.amont.OnCommande = [](QTcpSocket&, const QByteArray& l) { return l == "STAT"; };
        auto c = b.connecte();
        QVERIFY(c);
        c->envoyer("STAT\r\n");
        QVERIFY(c->silence(100));
        QCOMPARE(c->commande("QUIT"), QByteArray("+OK Au revoir"));
    }

    void inactivite() {
        TBanc b;
        b.proxy->DelaiInactiviteMs = 300;
        auto c = b.client();
        QVERIFY(c);
        QVERIFY(c->attendreFermeture(3000));
        QVERIFY(b.attendreSessions(0));

        // A client waiting for a slow message is not idle while the server
        // makes progress; a server that falls silent does not keep it open.
        b.amont.OnCommande = [](QTcpSocket& s, const QByteArray& l) {
            if (l == "RETR 2") {
                TServeurPOP3Script::envoyer(s, "+OK\r\n");
                return true;
            }
            if (l != "RETR 1") return false;
            TServeurPOP3Script::envoyer(s, "+OK\r\n");
            for (int i = 1; i <= 6; ++i)
                QTimer::singleShot(250 * i, &s,
                                   [&s] { TServeurPOP3Script::envoyer(s, "X: y\r\n"); });
            QTimer::singleShot(1750, &s, [&s] {
                TServeurPOP3Script::envoyer(s, TServeurPOP3Script::enLigne(kMessage1));
            });
            return true;
        };
        b.proxy->DelaiInactiviteMs = 700;
        auto d = b.connecte();
        QVERIFY(d);
        QCOMPARE(d->commande("RETR 1"), QByteArray("+OK"));
        QCOMPARE(d->jusquAuPoint(),
                 livre("X: y\r\nX: y\r\nX: y\r\nX: y\r\nX: y\r\nX: y\r\n" + kMessage1));
        QCOMPARE(d->commande("RETR 2"), QByteArray("+OK"));
        QVERIFY(d->attendreFermeture(3000));
    }

    void clientQuiNeLitPas() {
        // Commands of a client that does not read wait once a bound of output
        // is pending: the proxy never holds more than about one message more.
        TBanc b;
        const QByteArray gros = message("Subject: gros\r\n", QByteArray(300000, 'g') + "\r\n");
        b.amont.messages = {gros};
        auto c = b.connecte();
        QVERIFY(c);
        constexpr int kNb = 20;
        c->socket().setReadBufferSize(4096);
        QByteArray lot;
        for (int i = 0; i < kNb; ++i)
            lot += "RETR 1\r\n";
        c->envoyer(lot);
        TMonWSocket* s = b.proxy->SessionIndex(0);
        QVERIFY(s);
        // Watched until the session holds the rest back: its output past the
        // bound, the upstream idle, commands waiting. Nothing grows after that.
        qint64 maximum = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                maximum = std::max(maximum, s->Socket()->bytesToWrite());
                return s->Socket()->bytesToWrite() > 1024 * 1024 && !s->Client->Occupe() &&
                       s->NbLignesEnAttente() > 0;
            },
            20000));
        QVERIFY2(maximum < 2 * 1024 * 1024, QByteArray::number(maximum).constData());
        c->socket().setReadBufferSize(0);
        for (int i = 0; i < kNb; ++i) {
            QVERIFY(c->ligne().startsWith("+OK"));
            QCOMPARE(c->jusquAuPoint(), livre(gros));
        }
    }

    void fermetureDUnClientQuiNeLitPas_data() {
        QTest::addColumn<bool>("inactif");
        QTest::newRow("idle close") << true;
        QTest::newRow("shutdown") << false;
    }
    void fermetureDUnClientQuiNeLitPas() {
        // A client that stops reading keeps output pending: the close waits a
        // short while for it, then cuts the connection, and the session ends.
        QFETCH(bool, inactif);
        TBanc b;
        b.proxy->DelaiFermetureMs = 200;
        if (inactif) b.proxy->DelaiInactiviteMs = 500;
        b.amont.messages = {message("Subject: gros\r\n", QByteArray(16 << 20, 'g') + "\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        c->socket().setReadBufferSize(4096);
        c->envoyer("RETR 1\r\n");
        TMonWSocket* s = b.proxy->SessionIndex(0);
        QVERIFY(s);
        QTRY_VERIFY_WITH_TIMEOUT(b.traceContient(QStringLiteral("< fin message [....]")), 10000);
        QVERIFY(s->Socket()->bytesToWrite() > 0);
        if (!inactif) b.proxy->FermerSessions();
        QVERIFY(b.banc.AttendreSessions(0, 10000));
        QVERIFY(b.traceContient(QStringLiteral("Fermé")));
    }

    void ouverture() {
        TBanc b;
        QTcpServer occupe;
        QVERIFY(occupe.listen(QHostAddress::LocalHost, 0));
        QString erreur;
        QVERIFY(!b.proxy->Ouvrir(QByteArray::number(occupe.serverPort()), &erreur));
        QCOMPARE(erreur, QStringLiteral("Impossible d'ouvrir le port %1\r\nKelvarin non actif.")
                             .arg(occupe.serverPort()));
        QVERIFY(!b.proxy->Ecoute());
        QVERIFY(!b.proxy->Ouvrir("nosuchservice", &erreur));
        QVERIFY(erreur.contains(QStringLiteral("nosuchservice")));
        QVERIFY(b.proxy->Ouvrir("0"));
        QVERIFY(b.proxy->Ecoute());
        // Loopback only unless the address is set by hand.
        QCOMPARE(b.proxy->findChild<QTcpServer*>()->serverAddress(), QHostAddress::LocalHost);
        b.banc.Reglages().AdresseEcoute = "127.0.0.2";
        QVERIFY(b.proxy->Ouvrir("0"));
        QCOMPARE(b.proxy->findChild<QTcpServer*>()->serverAddress(),
                 QHostAddress(QStringLiteral("127.0.0.2")));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
