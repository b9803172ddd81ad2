// Re-emitted messages: the queue itself, and what a mail client sees of it
// through the whole engine (controller, accounts, archive, listener) against a
// scripted upstream mailbox; also the one status line of a retrieved message.

#include "accounts/gestion_comptes_bis.h"
#include "core/controleur.h"
#include "core/date_time.h"
#include "core/trace.h"
#include "proxy/messages_fictifs.h"
#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/moteur/banc_moteur.h"
#include "tests/support/pop3_script_server.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using testsupport::TBancMoteur;
using testsupport::TClientLignes;
using testsupport::TServeurPOP3Script;

namespace {

// A 2000-byte message, with a line that needs dot-stuffing.
QByteArray messageArchive() {
    QByteArray m = "From: x@y.test\r\nSubject: re-emitted\r\n\r\n.starts with a dot\r\n";
    while (m.size() < 1998)
        m += 'a';
    m += "\r\n";
    return m.left(2000);
}

// The whole engine in a temporary home, listening on a free port, with a
// scripted upstream holding 3 messages and one archived message for alice.
struct TBanc {
    TBancMoteur banc;
    TMoteur* moteur = &banc.Moteur();
    const TRepertoires& reps = banc.Reps();
    TServeurPOP3Script amont;
    PUnCompteBis compte = nullptr;
    qint32 idArchive = 0;
    qint64 tailleAmont = 0;

    TBanc() {
        // A quitting session is closed by the test once its QUIT is taken:
        // a short timer would race the relay of the server's answer to it.
        banc.Controleur().TimerQuit().setInterval(60 * 60 * 1000);
        QVERIFY(banc.Demarrer());

        amont.messages = {"Subject: one\r\n\r\n1\r\n", "Subject: two\r\n\r\n22\r\n",
                          "Subject: three\r\n\r\n333\r\n"};
        for (const QByteArray& m : amont.messages)
            tailleAmont += m.size();
        QVERIFY(amont.demarrer());

        compte = moteur->GestionComptesBis1.ChercherOuCreer("127.0.0.1", "alice");
        QVERIFY(compte);
        TMonDossierBis& archive = moteur->MonDossierBisSynchro;
        QVERIFY(archive.Ouvrir(compte));
        TUnMessageMem modele;
        modele.Sujet = "re-emitted";
        modele.Taille = 2000;
        modele.Reception = datetime::maintenant();
        PUnMessageMem nouveau = nullptr;
        QVERIFY(archive.AjouterMessage(modele, messageArchive(), &nouveau));
        idArchive = nouveau->Numero;
        QVERIFY(archive.Fermer());
    }

    // QUIT without an answer (no upstream, or one that refused the login):
    // once the session took it, what the quit timer does closes it.
    bool quitterSansReponse(TClientLignes& c) {
        const int avant = banc.DemarrerTimerQuit;
        c.envoyer("QUIT\r\n");
        if (!QTest::qWaitFor([&] { return banc.DemarrerTimerQuit > avant; }, 5000)) return false;
        banc.Proxy().TimerQuitEcoule();
        return c.attendreFermeture();
    }
    QByteArray utilisateur() const { return "alice@127.0.0.1|" + QByteArray::number(amont.port()); }
    std::unique_ptr<TClientLignes> client() { return banc.Client(); }
    std::unique_ptr<TClientLignes> connecte(const QByteArray& motDePasse = "secret") {
        auto c = client();
        if (!c) return nullptr;
        if (!c->commande("USER " + utilisateur()).startsWith("+OK")) return nullptr;
        const QByteArray r = c->commande("PASS " + motDePasse);
        if (motDePasse == amont.motDePasse ? r != "+OK logged in" : !r.startsWith("-ERR"))
            return nullptr;
        return c;
    }
    QByteArray stat() {
        auto c = connecte();
        if (!c) return "no login";
        const QByteArray r = c->commande("STAT");
        c->commande("QUIT");
        return r;
    }
    QByteArray statAttendu(int fictifs, qint64 taille) const {
        return "+OK " + QByteArray::number(amont.messages.size() + fictifs) + ' ' +
               QByteArray::number(tailleAmont + taille);
    }
};

// The message as the client receives it up to the final ".": dot-stuffed,
// and the terminator adds one empty line before the ".".
QByteArray enLigneSansPoint(const QByteArray& m) {
    QByteArray r = TServeurPOP3Script::enLigne(m);
    r.chop(3);
    return r + "\r\n";
}

// A real message as the verdict delivers it: no relay address, an empty
// knowledge base (50 %), not spam.
QByteArray juge(const QByteArray& m) {
    QByteArray r = m;
    r.insert(r.indexOf("\r\n\r\n") + 2,
             "X-Kelvarin: pas d'IP\r\nX-Kelvarin : spam bayesien=50.0%\r\n");
    return enLigneSansPoint(r);
}

} // namespace

