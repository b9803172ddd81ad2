// The verdict: its rules as tables (final step, list precedence, header lines),
// then whole sessions on loopback: a scripted POP3 server upstream, a small DNS
// server of the test answering the DNSBL queries, the archive and the knowledge
// base in a temporary directory.

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "core/config.h"
#include "core/trace.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "proxy/mon_wsocket.h"
#include "proxy/serveur_proxy.h"
#include "proxy/verdict.h"
#include "spamsearch/cherche_spams.h"
#include "tests/support/pop3_script_server.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

using testsupport::TClientLignes;
using testsupport::TServeurPOP3Script;

namespace {

// A DNS server for the DNSBL queries: answers each name of `adresses` with
// that address, NXDOMAIN for the others; names in `muets` get no answer; every
// answer waits `retardMs`.
class TDNSTest : public QObject {
public:
    QHash<QByteArray, QByteArray> adresses;
    QSet<QByteArray> muets;
    QList<QByteArray> questions;
    int retardMs = 0;

    bool demarrer() {
        connect(&m_socket, &QUdpSocket::readyRead, this, &TDNSTest::lire);
        return m_socket.bind(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_socket.localPort(); }

private:
    void lire() {
        while (m_socket.hasPendingDatagrams()) {
            QHostAddress de;
            quint16 port = 0;
            QByteArray q(int(m_socket.pendingDatagramSize()), '\0');
            m_socket.readDatagram(q.data(), q.size(), &de, &port);
            if (q.size() < 17) continue;
            // The question: labels from offset 12 to the zero byte, then type and class.
            QByteArray nom;
            int i = 12;
            while (i < q.size() && q[i] != 0) {
                const int n = quint8(q[i]);
                if (!nom.isEmpty()) nom += '.';
                nom += q.mid(i + 1, n);
                i += n + 1;
            }
            const int finQuestion = i + 5;
            questions << nom;
            if (muets.contains(nom)) continue;
            QByteArray r = q.left(finQuestion);
            r[2] = char(0x81); // response, recursion desired
            const auto it = adresses.constFind(nom);
            r[3] = char(it == adresses.constEnd() ? 0x83 : 0x80); // NXDOMAIN or no error
            r[6] = 0;
            r[7] = char(it == adresses.constEnd() ? 0 : 1);
            r[8] = r[9] = r[10] = r[11] = 0;
            if (it != adresses.constEnd()) {
                r += QByteArray::fromHex("c00c000100010000003c0004");
                for (const QByteArray& o : it->split('.'))
                    r += char(o.toInt());
            }
            if (retardMs > 0)
                QTimer::singleShot(retardMs, this,
                                   [this, r, de, port] { m_socket.writeDatagram(r, de, port); });
            else
                m_socket.writeDatagram(r, de, port);
        }
    }
    QUdpSocket m_socket;
};

// The proxy with a verdict, and everything it judges with.
struct TBanc {
    QTemporaryDir dir;
    TGestionComptesBis comptes;
    TChercheSPAMs cherche;
    TEncodageDecodage encodage;
    TMonMimeDecode decodeur;
    TMonDossierBis archive;
    std::unique_ptr<TFiltreBayes> bayes;
    std::unique_ptr<TServeurProxy> proxy;
    TVerdict* verdict = nullptr;
    TServeurPOP3Script amont;
    TDNSTest dns;
    QStringList traces;

    TBanc() {
        Config() = TConfig();
        Config().AjoutInfoBayesien = false;
        comptes.OnInitRepertoire = [this](TGestionComptesBis&, QString& t, QString& i) {
            t = i = dir.path();
        };
        comptes.setActive(true);
        decodeur.SetEncodageDecodage(&encodage);
        archive.setRepertoireDossiers(dir.path() + QStringLiteral("/Dossiers/"));
        bayes = std::make_unique<TFiltreBayes>(dir.path() + QLatin1Char('/'));
        proxy = std::make_unique<TServeurProxy>(comptes);
        verdict = new TVerdict(*proxy, cherche, decodeur, archive);
        verdict->FiltreBayes = [this] { return bayes.get(); };
        verdict->Brancher(cherche);
        cherche.OnServeurRetire = [this](TChercheSPAMs&, qint32 n) { verdict->ServeurRetire(n); };
        cherche.setDNSPrincipal("127.0.0.1");
        cherche.setTimeOutRecherche(60000);
        TTrace::instance().OnLigne = [this](const TLigneTrace& l) { traces << l.texte; };
        QVERIFY(proxy->Ouvrir("0"));
        QVERIFY(amont.demarrer());
        QVERIFY(dns.demarrer());
        cherche.setPortDNS(dns.port());
    }
    ~TBanc() {
        TTrace::instance().OnLigne = nullptr;
        proxy.reset();
        archive.Fermer();
        Config() = TConfig();
    }
    std::unique_ptr<TClientLignes> connecte() {
        auto c = std::make_unique<TClientLignes>();
        if (!c->connecter(proxy->PortLocal()) || c->ligne().isEmpty()) return nullptr;
        if (!c->commande("USER alice@127.0.0.1|" + QByteArray::number(amont.port()))
                 .startsWith("+OK"))
            return nullptr;
        if (c->commande("PASS secret") != "+OK logged in") return nullptr;
        return c;
    }
    PUnCompteBis compte() { return comptes.Chercher("127.0.0.1", "alice"); }
    bool trace(const QString& t) const {
        for (const QString& l : traces)
            if (l.contains(t)) return true;
        return false;
    }
};

const QByteArray kRecu =
    "Received: from relay (relay [203.0.113.5])\r\n\tby mx; Mon, 1 Jan 2024\r\n";

QByteArray message(const QByteArray& entete) {
    return kRecu + entete + "To: alice@x.test\r\n\r\nHello there, a few words of text.\r\n";
}

// The header part of what the client received (up to the empty line).
QByteArray entete(const QByteArray& recu) {
    return recu.left(recu.indexOf("\r\n\r\n") + 2);
}

} // namespace

class TestVerdict : public QObject {
    Q_OBJECT
private slots:
    void decider_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("etat"); // DNSBL record state; -1: none
        QTest::addColumn<bool>("top");
        QTest::addColumn<bool>("filtreIP");
        QTest::addColumn<bool>("filtreBayes");
        QTest::addColumn<QByteArray>("sujet");
        QTest::addColumn<double>("p"); // score the filter returns
        QTest::addColumn<QByteArray>("x");
        QTest::addColumn<int>("niveau");
        QTest::addColumn<int>("probaBayes");
        QTest::addColumn<bool>("apprendre");