class TestFictifs : public QObject {
    Q_OBJECT
private slots:
    void file() {
        TMessagesFictifs f;
        QVERIFY(f.Ajouter(1, 10, 100));
        QVERIFY(f.Ajouter(2, 10, 5));
        QVERIFY(f.Ajouter(1, 11, 200));
        QVERIFY(!f.Ajouter(1, 10, 999)); // the same message of the same account once
        qint32 n = 0;
        qint64 t = 0;
        f.Compter(1, n, t);
        QCOMPARE(n, 2);
        QCOMPARE(t, 300);
        QCOMPARE(f.Kieme(1, 2)->Id, 11);
        QCOMPARE(f.Kieme(2, 1)->Id, 10);
        QVERIFY(!f.Kieme(1, 3));
        QVERIFY(!f.Kieme(1, 0));
        f.Retirer(QList<TMessageFictif>{{1, 10, 100}});
        QCOMPARE(f.Kieme(1, 1)->Id, 11);
        f.Retirer(2);
        QCOMPARE(f.Count(), 1);
        f.Ajouter(3, 1, 1);
        f.Retirer(-1);
        QCOMPARE(f.Count(), 0);

        // Sizes add up past 32 bits.
        f.Ajouter(1, 1, INT32_MAX);
        f.Ajouter(1, 2, INT32_MAX);
        f.Compter(1, n, t);
        QCOMPARE(t, qint64(INT32_MAX) * 2);
    }

    void presentationEtConsommation() {
        TBanc b;
        QVERIFY(b.moteur->Reemettre(b.compte->Numero, b.idArchive));
        // Re-emitting it again before the login queues nothing more.
        QVERIFY(!b.moteur->Reemettre(b.compte->Numero, b.idArchive));
        QCOMPARE(b.moteur->MessagesFictifs.Count(), 1);

        auto c = b.connecte();
        QVERIFY(c);
        QCOMPARE(c->commande("STAT"), b.statAttendu(1, 2000));

        QCOMPARE(c->commande("LIST"), QByteArray("+OK"));
        QByteArray attendu;
        for (int i = 1; i <= 3; ++i)
            attendu += QByteArray::number(i) + ' ' +
                       QByteArray::number(b.amont.messages[i - 1].size()) + "\r\n";
        QCOMPARE(c->jusquAuPoint(), attendu + "4 2000\r\n");

        QCOMPARE(c->commande("UIDL"), QByteArray("+OK"));
        QCOMPARE(c->jusquAuPoint(), "1 uid-1\r\n2 uid-2\r\n3 uid-3\r\n4 KV-UIDL-" +
                                        QByteArray::number(b.compte->Numero) + '-' +
                                        QByteArray::number(b.idArchive) + "\r\n");

        // One message's LIST and UIDL go to the server, which knows nothing of it.
        QCOMPARE(c->commande("LIST 4"), QByteArray("-ERR no such message"));
        QCOMPARE(c->commande("LIST 2"), "+OK 2 " + QByteArray::number(b.amont.messages[1].size()));

        QCOMPARE(c->commande("RETR 4"), QByteArray("+OK Message fictif"));
        QCOMPARE(c->jusquAuPoint(), enLigneSansPoint(messageArchive()));

        QCOMPARE(c->commande("DELE 4"), QByteArray("+OK Suppression fictive"));
        QVERIFY(!b.amont.commandes.contains("DELE 4"));
        // A real message still works after a fictive one.
        QCOMPARE(c->commande("RETR 1"), QByteArray("+OK 19 octets"));
        QCOMPARE(c->jusquAuPoint(), juge(b.amont.messages[0]));
        QVERIFY(c->commande("QUIT").startsWith("+OK"));
        c.reset();

        QCOMPARE(b.moteur->MessagesFictifs.Count(), 0);
        QCOMPARE(b.stat(), b.statAttendu(0, 0));
        // Only the real message counts as received mail.
        QCOMPARE(b.compte->NbMessages, 1);
    }

    void retrSansStat() {
        TBanc b;
        QVERIFY(b.moteur->Reemettre(b.compte->Numero, b.idArchive));
        auto c = b.connecte();
        QVERIFY(c);
        // No STAT yet: the real count is 0, so message 1 is the re-emission.
        QCOMPARE(c->commande("RETR 1"), QByteArray("+OK Message fictif"));
        QCOMPARE(c->jusquAuPoint(), enLigneSansPoint(messageArchive()));
        QCOMPARE(c->commande("RETR 2"), QByteArray("-ERR existe pas"));
        QVERIFY(!b.amont.commandes.contains("RETR 1"));
    }