        const QByteArray ok = "X-Kelvarin: ok\r\n";
        const QByteArray spam = "X-Kelvarin: spam IP=203.0.113.5\r\nX-Kelvarin: "
                                "r\xe9sultat=127.0.0.2\r\nX-Kelvarin: r\xe8gle=bl\r\n";
        auto bayes = [](const char* t) {
            return QByteArray("X-Kelvarin : spam bayesien=") + t + "\r\n";
        };
        QTest::newRow("black sender")
            << 4 << -1 << false << true << true << QByteArray("s") << 0.0
            << QByteArray("X-Kelvarin: liste noire (emetteur)\r\n") << 3 << 0 << false;
        QTest::newRow("white header")
            << 10 << -1 << false << true << true << QByteArray("s") << 0.0
            << QByteArray("X-Kelvarin: liste blanche (en-t\xeate)\r\n") << 0 << 0 << false;
        QTest::newRow("white ip") << 6 << -1 << false << true << true << QByteArray("s") << 0.0
                                  << QByteArray("X-Kelvarin: liste blanche (ip)\r\n") << 0 << 0
                                  << false;
        QTest::newRow("not addressed")
            << 12 << -1 << false << true << true << QByteArray("s") << 0.0
            << QByteArray(
                   "X-Kelvarin: Vrai mail non pr\xe9sent dans les en-t\xeates To: et Cc: \r\n")
            << 3 << 0 << false;
        QTest::newRow("no subject nor sender")
            << 1 << 3 << false << true << true << QByteArray("  ") << 0.0
            << QByteArray("x-Kelvarin: Pas de sujet ni d'\xe9metteur\r\n") << 3 << 1000 << false;
        QTest::newRow("ip test off")
            << 2 << -1 << false << false << true << QByteArray("s") << 20.0
            << "X-Kelvarin: test IP d\xe9sactiv\xe9\r\n" + bayes("20.0%") << 0 << 200 << true;
        QTest::newRow("ip test off, bayes spam")
            << 2 << -1 << false << false << true << QByteArray("s") << 50.5
            << "X-Kelvarin: test IP d\xe9sactiv\xe9\r\n" + bayes("50.5%") << 3 << 505 << true;
        QTest::newRow("listed p=40") << 1 << 2 << false << true << true << QByteArray("s") << 40.0
                                     << spam + bayes("40.0%") << 1 << 400 << true;
        QTest::newRow("listed p=40.1") << 1 << 2 << false << true << true << QByteArray("s") << 40.1
                                       << spam + bayes("40.1%") << 3 << 401 << true;
        QTest::newRow("listed and bayes spam") << 1 << 2 << false << true << true << QByteArray("s")
                                               << 99.0 << spam + bayes("99.0%") << 3 << 990 << true;
        QTest::newRow("bayes only p=60") << 1 << 3 << false << true << true << QByteArray("s")
                                         << 60.0 << ok + bayes("60.0%") << 2 << 600 << true;
        QTest::newRow("bayes only p=60.5") << 1 << 3 << false << true << true << QByteArray("s")
                                           << 60.5 << ok + bayes("60.5%") << 3 << 605 << true;
        QTest::newRow("p=50 is not spam") << 1 << 3 << false << true << true << QByteArray("s")
                                          << 50.0 << ok + bayes("50.0%") << 0 << 500 << true;
        QTest::newRow("abandoned: timeout, bayes decides")
            << 1 << 5 << false << true << true << QByteArray("s") << 55.0
            << "X-Kelvarin: timeout\r\n" + bayes("55.0%") << 2 << 550 << true;
        QTest::newRow("no address")
            << 1 << -1 << false << true << true << QByteArray("s") << 0.0
            << "X-Kelvarin: pas d'IP\r\n" + bayes(" 0.0%") << 0 << 0 << true;
        QTest::newRow("bayes off, listed")
            << 1 << 2 << false << true << false << QByteArray("s") << 0.0
            << spam + "X-Kelvarin : test bayesien d\xe9sactiv\xe9\r\n"
            << 3 << 0 << false;
        QTest::newRow("bayes off, not listed")
            << 1 << 3 << false << true << false << QByteArray("s") << 0.0
            << ok + "X-Kelvarin : test bayesien d\xe9sactiv\xe9\r\n"
            << 0 << 0 << false;
        const QByteArray top = "X-Kelvarin : Pas de test bayesiens sur les en-t\xeates\r\n";
        QTest::newRow("TOP black")
            << 5 << -1 << true << true << true << QByteArray("s") << 0.0
            << "X-Kelvarin: liste noire (sujet)\r\n" + top << 3 << 0 << false;
        QTest::newRow("TOP not addressed")
            << 12 << -1 << true << true << true << QByteArray("s") << 0.0
            << "X-Kelvarin: Vrai mail non pr\xe9sent dans les en-t\xeates To: et Cc: \r\n" + top
            << 0 << 0 << false;
        QTest::newRow("TOP listed") << 1 << 2 << true << true << true << QByteArray("s") << 0.0
                                    << spam + top << 3 << 0 << false;
        QTest::newRow("TOP no subject nor sender")
            << 1 << -1 << true << true << true << QByteArray("") << 0.0
            << "x-Kelvarin: Pas de sujet ni d'\xe9metteur\r\n" + top << 3 << 0 << false;
    }
    void decider() {
        QFETCH(int, code);
        QFETCH(int, etat);
        QFETCH(bool, top);
        QFETCH(QByteArray, sujet);
        QFETCH(double, p);

        TUnDNS serveur;
        serveur.Numero = 7;
        serveur.Nom = "bl";
        TUneRechercheDNS r;
        r.IP = ChaineVersIP("203.0.113.5");
        r.Serveur = &serveur;
        r.Etat = quint8(std::max(etat, 0));
        r.Reponse = etat == 2 ? "127.0.0.2" : "inexistant";

        TEntreeVerdict e;
        e.Code = code;
        e.DNSBL = etat >= 0 ? &r : nullptr;
        e.CommandeTOP = top;
        QFETCH(bool, filtreIP);
        QFETCH(bool, filtreBayes);
        e.FiltreIP = filtreIP;
        e.FiltreBayes = filtreBayes;
        e.Subject = sujet;
        e.From = sujet.trimmed().isEmpty() ? " " : "a@b.test";
        TUnMessageMem m;
        m.ProbaBayes = -5;
        int scores = 0;
        const TDecisionVerdict d = DeciderVerdict(e, m, [&] {
            ++scores;
            return p;
        });
        QTEST(d.Resultat.TexteXKelvarin, "x");
        QTEST(int(d.Resultat.Niveau), "niveau");
        QTEST(d.Apprendre, "apprendre");
        QCOMPARE(scores, d.Apprendre ? 1 : 0); // scored exactly when learned
        QCOMPARE(d.Archiver, !top);
        QCOMPARE(m.SpamIP, etat == 2 && code == 1 && !sujet.trimmed().isEmpty());
        QCOMPARE(m.ServeurDNSBL, m.SpamIP ? 7 : 0);
        if (top) return; // nothing else is stored for TOP
        QTEST(m.ProbaBayes, "probaBayes");
        QCOMPARE(m.Spam, d.Resultat.Niveau != nsBon);
        QCOMPARE(m.ListeNoire, EstCodeNoir(code));
        QCOMPARE(m.ListeBlanche, EstCodeBlanc(code));
        QCOMPARE(m.HorsDestinataire, code == 12);
        const bool teste = (code == 1 || code == 2) && d.Code != cvSansSujetEmetteur;
        QCOMPARE(m.TestIP, filtreIP && teste);
        QCOMPARE(m.TestBayes, filtreBayes && teste);
        QCOMPARE(d.Resultat.TestBayes, m.TestBayes);
        QVERIFY(m.Reception > 0);
    }

    void regleEtNumeroSansServeur() {
        TUneRechercheDNS r;
        r.IP = ChaineVersIP("198.51.100.7");
        r.Etat = erSpam;
        r.Reponse = "127.0.0.4";
        TEntreeVerdict e;
        e.DNSBL = &r;
        e.FiltreBayes = false;
        e.Subject = "s";
        TUnMessageMem m;
        const TDecisionVerdict d = DeciderVerdict(e, m, {});
        QVERIFY(d.Resultat.TexteXKelvarin.contains("X-Kelvarin: r\xe8gle ?\r\n"));
        QVERIFY(m.SpamIP);
        QCOMPARE(m.ServeurDNSBL, 0);
        QCOMPARE(m.ReponseDNSBL, QByteArray("127.0.0.4"));
    }

    void listes_data() {
        QTest::addColumn<int>("verdictEntete");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("sujet");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QByteArray>("cc");
        QTest::addColumn<bool>("destinataire");
        QTest::addColumn<QByteArray>("email");
        QTest::addColumn<int>("code");
        const QByteArray moi = "moi@x.test";
        QTest::newRow("header list first") << 9 << QByteArray("ami@ok.test") << QByteArray("promo")
                                           << QByteArray() << QByteArray() << false << moi << 9;
        QTest::newRow("black sender, white subject")
            << 0 << QByteArray("x@spam.test") << QByteArray("ordre du jour") << QByteArray()
            << QByteArray() << false << moi << 8;
        QTest::newRow("white sender over black subject")
            << 0 << QByteArray("ami@ok.test") << QByteArray("promo") << QByteArray() << QByteArray()
            << false << moi << 7;
        QTest::newRow("white ip over black subject")
            << 0 << QByteArray("a@b.test") << QByteArray("promo") << QByteArray() << QByteArray()
            << false << moi << 6;
        QTest::newRow("black subject") << 0 << QByteArray("a@b.test") << QByteArray("super promo")
                                       << QByteArray() << QByteArray() << false << moi << 5;
        QTest::newRow("black sender") << 0 << QByteArray("x@spam.test") << QByteArray("hello")
                                      << QByteArray() << QByteArray() << false << moi << 4;
        QTest::newRow("not addressed")
            << 0 << QByteArray("a@b.test") << QByteArray("hello") << QByteArray("autre@x.test")
            << QByteArray() << true << moi << 12;
        QTest::newRow("empty account address")
            << 0 << QByteArray("a@b.test") << QByteArray("hello") << QByteArray("moi@x.test")
            << QByteArray() << true << QByteArray() << 12;
        QTest::newRow("address in Cc")
            << 0 << QByteArray("a@b.test") << QByteArray("hello") << QByteArray("autre@x.test")
            << QByteArray("Moi <MOI@x.test>") << true << moi << 0;
        QTest::newRow("second named recipient")
            << 0 << QByteArray("a@b.test") << QByteArray("hello")
            << QByteArray("\"Autre\" <autre@x.test>, \"Moi\" <moi@x.test>") << QByteArray() << true
            << moi << 0;
        QTest::newRow("account address only as a display name")
            << 0 << QByteArray("a@b.test") << QByteArray("hello")
            << QByteArray("\"moi@x.test\" <liste@spam.test>") << QByteArray() << true << moi << 12;
        QTest::newRow("display name in Cc, address elsewhere")
            << 0 << QByteArray("a@b.test") << QByteArray("hello") << QByteArray("autre@x.test")
            << QByteArray("moi@x.test <liste@spam.test>") << true << moi << 12;
        QTest::newRow("comma inside a display name")
            << 0 << QByteArray("a@b.test") << QByteArray("hello")
            << QByteArray("\"Doe, moi@x.test\" <j@y.test>, Moi <moi@x.test>") << QByteArray()
            << true << moi << 0;
        QTest::newRow("bare addresses")
            << 0 << QByteArray("a@b.test") << QByteArray("hello")
            << QByteArray("autre@x.test,moi@x.test") << QByteArray() << true << moi << 0;
        QTest::newRow("check off") << 0 << QByteArray("a@b.test") << QByteArray("hello")
                                   << QByteArray() << QByteArray() << false << moi << 0;
    }
    void listes() {
        TChercheSPAMs c;
        c.setListeBlancheSujet("ordre du jour\r\n");
        c.setListeBlancheEmetteur("*@ok.test\r\n");
        c.setListeNoireSujet("*promo*\r\n");
        c.setListeNoireEmetteur("*@spam.test\r\n");
        c.setListeNoireIP("203.0.113.*\r\n");
        TEntreeListes e;
        QFETCH(int, verdictEntete);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, sujet);
        e.VerdictListe = uint8_t(verdictEntete);
        e.Emetteur = from;
        e.Sujet = sujet;
        QFETCH(QByteArray, to);
        QFETCH(QByteArray, cc);
        e.To = to;
        e.Cc = cc;
        QFETCH(bool, destinataire);
        QFETCH(QByteArray, email);
        e.Destinataire = destinataire;
        e.EMail = email;
        // The relay is on the white IP list in its own row only, and never on
        // the black one.
        const bool blanche = QByteArray(QTest::currentDataTag()).startsWith("white ip");
        if (blanche) c.setListeBlancheIP("198.51.100.*\r\n");
        e.Adresses.adresses[0] = ChaineVersIP("198.51.100.9");
        e.Adresses.nb = 1;
        QTEST(VerdictListes(c, e), "code");
    }

    void listeNoireIPDerniereAdresse() {
        // The relays are tried from the last one found (the oldest) up.
        TChercheSPAMs c;
        c.setListeNoireIP("192.0.2.1\r\n");
        c.setListeBlancheIP("198.51.100.1\r\n");
        TEntreeListes e;
        e.Adresses.adresses = {ChaineVersIP("198.51.100.1"), ChaineVersIP("192.0.2.1")};
        e.Adresses.nb = 2;
        QCOMPARE(VerdictListes(c, e), int(cvBlancIP)); // white before black whatever the order
        c.setListeBlancheIP("");
        QCOMPARE(VerdictListes(c, e), int(cvNoirIP));
        e.Adresses.nb = 1;
        QCOMPARE(VerdictListes(c, e), int(cvAucun));
    }

    void lignesEntete_data() {
        QTest::addColumn<QByteArrayList>("lignes");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QByteArray>("adresses");
        QTest::newRow("white after black")
            << QByteArrayList{"X-Mailer: bulk", "X-Ok: yes"} << 10 << QByteArray();
        QTest::newRow("black after white")
            << QByteArrayList{"X-Ok: yes", "X-Mailer: bulk"} << 10 << QByteArray();
        QTest::newRow("black only")
            << QByteArrayList{"Subject: a", "X-Mailer: bulk"} << 9 << QByteArray();
        QTest::newRow("received lines")
            << QByteArrayList{"Received: from a ([10.0.0.1]) (198.51.100.7)", "Received: from b",
                              "\tby c [192.0.2.9]; date", "X-Other: [203.0.113.1]",
                              "Received: from d [198.51.100.7]"}
            << 0 << QByteArray("198.51.100.7 192.0.2.9");
        QTest::newRow("header list on a received line")
            << QByteArrayList{"Received: from bulk [192.0.2.1]"} << 9 << QByteArray("192.0.2.1");
    }
    void lignesEntete() {
        TChercheSPAMs c;
        c.setIgnorerIP("10.*\r\n");
        c.setListeNoireEntete("*bulk*\r\n");
        c.setListeBlancheEntete("X-Ok: yes\r\n");
        QFETCH(QByteArrayList, lignes);
        QByteArray champ;
        TAdressesRelais relais;
        uint8_t verdict = 0;
        for (const QByteArray& l : lignes)
            ExaminerLigneEntete(c, l, champ, relais, verdict);
        QTEST(int(verdict), "verdict");
        QByteArrayList trouvees;
        for (int i = 0; i < relais.nb; ++i)
            trouvees << IPVersChaine(relais[i]);
        QTEST(trouvees.join(' '), "adresses");
    }

    // ---------------------------------------------------------------- sessions

    void listeNoireArchiveeSansApprendre() {
        TBanc b;
        b.cherche.setListeNoireEmetteur("*@spam.test\r\n");
        b.amont.messages = {message("From: Promo <vente@spam.test>\r\nSubject: Achetez\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint();
        QVERIFY(recu.contains("Subject: [[**SPAM**]] Achetez\r\n"));
        QVERIFY(entete(recu).endsWith("X-Kelvarin: liste noire (emetteur)\r\n"));
        QCOMPARE(b.archive.NbMessage(), 1);
        const TUnMessageMem& m = *b.archive.Message(0);
        QVERIFY(m.ListeNoire && m.Spam && !m.TestIP && !m.TestBayes);
        QByteArray texte;
        QVERIFY(b.archive.LireTexte(m, texte, false));
        QCOMPARE(texte, b.amont.messages[0]); // as received, before rewriting
        QCOMPARE(b.bayes->Base().NbSpamAppris + b.bayes->Base().NbBonAppris, 0);
        QCOMPARE(b.compte()->NbSpams, 1);
        // The header list check ran only at the end: no lookup for a decided message.
        QVERIFY(!b.trace(QStringLiteral("Vérification des ips dans le message (corps)")));
    }

    void topNiArchiveNiApprentissage() {
        TBanc b;
        b.cherche.setListeNoireSujet("*Achetez*\r\n");
        b.amont.messages = {message("From: a@b.test\r\nSubject: Achetez\r\n"),
                            message("From: a@b.test\r\nSubject: Bonjour\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("TOP 1 0").startsWith("+OK"));
        QByteArray recu = c->jusquAuPoint();
        QVERIFY(recu.contains("Subject: [[**SPAM**]] Achetez\r\n"));
        QVERIFY(recu.contains("X-Kelvarin: liste noire (sujet)\r\nX-Kelvarin : Pas de test "
                              "bayesiens sur les en-t\xeates\r\n"));
        // Not addressed to the account, but TOP says level 0.
        b.compte()->Destinataire = true;
        b.compte()->EMail = "ailleurs@x.test";
        QVERIFY(c->commande("TOP 2 0").startsWith("+OK"));
        recu = c->jusquAuPoint();
        QVERIFY(recu.contains("Subject: Bonjour\r\n"));
        QVERIFY(recu.contains("X-Kelvarin: Vrai mail non pr\xe9sent"));
        QCOMPARE(b.archive.NbMessage(), 0);
        QCOMPARE(b.bayes->Base().NbSpamAppris + b.bayes->Base().NbBonAppris, 0);
    }

    void sansServeurActifConclutAussitot() {
        // The IP filter on and no active DNSBL server: nothing will ever answer.
        TBanc b;
        b.amont.messages = {message("From: a@b.test\r\nSubject: Bonjour\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint(3000);
        QVERIFY(!recu.isNull());
        QVERIFY(recu.contains("X-Kelvarin: pas d'IP\r\nX-Kelvarin : spam bayesien=50.0%\r\n"));
        QVERIFY(b.trace(QStringLiteral(" + ignore ip : 203.0.113.5")));
        QVERIFY(b.trace(QStringLiteral("Connait toutes les ips")));
        QCOMPARE(b.bayes->Base().NbBonAppris, 1); // learned as good
        QCOMPARE(b.archive.NbMessage(), 1);
        QVERIFY(b.archive.Message(0)->TestIP && b.archive.Message(0)->TestBayes);
        QCOMPARE(b.archive.Message(0)->ProbaBayes, 500);
    }

    void adresseListeeParLeDNSBL() {
        TBanc b;
        b.cherche.AjouterServeur("bl", "bl.test", {}, true);
        b.dns.adresses.insert("5.113.0.203.bl.test", "127.0.0.2");
        b.amont.messages = {message("From: a@b.test\r\nSubject: Bonjour\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint();
        QVERIFY(recu.contains("Subject: [[**SPAM**]] Bonjour\r\n"));
        QVERIFY(entete(recu).endsWith(
            "X-Kelvarin: spam IP=203.0.113.5\r\nX-Kelvarin: r\xe9sultat=127.0.0.2\r\n"
            "X-Kelvarin: r\xe8gle=bl\r\nX-Kelvarin : spam bayesien=50.0%\r\n"));
        // Lookups start at the header end, once.
        QCOMPARE(b.dns.questions, QByteArrayList{"5.113.0.203.bl.test"});
        QVERIFY(b.trace(QStringLiteral("Vérification des ips dans le message (en-tête)")));
        QVERIFY(b.trace(QStringLiteral(" + demande ip : 203.0.113.5")));
        QVERIFY(b.trace(QStringLiteral(" + réponse ip : 203.0.113.5 (bl) = spam ; reste=0 ; "
                                       "partiel=non")));
        const TUnMessageMem& m = *b.archive.Message(0);
        QVERIFY(m.SpamIP && m.Spam && m.TestIP);
        QCOMPARE(m.ServeurDNSBL, b.cherche.TrouverServeurNom("bl")->Numero);
        QCOMPARE(m.ReponseDNSBL, QByteArray("127.0.0.2"));
        QCOMPARE(b.bayes->Base().NbSpamAppris, 1);

        // The next message from the same relay is judged from the cache.
        b.amont.messages << message("From: c@d.test\r\nSubject: Encore\r\n");
        QVERIFY(c->commande("RETR 2").startsWith("+OK"));
        QVERIFY(c->jusquAuPoint().contains("X-Kelvarin: spam IP=203.0.113.5\r\n"));
        QCOMPARE(b.dns.questions.size(), 1);
        QCOMPARE(b.cherche.ResultatIP(ChaineVersIP("203.0.113.5"), false)->NbUtilisation, 3);
    }

    void attenteJusquALaReponse() {
        // Two servers, one socket: the message waits for both answers.
        TBanc b;
        b.cherche.setNbMaxSocketDNS(1);
        b.cherche.AjouterServeur("a", "a.test", {}, true);
        b.cherche.AjouterServeur("b", "b.test", {}, true);
        b.amont.messages = {message("From: a@b.test\r\nSubject: Bonjour\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint();
        QVERIFY(recu.contains("X-Kelvarin: ok\r\n"));
        QCOMPARE(b.dns.questions.size(), 2);
        QVERIFY(b.trace(QStringLiteral("partiel=oui")));
    }

    void serveurSupprimePendantLAttente() {
        // Server a answers, b's lookup still waits for the only socket, then b
        // is deleted: its queued lookup goes, and no answer will come for it.
        TBanc b;
        b.cherche.setNbMaxSocketDNS(1);
        b.cherche.AjouterServeur("a", "a.test", {}, true);
        b.cherche.AjouterServeur("b", "b.test", {}, true);
        auto reponse = b.cherche.OnReponseDNS;
        bool supprime = false;
        b.cherche.OnReponseDNS = [&](TChercheSPAMs& c, TUneRechercheDNS& x, bool partiel) {
            reponse(c, x, partiel);
            if (partiel && !supprime) {
                supprime = true;
                c.SupprimerServeur("b");
            }
        };
        b.amont.messages = {message("From: a@b.test\r\nSubject: Bonjour\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint(3000);
        QVERIFY(supprime);
        QVERIFY(!recu.isNull());
        QVERIFY(recu.contains("X-Kelvarin: ok\r\n"));
        QCOMPARE(b.dns.questions, QByteArrayList{"5.113.0.203.a.test"});
    }

    void abandonApresTimeOut() {
        // A silent server: after every attempt timed out the address counts as
        // known and not listed.
        TBanc b;
        b.cherche.setTimeOutRecherche(50);
        b.cherche.setNbTentativeRecherche(1);
        b.cherche.AjouterServeur("muet", "muet.test", {}, true);
        b.dns.muets.insert("5.113.0.203.muet.test");
        int bips = 0;
        b.verdict->OnBip = [&] { ++bips; };
        b.amont.messages = {message("From: a@b.test\r\nSubject: Bonjour\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint();
        QVERIFY(recu.contains("X-Kelvarin: timeout\r\nX-Kelvarin : spam bayesien=50.0%\r\n"));
        QVERIFY(recu.contains("Subject: Bonjour\r\n"));
        QCOMPARE(bips, 2);
        QVERIFY(b.trace(QStringLiteral(" + TIME OUT recherche IP (203.0.113.5, muet, reste=0)")));
    }

    void commandePendantLAttenteDNS_data() {
        QTest::addColumn<QByteArray>("demande");
        QTest::addColumn<QByteArray>("commande");
        QTest::addColumn<QByteArray>("reponse");
        QTest::newRow("TOP then NOOP")
            << QByteArray("TOP 1 0") << QByteArray("NOOP") << QByteArray("+OK");
        QTest::newRow("RETR then RETR")
            << QByteArray("RETR 1") << QByteArray("RETR 2") << QByteArray("+OK");
        QTest::newRow("RETR then UIDL")
            << QByteArray("RETR 1") << QByteArray("UIDL") << QByteArray("+OK");
        QTest::newRow("RETR then QUIT")
            << QByteArray("RETR 1") << QByteArray("QUIT") << QByteArray("+OK bye");
    }
    void commandePendantLAttenteDNS() {
        // The message is complete and waits for the DNSBL answer when the
        // client's next command arrives: that command waits for the delivery,
        // and the message is judged as what was asked for.
        QFETCH(QByteArray, demande);
        QFETCH(QByteArray, commande);
        QFETCH(QByteArray, reponse);
        TBanc b;
        b.cherche.AjouterServeur("bl", "bl.test", {}, true);
        b.dns.adresses.insert("5.113.0.203.bl.test", "127.0.0.2");
        b.dns.retardMs = 800;
        b.amont.messages = {message("From: a@b.test\r\nSubject: Bonjour\r\n"),
                            message("From: c@d.test\r\nSubject: Second\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande(demande).startsWith("+OK"));
        TMonWSocket* s = b.proxy->SessionIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(s->AttenteDNS && !s->VerdictFait, 5000);
        c->envoyer(commande + "\r\n");
        QVERIFY(c->silence(200)); // nothing before the message
        const QByteArray recu = c->jusquAuPoint();
        QVERIFY(recu.contains("Subject: [[**SPAM**]] Bonjour\r\n"));
        QVERIFY(recu.contains("X-Kelvarin: spam IP=203.0.113.5\r\n"));
        const bool top = demande.startsWith("TOP");
        QCOMPARE(recu.contains("Hello there"), !top);
        QCOMPARE(recu.contains("Pas de test bayesiens sur les en-t\xeates"), top);
        QVERIFY(c->ligne().startsWith(reponse));
        if (commande == "RETR 2") {
            QVERIFY(c->jusquAuPoint().contains("Subject: [[**SPAM**]] Second\r\n"));
        } else if (commande == "UIDL") {
            QCOMPARE(c->jusquAuPoint(), QByteArray("1 uid-1\r\n2 uid-2\r\n"));
        }
        // A TOP is neither archived nor learned; each RETR once, as received.
        QCOMPARE(b.archive.NbMessage(), top ? 0 : commande == "RETR 2" ? 2 : 1);
        QCOMPARE(b.bayes->Base().NbSpamAppris, b.archive.NbMessage());
        if (!top) QCOMPARE(b.archive.Message(0)->Sujet, QByteArray("Bonjour"));
        if (commande == "RETR 2") QCOMPARE(b.archive.Message(1)->Sujet, QByteArray("Second"));
        QVERIFY(c->silence(200));
    }

    void archiveImpossibleLivreQuandMeme() {
        TBanc b;
        QFile obstacle(b.dir.path() + QStringLiteral("/fichier"));
        QVERIFY(obstacle.open(QIODevice::WriteOnly));
        obstacle.close();
        b.archive.setRepertoireDossiers(obstacle.fileName() + QStringLiteral("/Dossiers/"));
        b.cherche.setListeBlancheSujet("Bonjour\r\n");
        b.amont.messages = {message("From: a@b.test\r\nSubject: Bonjour\r\n")};
        auto c = b.connecte();
        QVERIFY(c);
        QVERIFY(c->commande("RETR 1").startsWith("+OK"));
        const QByteArray recu = c->jusquAuPoint();
        QVERIFY(recu.contains("X-Kelvarin: liste blanche (sujet)\r\n"));
        QVERIFY(b.trace(QStringLiteral("Exception : Impossible de mémoriser le mail")));
        QCOMPARE(b.compte()->NbMessages, 1);
    }
};

QTEST_GUILESS_MAIN(TestVerdict)
#include "tst_verdict.moc"