    // A client that lists before any STAT: the re-emission follows the
    // listed messages instead of taking number 1 a second time.
    void listeAvantStat() {
        TBanc b;
        QVERIFY(b.moteur->Reemettre(b.compte->Numero, b.idArchive));
        auto c = b.connecte();
        QVERIFY(c);
        QCOMPARE(c->commande("UIDL"), QByteArray("+OK"));
        QCOMPARE(c->jusquAuPoint(), "1 uid-1\r\n2 uid-2\r\n3 uid-3\r\n4 KV-UIDL-" +
                                        QByteArray::number(b.compte->Numero) + '-' +
                                        QByteArray::number(b.idArchive) + "\r\n");
        QCOMPARE(c->commande("RETR 1"), QByteArray("+OK 19 octets"));
        QVERIFY(!c->jusquAuPoint().contains("re-emitted"));
        QCOMPARE(c->commande("RETR 4"), QByteArray("+OK Message fictif"));
        QCOMPARE(c->jusquAuPoint(), enLigneSansPoint(messageArchive()));
    }

    // Only what a logged-in session was shown is consumed by its QUIT.
    void quitNeConsommeQueCeQuiFutPresente() {
        TBanc b;
        QVERIFY(b.moteur->Reemettre(b.compte->Numero, b.idArchive));

        // QUIT before any PASS.
        {
            auto c = b.client();
            QVERIFY(c);
            // No upstream, so no answer: the quit timer closes the client.
            QVERIFY(b.quitterSansReponse(*c));
        }
        QCOMPARE(b.moteur->MessagesFictifs.Count(), 1);

        // The upstream refuses the login.
        {
            auto c = b.connecte("wrong");
            QVERIFY(c);
            // Nor is the archived text given to a client the server refused.
            QVERIFY(c->commande("RETR 1").startsWith("-ERR RETR"));
            QVERIFY(c->silence());
            QVERIFY(b.quitterSansReponse(*c));
        }
        QCOMPARE(b.moteur->MessagesFictifs.Count(), 1);

        // Queued during a session: presented and kept for the next login.
        TMonDossierBis& archive = b.moteur->MonDossierBis1;
        QVERIFY(archive.Ouvrir(b.compte));
        TUnMessageMem modele;
        modele.Taille = 7;
        modele.Reception = datetime::maintenant();
        PUnMessageMem second = nullptr;
        QVERIFY(archive.AjouterMessage(modele, "S: x\r\n\r\n", &second));
        {
            auto c = b.connecte();
            QVERIFY(c);
            QVERIFY(b.moteur->Reemettre(b.compte->Numero, second->Numero));
            QCOMPARE(c->commande("STAT"), b.statAttendu(1, 2000));
            QVERIFY(c->commande("QUIT").startsWith("+OK"));
        }
        QCOMPARE(b.moteur->MessagesFictifs.Count(), 1);
        QCOMPARE(b.stat(), b.statAttendu(1, 7));
        QCOMPARE(b.moteur->MessagesFictifs.Count(), 0);
    }

    // The archived text is gone: an error, never the text of the message
    // retrieved just before.
    void texteIllisible() {
        TBanc b;
        QVERIFY(b.moteur->Reemettre(b.compte->Numero, b.idArchive));
        QVERIFY(b.moteur->MessagesFictifs.Ajouter(b.compte->Numero, 999, 10)); // never archived
        QDirIterator it(b.reps.Dossiers(), {QStringLiteral("*.news")}, QDir::Files,
                        QDirIterator::Subdirectories);
        int supprimes = 0;
        while (it.hasNext())
            supprimes += QFile::remove(it.next()) ? 1 : 0;
        QVERIFY(supprimes > 0);

        auto c = b.connecte();
        QVERIFY(c);
        QCOMPARE(c->commande("STAT"), b.statAttendu(2, 2010));
        QCOMPARE(c->commande("RETR 3"), QByteArray("+OK 23 octets"));
        QVERIFY(!c->jusquAuPoint().isEmpty());
        for (const QByteArray& n : {QByteArray("4"), QByteArray("5")}) {
            QCOMPARE(c->commande("RETR " + n), QByteArray("-ERR Message r\xe9-\xe9mis illisible"));
            QVERIFY(c->silence());
        }
        // The session goes on.
        QVERIFY(c->commande("NOOP").startsWith("+OK"));
        QCOMPARE(c->commande("RETR 2"), QByteArray("+OK 20 octets"));
        QCOMPARE(c->jusquAuPoint(), juge(b.amont.messages[1]));
    }

    // The whole loop with a real server: a message judged and archived in one
    // session, re-emitted, then seen at the next login after dovecot's own.
    void bouclageAvecDovecot() {
        testsupport::TDovecotPeer peer;
        peer.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
        const QByteArrayList textes = {"Subject: first\n\nhello\n",
                                       "Subject: second\n\n.dot line\nbye\n",
                                       "Subject: third\n\nlast\n"};
        for (const QByteArray& t : textes)
            peer.ajouterMessage(QStringLiteral("alice"), t);
        QString erreur;
        QVERIFY2(peer.demarrer(&erreur), qPrintable(erreur));
        TBanc b;
        const QByteArray user = "USER alice@127.0.0.1|" + QByteArray::number(peer.port());
        const auto login = [&]() -> std::unique_ptr<TClientLignes> {
            auto c = b.client();
            if (!c || !c->commande(user).startsWith("+OK")) return nullptr;
            if (!c->commande("PASS secret").startsWith("+OK")) return nullptr;
            return c;
        };

        auto c = login();
        QVERIFY(c);
        const QByteArray stat = c->commande("STAT");
        QVERIFY(stat.startsWith("+OK 3 "));
        QVERIFY(c->commande("LIST").startsWith("+OK"));
        const QByteArray liste = c->jusquAuPoint();
        QVERIFY(c->commande("UIDL").startsWith("+OK"));
        const QByteArray uidl = c->jusquAuPoint();
        QVERIFY(c->commande("RETR 2").startsWith("+OK"));
        QVERIFY(!c->jusquAuPoint().isEmpty());
        QVERIFY(c->commande("QUIT").startsWith("+OK"));
        c.reset();

        // The judged message is the archive's newest.
        TMonDossierBis& archive = b.moteur->MonDossierBis1;
        QVERIFY(archive.Ouvrir(b.compte));
        QVERIFY(archive.Charger());
        const qint32 id = archive.DernierNumMessage();
        QVERIFY(id > b.idArchive);
        QVERIFY(b.moteur->Reemettre(b.compte->Numero, id));
        QByteArray brut = textes[1];
        brut.replace("\n", "\r\n");
        QCOMPARE(archive.ChercherNumero(id)->Taille, qint32(brut.size()));

        c = login();
        QVERIFY(c);
        const qint64 tailleAmont = stat.split(' ').value(2).toLongLong();
        QCOMPARE(c->commande("STAT"), "+OK 4 " + QByteArray::number(tailleAmont + brut.size()));
        QVERIFY(c->commande("LIST").startsWith("+OK"));
        QCOMPARE(c->jusquAuPoint(), liste + "4 " + QByteArray::number(brut.size()) + "\r\n");
        QVERIFY(c->commande("UIDL").startsWith("+OK"));
        QCOMPARE(c->jusquAuPoint(), uidl + "4 KV-UIDL-" + QByteArray::number(b.compte->Numero) +
                                        '-' + QByteArray::number(id) + "\r\n");
        QCOMPARE(c->commande("RETR 4"), QByteArray("+OK Message fictif"));
        QCOMPARE(c->jusquAuPoint(), enLigneSansPoint(brut));
        QVERIFY(c->commande("QUIT").startsWith("+OK"));
        c.reset();

        c = login();
        QVERIFY(c);
        QCOMPARE(c->commande("STAT"), stat);
    }

    // SupprimerSpam switched on while a message arrives: its status line went
    // out already, so no second one may follow.
    void unSeulStatutSiSupprimerSpamChange() {
        TBanc b;
        b.amont.OnCommande = [&b](QTcpSocket& client, const QByteArray& ligne) {
            if (ligne != "RETR 2") return false;
            TServeurPOP3Script::envoyer(client, "+OK 20 octets\r\nSubject: two\r\n");
            QTimer::singleShot(200, &b.amont, [&b, &client] {
                b.banc.Reglages().SupprimerSpam = true;
                TServeurPOP3Script::envoyer(client, "\r\n22\r\n.\r\n");
            });
            return true;
        };
        auto c = b.connecte();
        QVERIFY(c);
        QCOMPARE(c->commande("RETR 2"), QByteArray("+OK 20 octets"));
        QCOMPARE(c->jusquAuPoint(), juge(b.amont.messages[1]));
        QVERIFY(c->silence());
        QVERIFY(b.banc.Reglages().SupprimerSpam);
        // The next message is judged with the new setting: held, then sent once.
        QCOMPARE(c->commande("RETR 1"), QByteArray("+OK 19 octets"));
        QCOMPARE(c->jusquAuPoint(), juge(b.amont.messages[0]));
        QVERIFY(c->silence());
    }
};

QTEST_GUILESS_MAIN(TestFictifs)
#include "tst_fictifs.moc"
