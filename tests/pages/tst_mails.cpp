// The received-mail page's rules over the program's own engine, with archives
// filled by real fetches through the proxy: a private dovecot upstream and a
// private dnsmasq serving the DNSBL zone, both on loopback.

#include "accounts/mon_dossier_bis.h"
#include "core/config.h"
#include "core/trace.h"
#include "pages/page_mails.h"
#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "spamsearch/adresse_ip.h"
#include "tests/support/dnsmasq_peer.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/moteur/banc_moteur.h"
#include "tests/support/pop3_script_server.h"
#include "tests/support/releve_pop3.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using testsupport::TBancMoteur;
using testsupport::TClientLignes;

namespace {

// Alice's mailbox: the messages the tests point at by subject, then corpus
// mail so that common tokens qualify.
const QByteArray kFacture = "Received: from good (good [203.0.113.7])\n\tby relay; Mon, 1 Jan "
                            "2024 10:00:00 +0000\nFrom: Bob <bob@example.test>\nTo: "
                            "alice@example.test\nSubject: Facture #1234\n\nVotre facture "
                            "zorglubien du mois.\nMerci.\n";
const QByteArray kUrgent = "From: news@example.test\nSubject: *** URGENT ***\n\nLisez ceci "
                           "vite.\n";
const QByteArray kDnsbl = "Received: from bad (bad [192.0.2.99])\n\tby relay; Mon, 1 Jan 2024 "
                          "10:00:00 +0000\nFrom: promo@spam.example\nSubject: Offre "
                          "speciale\n\nAchetez maintenant, prix casse.\n";
const QByteArray kHtml = "From: html@example.test\nSubject: Seulement html\nMIME-Version: "
                         "1.0\nContent-Type: text/html\n\n<html><body><p>Bonjour en "
                         "html</p></body></html>\n";
const QByteArray kNoir = "From: vendeur@noir.example\nSubject: Liste noire\n\nRien.\n";
const QByteArray kBlanc = "From: ami@friends.example\nSubject: Liste blanche\n\nSalut.\n";
constexpr int kNbCorpus = 12;

QByteArray sujetLigne(TPageMails& p, int ligne) {
    const TUnMessageMem* m = p.Record(ligne);
    return m ? m->Sujet : QByteArray();
}

} // namespace

class TestMails : public QObject {
    Q_OBJECT

    testsupport::TDnsmasqPeer m_dns;
    testsupport::TDovecotPeer m_dovecot;
    std::unique_ptr<TBancMoteur> m_banc;
    std::unique_ptr<TPageMails> m_page;
    int m_nbBoite = 0;
    int m_listeChangee = 0;
    QStringList m_refus;

    TMoteur& moteur() { return m_banc->Moteur(); }
    QByteArray login() const { return "alice@127.0.0.1|" + QByteArray::number(m_dovecot.port()); }

    // A whole fetch by a client through the proxy, QUIT included.
    bool relever(int premier = 1) {
        auto c = m_banc->Client();
        if (!c || !c->commande("USER " + login()).startsWith("+OK")) return false;
        if (!c->commande("PASS secret").startsWith("+OK")) return false;
        const QByteArray stat = c->commande("STAT");
        const int n = stat.split(' ').value(1).toInt();
        for (int i = premier; i <= n; ++i) {
            if (!c->commande("RETR " + QByteArray::number(i)).startsWith("+OK")) return false;
            if (c->jusquAuPoint().isNull()) return false;
        }
        return c->commande("QUIT").startsWith("+OK");
    }
    int ligneSujet(const QByteArray& sujet) {
        for (int l = 1; l <= m_page->NbLignes(); ++l)
            if (sujetLigne(*m_page, l) == sujet) return l;
        return -1;
    }
    void afficherTout() {
        m_page->ChoisirCompte(0);
        m_page->setNbJour("3");
        m_page->setNbHeure("0");
        m_page->setAffichage(TPageMails::afTous);
        QCOMPARE(m_page->Rafraichir(), TPageMails::raFait);
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void filtres_data();
    void filtres();
    void agePassee();
    void cellules();
    void pourcentages_data();
    void pourcentages();
    void infoEtDetail();
    void motsTroisOrdres();
    void boutonsSelonListes();
    void correctionReapprend();
    void correctionDNSBL();
    void suppressionDesapprend();
    void reemissionAuProchainReleve();
    void motifsEchappes_data();
    void motifsEchappes();
    void listesDuPopup();
    void listeAppliqueeAuReleveSuivant();
    void rafraichiApresSauvegardeProxy();
    void deuxComptesEnMemeTemps();
    void refusPendantReconstruction();
    void changementDeMode();
    void changementDeCalcul();
};

void TestMails::initTestCase() {
    m_dns.ajouter("99.2.0.192.bl.test", "127.0.0.2");
    QString erreur;
    QVERIFY2(m_dns.demarrer(&erreur), qPrintable(erreur));
    m_dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
    m_dovecot.ajouterUtilisateur(QStringLiteral("bob"), QStringLiteral("secret"));
    m_dovecot.ajouterMessage(QStringLiteral("bob"), kFacture);
    m_dovecot.ajouterMessage(QStringLiteral("bob"), kUrgent);
    for (const QByteArray& m : {kFacture, kUrgent, kDnsbl, kHtml, kNoir, kBlanc}) {
        m_dovecot.ajouterMessage(QStringLiteral("alice"), m);
        ++m_nbBoite;
    }
    const QList<QByteArray> corpus = testsupport::messagesCorpus(kNbCorpus);
    QVERIFY2(corpus.size() == kNbCorpus, "the corpus is missing (scripts/fetch-corpus.sh)");
    for (const QByteArray& m : corpus) {
        m_dovecot.ajouterMessage(QStringLiteral("alice"), m);
        ++m_nbBoite;
    }
    QVERIFY2(m_dovecot.demarrer(&erreur), qPrintable(erreur));
}

void TestMails::cleanupTestCase() {
    m_page.reset();
    m_banc.reset();
    m_dovecot.arreter();
    m_dns.arreter();
}

// Each test starts from a new home whose archive holds one fetch of the box.
void TestMails::init() {
    m_page.reset();
    m_banc.reset();
    TPointsAcces points;
    points.PortDNS = m_dns.port();
    m_banc = std::make_unique<TBancMoteur>(
        TBancMoteur::TCles{{"AdresseDNS", m_dns.adresse().toString().toLatin1()},
                           {"AjoutInfoBayesien", "0"}},
        points);
    QFile::link(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"),
                m_banc->Home() + QStringLiteral("/Encodage"));
    // Sessions are closed by the test once their QUIT is answered.
    m_banc->Controleur().TimerQuit().setInterval(60 * 60 * 1000);
    QVERIFY(m_banc->Demarrer());
    m_banc->SansServeursDNSBL();
    TChercheSPAMs& c = moteur().ChercheSPAMs1;
    QVERIFY(c.AjouterServeur("TestBL", "bl.test", {}, true));
    c.setListeNoireEmetteur("*@noir.example");
    c.setListeBlancheEmetteur("ami@friends.example");

    m_page = std::make_unique<TPageMails>(moteur());
    m_listeChangee = 0;
    m_refus.clear();
    m_page->OnListeChangee = [this] { ++m_listeChangee; };
    m_page->OnRefus = [this](const QString& t) { m_refus << t; };
    QVERIFY(relever());
    QVERIFY(QTest::qWaitFor(
        [this] {
            return moteur().MonDossierBisSynchro.Compte() < 0 && moteur().NbSessionsOuvertes() == 0;
        },
        5000));
    PUnCompteBis compte = moteur().GestionComptesBis1.Compte(0);
    QVERIFY(compte);
    compte->EMail = "alice@example.test";
}

void TestMails::filtres_data() {
    QTest::addColumn<int>("affichage");
    QTest::addColumn<QByteArrayList>("presents");
    QTest::addColumn<QByteArrayList>("absents");
    const QByteArray offre = "Offre speciale", noire = "Liste noire", blanche = "Liste blanche",
                     facture = "Facture #1234";
    QTest::newRow("tous") << int(TPageMails::afTous) << QByteArrayList{offre, noire, blanche}
                          << QByteArrayList{};
    QTest::newRow("spams") << int(TPageMails::afSpams) << QByteArrayList{offre, noire}
                           << QByteArrayList{blanche, facture};
    QTest::newRow("non-spams") << int(TPageMails::afNonSpams) << QByteArrayList{blanche, facture}
                               << QByteArrayList{offre, noire};
    QTest::newRow("incompatibles")
        << int(TPageMails::afIncompatibles) << QByteArrayList{} << QByteArrayList{noire, blanche};
    QTest::newRow("noires") << int(TPageMails::afListesNoires) << QByteArrayList{noire}
                            << QByteArrayList{offre, blanche, facture};
    QTest::newRow("blanches") << int(TPageMails::afListesBlanches) << QByteArrayList{blanche}
                              << QByteArrayList{offre, noire, facture};
}

void TestMails::filtres() {
    QFETCH(int, affichage);
    QFETCH(QByteArrayList, presents);
    QFETCH(QByteArrayList, absents);
    afficherTout();
    QCOMPARE(m_page->NbLignes(), m_nbBoite);
    // Newest first.
    QVERIFY(m_page->NumeroLigne(1) > m_page->NumeroLigne(m_nbBoite));
    m_page->setAffichage(affichage);
    QCOMPARE(m_page->Rafraichir(), TPageMails::raFait);
    for (const QByteArray& s : presents)
        QVERIFY2(ligneSujet(s) > 0, s.constData());
    for (const QByteArray& s : absents)
        QVERIFY2(ligneSujet(s) < 0, s.constData());
    QCOMPARE(m_page->TexteNbMessages(),
             QStringLiteral("%1 message(s), affiché=%2").arg(m_nbBoite).arg(m_page->NbLignes()));
    // The filters that score unknown probabilities store what they found.
    for (int l = 1; l <= m_page->NbLignes(); ++l)
        if (affichage != TPageMails::afTous) QVERIFY(m_page->Record(l)->ProbaBayes >= 0);
}

void TestMails::agePassee() {
    afficherTout();
    QVERIFY(m_page->NbLignes() > 0);
    // 0 days and 0 hours: only what arrives from now on.
    m_page->setNbJour("0");
    m_page->setNbHeure("x");
    m_page->Rafraichir();
    QCOMPARE(m_page->NbLignes(), 0);
    QCOMPARE(m_page->NbMessages(), m_nbBoite);
    // No account chosen: nothing.
    m_page->ChoisirCompte(-1);
    m_page->setNbJour("3");
    m_page->Rafraichir();
    QCOMPARE(m_page->NbLignes(), 0);
    QCOMPARE(m_page->NumeroCompteAffiche(), -1);
}

void TestMails::cellules() {
    afficherTout();
    QCOMPARE(m_page->Cellule(0, 0).Texte, QStringLiteral("spam"));
    QCOMPARE(m_page->Cellule(0, 9).Texte, QStringLiteral("to:"));
    QCOMPARE(m_page->Cellule(0, 4).Fond.Role, TCouleurPage::crBouton);
    // Odd rows darker.
    QCOMPARE(m_page->Cellule(1, 3).Fond.Role, TCouleurPage::crFenetreSombre);
    QCOMPARE(m_page->Cellule(2, 3).Fond.Role, TCouleurPage::crFenetre);
    QCOMPARE(TCouleurPage::Assombrir(0xffffff), quint32(0xf2f2f2));

    const TCouleurPage rouge = TCouleurPage::rgb(255, 0, 0);
    const int blanche = ligneSujet("Liste blanche"), noire = ligneSujet("Liste noire"),
              offre = ligneSujet("Offre speciale"), facture = ligneSujet("Facture #1234");
    QVERIFY(blanche > 0 && noire > 0 && offre > 0 && facture > 0);
    QCOMPARE(m_page->Cellule(blanche, 0).Texte, QStringLiteral("blanc"));
    // Decided by a list before any test.
    QVERIFY(!m_page->Record(blanche)->TestIP && !m_page->Record(blanche)->TestBayes);
    QCOMPARE(m_page->Cellule(blanche, 1).Texte, QStringLiteral("/"));
    QCOMPARE(m_page->Cellule(blanche, 2).Texte, QStringLiteral("/"));
    QCOMPARE(m_page->Cellule(noire, 0).Texte, QStringLiteral("noir"));
    QCOMPARE(m_page->Cellule(noire, 0).Fond, rouge);
    QCOMPARE(m_page->Cellule(offre, 0).Texte, QStringLiteral("spam"));
    QCOMPARE(m_page->Cellule(offre, 0).Fond, rouge);
    QCOMPARE(m_page->Cellule(offre, 1).Texte, QStringLiteral("oui"));
    QCOMPARE(m_page->Cellule(facture, 1).Texte, QStringLiteral("non"));
    QCOMPARE(m_page->Cellule(facture, 0).Texte, QString());
    QCOMPARE(m_page->Cellule(facture, 3).Texte, QStringLiteral(" Facture #1234"));
    QCOMPARE(m_page->Cellule(facture, 4).Texte, QStringLiteral(" Bob <bob@example.test>"));
    QCOMPARE(m_page->Cellule(facture, 5).Texte, QStringLiteral("1ko"));
    QCOMPARE(m_page->Cellule(facture, 5).Alignement, TCellulePage::alDroite);
    // The account's address is in To of the invoice only.
    QCOMPARE(m_page->Cellule(facture, 9).Texte, QStringLiteral("X"));
    QCOMPARE(m_page->Cellule(offre, 9).Texte, QString());
    const QDateTime recu = datetime::versQDateTime(m_page->Record(facture)->Reception);
    QCOMPARE(m_page->Cellule(facture, 6).Texte, recu.toString(QStringLiteral("dd/MM hh:mm")));
    // A DNSBL spam with no Bayesian agreement: spam? is yellow from
    // PourcentageSpam2 up, green from 50 up; the row red when below 50.
    const TUnMessageMem* m = m_page->Record(offre);
    QVERIFY(m->TestIP && m->SpamIP && m->TestBayes && m->Spam);
    const double pct = m_page->Cellule(offre, 7).Texte.trimmed().chopped(1).toDouble();
    const TCellulePage c7 = m_page->Cellule(offre, 7);
    if (pct >= 50)
        QCOMPARE(c7.Fond, TCouleurPage::rgb(0, 128, 0));
    else if (pct >= Config().PourcentageSpam2)
        QCOMPARE(c7.Fond, TCouleurPage::rgb(255, 255, 0));
    if (pct < 50) QCOMPARE(m_page->Cellule(offre, 3).Fond, rouge);
    // Listed after its tests ran: the test columns stay empty.
    TUnMessageMem* n = m_page->Record(noire);
    n->TestIP = n->TestBayes = true;
    QCOMPARE(m_page->Cellule(noire, 1).Texte, QString());
    QCOMPARE(m_page->Cellule(noire, 2).Texte, QString());
    QCOMPARE(m_page->Cellule(m_page->NbLignes() + 1, 3).Texte, QStringLiteral("nil"));
}

void TestMails::pourcentages_data() {
    QTest::addColumn<double>("valeur");
    QTest::addColumn<QString>("texte");
    QTest::newRow("5") << 5.0 << QStringLiteral(" 5.0%");
    QTest::newRow("0") << 0.0 << QStringLiteral(" 0.0%");
    QTest::newRow("99.94") << 99.94 << QStringLiteral("99.9%");
    QTest::newRow("100") << 100.0 << QStringLiteral("100.0%");
    QTest::newRow("50.05") << 50.04 << QStringLiteral("50.0%");
}

void TestMails::pourcentages() {
    QFETCH(double, valeur);
    QFETCH(QString, texte);
    QCOMPARE(TextePourcentage(valeur), texte);
}

void TestMails::infoEtDetail() {
    afficherTout();
    const int offre = ligneSujet("Offre speciale");
    const QStringList info = m_page->Info(offre);
    QCOMPARE(info.value(0), QStringLiteral("Sujet : Offre speciale"));
    QCOMPARE(info.value(1), QStringLiteral("Emetteur : promo@spam.example"));
    QVERIFY(info.contains(QStringLiteral("Test sur l'ip :")));
    QVERIFY(info.contains(QStringLiteral("  * serveur TestBL")));
    QVERIFY(info.contains(QStringLiteral("  * réponse = 127.0.0.2")));
    QCOMPARE(info.last(), QStringLiteral("=> LE MESSAGE EST UN SPAM"));
    // A probability of 50.0 % is not spam, and has no proba line.
    TUnMessageMem* facture = m_page->Record(ligneSujet("Facture #1234"));
    facture->ProbaBayes = 500;
    const QStringList infoFacture = m_page->Info(ligneSujet("Facture #1234"));
    const qsizetype bayes = infoFacture.indexOf(QStringLiteral("Test bayesien :"));
    QVERIFY(bayes > 0);
    QCOMPARE(infoFacture.value(bayes + 1), QStringLiteral("  * le message n'est pas un spam"));
    QVERIFY(!infoFacture.join(QLatin1Char('\n')).contains(QStringLiteral("proba")));
    QVERIFY(m_page->Info(ligneSujet("Liste blanche")).contains(QStringLiteral("Liste blanche")));

    const TDetailPage d = m_page->Detail(ligneSujet("Facture #1234"));
    QVERIFY(d.Record);
    QVERIFY(d.Entetes.contains(QStringLiteral("Subject: Facture #1234\r\n")));
    QVERIFY(d.TexteActif);
    QVERIFY(!d.HtmlActif);
    QVERIFY(d.Texte.contains(QStringLiteral("zorglubien")));
    const TDetailPage h = m_page->Detail(ligneSujet("Seulement html"));
    QVERIFY(!h.TexteActif);
    QVERIFY(h.HtmlActif);
    QVERIFY(h.Html.contains(QStringLiteral("<p>Bonjour en html</p>")));
    // A row without record.
    QVERIFY(!m_page->Detail(m_page->NbLignes() + 1).Record);
}

void TestMails::motsTroisOrdres() {
    afficherTout();
    const int l = ligneSujet("Facture #1234");
    const QList<TMotPage> ordre = m_page->Mots(l, 0);
    const QList<TMotPage> spam = m_page->Mots(l, 1);
    const QList<TMotPage> bon = m_page->Mots(l, 2);
    QVERIFY(ordre.size() > 5);
    QCOMPARE(spam.size(), ordre.size());
    QCOMPARE(bon.size(), ordre.size());
    bool qualifie = false, nonQualifie = false;
    for (int i = 0; i < ordre.size(); ++i) {
        const TMotPage& m = ordre[i];
        if (i > 0) QVERIFY(ordre[i - 1].Mot < m.Mot);
        const QString attendu =
            QString::fromLatin1(m.Mot) + QStringLiteral("|%1|%2|").arg(m.Spam).arg(m.Bon);
        QVERIFY(m.Texte.startsWith(attendu));
        QCOMPARE(m.Texte.size() > attendu.size(), m.Spam + m.Bon >= 5);
        (m.Qualifie ? qualifie : nonQualifie) = true;
    }
    QVERIFY(qualifie && nonQualifie);
    // Qualifying tokens first, by probability, down for "Proba spam", up for "Proba bon".
    for (const auto& [liste, descendant] : {std::pair{&spam, true}, std::pair{&bon, false}}) {
        for (int i = 1; i < liste->size(); ++i) {
            const TMotPage &a = (*liste)[i - 1], &b = (*liste)[i];
            QVERIFY(a.Qualifie || !b.Qualifie);
            if (a.Qualifie && b.Qualifie)
                QVERIFY(descendant ? a.Proba >= b.Proba : a.Proba <= b.Proba);
        }
    }
}

void TestMails::boutonsSelonListes() {
    afficherTout();
    const TDetailPage blanche = m_page->Detail(ligneSujet("Liste blanche"));
    QVERIFY(!blanche.SpamActif && !blanche.PasSpamActif);
    const TDetailPage noire = m_page->Detail(ligneSujet("Liste noire"));
    QVERIFY(!noire.SpamActif && !noire.PasSpamActif);
    const TDetailPage offre = m_page->Detail(ligneSujet("Offre speciale"));
    QVERIFY(!offre.SpamActif && offre.PasSpamActif);
    const TDetailPage facture = m_page->Detail(ligneSujet("Facture #1234"));
    QVERIFY(facture.SpamActif && !facture.PasSpamActif);
    // A listed message is never corrected.
    QCOMPARE(m_page->Corriger(ligneSujet("Liste noire"), false), TPageMails::raRien);
    QCOMPARE(m_page->Corriger(ligneSujet("Liste blanche"), true), TPageMails::raRien);
}

// A correction moves the message from one side of "bayes.qdl" to the other.
void TestMails::correctionReapprend() {
    afficherTout();
    TFiltreBayes& f = *moteur().FiltreBayes();
    const QString donnees = moteur().GestionComptesBis1.RepertoireDonnees();
    QVERIFY(f.SauverBase());
    const auto lu = [&] {
        return std::make_unique<TMonBayesDB>(QDir(donnees).filePath(QStringLiteral("bayes.qdl")),
                                             donnees);
    };
    const int mode = f.ModeBayes;
    auto avant = lu();
    QCOMPARE(avant->CompteBon("zorglubien", mode), 1);
    QCOMPARE(avant->CompteSpam("zorglubien", mode), 0);

    const int l = ligneSujet("Facture #1234");
    const qint32 numero = m_page->NumeroLigne(l);
    QCOMPARE(m_page->Corriger(l, true), TPageMails::raFait);
    QCOMPARE(m_page->Corriger(l, true), TPageMails::raRien); // same verdict
    QVERIFY(f.SauverBase());
    auto apres = lu();
    QCOMPARE(apres->NbSpamAppris, avant->NbSpamAppris + 1);
    QCOMPARE(apres->NbBonAppris, avant->NbBonAppris - 1);
    QCOMPARE(apres->CompteBon("zorglubien", mode), 0);
    QCOMPARE(apres->CompteSpam("zorglubien", mode), 1);
    // The archive on disk holds the new verdict.
    TMonDossierBis disque;
    disque.setRepertoireDossiers(moteur().GestionComptesBis1.RepertoireDossiers());
    QVERIFY(disque.Ouvrir(moteur().GestionComptesBis1.Compte(0)));
    QVERIFY(disque.ChercherNumero(numero)->Spam);
    QCOMPARE(m_page->Cellule(l, 0).Texte, QStringLiteral("spam"));

    // A message the filter did not score changes the archive, not the base.
    TUnMessageMem* m = m_page->Record(l);
    m->TestBayes = false;
    QCOMPARE(m_page->Corriger(l, false), TPageMails::raFait);
    QVERIFY(f.SauverBase());
    auto sansBayes = lu();
    QCOMPARE(sansBayes->NbSpamAppris, apres->NbSpamAppris);
    QCOMPARE(sansBayes->CompteSpam("zorglubien", mode), 1);
    QVERIFY(!m_page->Record(l)->Spam);
}

void TestMails::correctionDNSBL() {
    afficherTout();
    const PUnDNS s = moteur().ChercheSPAMs1.TrouverServeurNom("TestBL");
    QVERIFY(s);
    QCOMPARE(s->NbCorrection, 0);
    const int l = ligneSujet("Offre speciale");
    QCOMPARE(m_page->Corriger(l, false), TPageMails::raFait);
    QCOMPARE(s->NbCorrection, 1);
    QCOMPARE(m_page->Corriger(l, true), TPageMails::raFait);
    QCOMPARE(s->NbCorrection, 0);
    // While the proxy has the account open, nothing changes.
    QVERIFY(moteur().MonDossierBisSynchro.Ouvrir(moteur().GestionComptesBis1.Compte(0)));
    QCOMPARE(m_page->Corriger(l, false), TPageMails::raEnCours);
    QCOMPARE(m_page->Supprimer(l), TPageMails::raEnCours);
    QCOMPARE(m_refus.value(0),
             QStringLiteral("Impossible de modifier le compte en cours de récupération"));
    QCOMPARE(s->NbCorrection, 0);
    QVERIFY(m_page->Record(l)->Spam);
}

void TestMails::suppressionDesapprend() {
    afficherTout();
    TFiltreBayes& f = *moteur().FiltreBayes();
    const int mode = f.ModeBayes;
    TMonBayesDB& base = f.Base();
    const qint32 bons = base.NbBonAppris;
    QCOMPARE(base.CompteBon("zorglubien", mode), 1);
    int questions = 0;
    m_page->OnQuestion = [&](const QString& q) {
        ++questions;
        return q == QStringLiteral("Supprimer le message sélectionné ?") && questions > 1;
    };
    const int l = ligneSujet("Facture #1234");
    const qint32 numero = m_page->NumeroLigne(l);
    QCOMPARE(m_page->Supprimer(l), TPageMails::raAnnule);
    QCOMPARE(m_page->NbLignes(), m_nbBoite);
    QCOMPARE(m_page->Supprimer(l), TPageMails::raFait);
    QCOMPARE(m_page->NbLignes(), m_nbBoite - 1);
    QCOMPARE(ligneSujet("Facture #1234"), -1);
    QCOMPARE(base.NbBonAppris, bons - 1);
    QCOMPARE(base.CompteBon("zorglubien", mode), 0);
    // A listed message is deleted without unlearning.
    const qint32 spams = base.NbSpamAppris;
    QCOMPARE(m_page->Supprimer(ligneSujet("Liste noire")), TPageMails::raFait);
    QCOMPARE(base.NbSpamAppris, spams);
    QCOMPARE(base.NbBonAppris, bons - 1);
    // Gone from the index on disk; its number is not handed out again.
    TMonDossierBis disque;
    disque.setRepertoireDossiers(moteur().GestionComptesBis1.RepertoireDossiers());
    QVERIFY(disque.Ouvrir(moteur().GestionComptesBis1.Compte(0)));
    QVERIFY(!disque.ChercherNumero(numero));
    QCOMPARE(disque.NbTotal(), m_nbBoite - 2);
    m_page->Rafraichir();
    QCOMPARE(m_page->NbLignes(), m_nbBoite - 2);
}

// "=>pas spam" with ReemettreSpam: the message is delivered again, once, at
// the next login of a real client.
void TestMails::reemissionAuProchainReleve() {
    afficherTout();
    Config().ReemettreSpam = true;
    const int l = ligneSujet("Offre speciale");
    QCOMPARE(m_page->Corriger(l, false), TPageMails::raFait);
    QCOMPARE(m_page->Corriger(l, true), TPageMails::raFait);
    QCOMPARE(m_page->Corriger(l, false), TPageMails::raFait);
    const qint32 compte = moteur().GestionComptesBis1.Compte(0)->Numero;
    QCOMPARE(moteur().MessagesFictifs.DuCompte(compte).size(), 1);
    QCOMPARE(m_page->Reemettre(l), TPageMails::raRien); // queued already
    QCOMPARE(m_page->Reemettre(ligneSujet("Liste blanche")), TPageMails::raFait);

    // The client runs beside this event loop, which serves it.
    QTemporaryDir sortie;
    auto client =
        testsupport::lancerReleve(m_banc->Port(), QString::fromLatin1(login()), sortie.path());
    QVERIFY(QTest::qWaitFor([&] { return client->state() == QProcess::NotRunning; }, 60000));
    const testsupport::TReleve r = testsupport::terminerReleve(*client, sortie.path());
    QVERIFY2(r.code == 0, r.texte().constData());
    QCOMPARE(r.messages.size(), m_nbBoite + 2);
    QVERIFY(r.messages[m_nbBoite].contains("Subject: Offre speciale\r\n"));
    QVERIFY(r.messages[m_nbBoite + 1].contains("Subject: Liste blanche\r\n"));
    // Delivered as archived, without a verdict.
    QVERIFY(!r.messages[m_nbBoite].contains("X-Kelvarin"));
}

void TestMails::motifsEchappes_data() {
    QTest::addColumn<QByteArray>("valeur");
    QTest::addColumn<QByteArray>("motif");
    QTest::addColumn<QByteArray>("voisin"); // must not match
    QTest::newRow("diese") << QByteArray("Facture #1234") << QByteArray("Facture \\#1234")
                           << QByteArray("Facture 91234");
    QTest::newRow("etoiles") << QByteArray("*** URGENT ***")
                             << QByteArray("\\*\\*\\* URGENT \\*\\*\\*")
                             << QByteArray("Offre URGENT valable");
    QTest::newRow("question") << QByteArray("Vraiment?") << QByteArray("Vraiment\\?")
                              << QByteArray("Vraiments");
    QTest::newRow("micro") << QByteArray("5 \xb5g") << QByteArray("5 \\\xb5g")
                           << QByteArray("5 mg");
    QTest::newRow("barre") << QByteArray("a\\*b") << QByteArray("a\\\\\\*b") << QByteArray("a\\xb");
    QTest::newRow("simple") << QByteArray("bob@example.test") << QByteArray("bob@example.test")
                            << QByteArray("bob@example.tesT");
}

void TestMails::motifsEchappes() {
    QFETCH(QByteArray, valeur);
    QFETCH(QByteArray, motif);
    QFETCH(QByteArray, voisin);
    QCOMPARE(TPageMails::EchapperMotif(valeur), motif);
    QVERIFY(CorrespondFiltre(valeur, motif, false));
    QVERIFY(!CorrespondFiltre(voisin, motif, false));
}

// The popup's list items add patterns that match exactly the value they came
// from, and remove them again.
void TestMails::listesDuPopup() {
    afficherTout();
    int appliques = 0;
    m_page->OnAppliquer = [&] { ++appliques; };
    TChercheSPAMs& c = moteur().ChercheSPAMs1;
    const int facture = ligneSujet("Facture #1234");
    const auto item = [&](int ligne, const char* nom) {
        for (const TItemPopup& i : m_page->ItemsPopup(ligne))
            if (qstrcmp(i.Nom, nom) == 0) return i;
        return TItemPopup{nom, 0, {}, false};
    };
    QVERIFY(item(facture, "MnuAjoutSujet1").Visible);
    QVERIFY(!item(facture, "MnuSupprSujet1").Visible);
    QCOMPARE(item(facture, "MnuAjoutSujet1").Valeur, QByteArray("Facture #1234"));
    QCOMPARE(item(facture, "MnuAjoutMail1").Valeur, QByteArray("bob@example.test"));
    // The black-listed sender offers removal from the black list only.
    const int noire = ligneSujet("Liste noire");
    QVERIFY(item(noire, "MnuSupprMail2").Visible);
    QVERIFY(!item(noire, "MnuAjoutMail2").Visible);
    // Only a wildcard line matches: nothing to remove.
    QCOMPARE(m_page->ActionListe(noire, -2), TPageMails::raRien);
    QCOMPARE(c.ListeNoireEmetteur(), QByteArray("*@noir.example\r\n"));

    QCOMPARE(m_page->ActionListe(facture, 3), TPageMails::raFait);
    QCOMPARE(appliques, 1);
    QCOMPARE(c.ListeBlancheSujet(), QByteArray("Facture \\#1234\r\n"));
    QVERIFY(c.TesterListe(8, "Facture #1234"));
    QVERIFY(!c.TesterListe(8, "Facture #9999"));
    QVERIFY(!item(facture, "MnuAjoutSujet1").Visible);
    QVERIFY(item(facture, "MnuSupprSujet1").Visible);
    QCOMPARE(m_page->ActionListe(facture, 3), TPageMails::raRien); // matched already

    const int urgent = ligneSujet("*** URGENT ***");
    QCOMPARE(m_page->ActionListe(urgent, 4), TPageMails::raFait);
    QVERIFY(c.TesterListe(5, "*** URGENT ***"));
    QVERIFY(!c.TesterListe(5, "Offre URGENT du jour"));

    QCOMPARE(m_page->ActionListe(facture, -3), TPageMails::raFait);
    QCOMPARE(c.ListeBlancheSujet(), QByteArray());
    // A line added raw by an older version counts as equal, case ignored.
    c.setListeNoireSujet("autre\r\n*** urgent ***\r\n");
    QCOMPARE(m_page->ActionListe(urgent, -4), TPageMails::raFait);
    QCOMPARE(c.ListeNoireSujet(), QByteArray("autre\r\n"));
    QCOMPARE(appliques, 4);

    // Without a window the controller's Apply runs: the settings are written.
    m_page->OnAppliquer = nullptr;
    QFile::remove(m_banc->Reps().Ini());
    QCOMPARE(m_page->ActionListe(facture, 1), TPageMails::raFait);
    QVERIFY(c.TesterListe(7, "bob@example.test"));
    QVERIFY(QFile::exists(m_banc->Reps().Ini()));
}

// A subject added from the popup decides the same message at the next fetch,
// and only that one.
void TestMails::listeAppliqueeAuReleveSuivant() {
    afficherTout();
    QCOMPARE(m_page->ActionListe(ligneSujet("Facture #1234"), 3), TPageMails::raFait);
    QCOMPARE(m_page->ActionListe(ligneSujet("*** URGENT ***"), 4), TPageMails::raFait);
    QVERIFY(relever());
    QVERIFY(QTest::qWaitFor([&] { return m_page->NbLignes() == 2 * m_nbBoite; }, 5000));
    int blancs = 0, noirs = 0;
    for (int l = 1; l <= m_nbBoite; ++l) {
        const TUnMessageMem* m = m_page->Record(l);
        QVERIFY(m);
        blancs += m->ListeBlanche;
        noirs += m->ListeNoire;
        if (m->Sujet == "Facture #1234") QVERIFY(m->ListeBlanche);
        if (m->Sujet == "*** URGENT ***") QVERIFY(m->ListeNoire && m->Spam);
    }
    // Besides them, the sender lists' own message each.
    QCOMPARE(blancs, 2);
    QCOMPARE(noirs, 2);
}

// The page never reads an account before the proxy has saved it, and a
// session's end shows what it brought.
void TestMails::rafraichiApresSauvegardeProxy() {
    afficherTout();
    const QByteArray nouveau = "From: tard@example.test\nSubject: Arrive tard\n\nNouveau.\n";
    m_dovecot.ajouterMessage(QStringLiteral("alice"), nouveau);
    // The box keeps it for the tests that follow.
    const int n = m_nbBoite++;
    auto c = m_banc->Client();
    QVERIFY(c);
    QVERIFY(c->commande("USER " + login()).startsWith("+OK"));
    QVERIFY(c->commande("PASS secret").startsWith("+OK"));
    QVERIFY(c->commande("STAT").startsWith("+OK " + QByteArray::number(n + 1) + ' '));
    QVERIFY(c->commande("RETR " + QByteArray::number(n + 1)).startsWith("+OK"));
    QVERIFY(!c->jusquAuPoint().isNull());
    // "Cherche" while the client is still connected: the judged message is listed.
    QCOMPARE(m_page->Rafraichir(), TPageMails::raFait);
    QCOMPARE(m_page->NbLignes(), n + 1);
    QCOMPARE(sujetLigne(*m_page, 1), QByteArray("Arrive tard"));
    QCOMPARE(m_page->Corriger(1, true), TPageMails::raEnCours);
    // A second message in the same session, then QUIT: the page refreshes
    // itself once the proxy has saved.
    QVERIFY(c->commande("RETR 1").startsWith("+OK"));
    QVERIFY(!c->jusquAuPoint().isNull());
    const int avant = m_listeChangee;
    QVERIFY(c->commande("QUIT").startsWith("+OK"));
    QVERIFY(QTest::qWaitFor([&] { return m_listeChangee > avant; }, 5000));
    QCOMPARE(m_page->NbLignes(), n + 2);
    QCOMPARE(sujetLigne(*m_page, 1), QByteArray("Facture #1234"));
    c.reset();
    QVERIFY(QTest::qWaitFor([&] { return moteur().MonDossierBisSynchro.Compte() < 0; }, 5000));

    // A correction now saves the whole list, and the next fetch numbers on.
    QCOMPARE(m_page->Corriger(1, true), TPageMails::raFait);
    TMonDossierBis disque;
    disque.setRepertoireDossiers(moteur().GestionComptesBis1.RepertoireDossiers());
    QVERIFY(disque.Ouvrir(moteur().GestionComptesBis1.Compte(0)));
    QCOMPARE(disque.NbTotal(), n + 2);
    const qint32 dernier = disque.DernierNumMessage();
    QVERIFY(relever(n + 1));
    QVERIFY(QTest::qWaitFor([&] { return m_page->NbLignes() == n + 3; }, 5000));
    QCOMPARE(m_page->NumeroLigne(1), dernier + 1);
    QVERIFY(m_page->Record(2)->Spam);
}

// Two accounts fetched at once: the proxy takes turns between their archives
// without saving at every turn; the account whose client leaves is saved and
// let go, and can be corrected while the other is still fetched.
void TestMails::deuxComptesEnMemeTemps() {
    afficherTout();
    const int n = m_nbBoite;
    const PUnCompteBis alice = moteur().GestionComptesBis1.Compte(0);
    QVERIFY(alice);
    const auto session = [this](const QByteArray& login) {
        auto c = m_banc->Client();
        if (c && (!c->commande("USER " + login).startsWith("+OK") ||
                  !c->commande("PASS secret").startsWith("+OK")))
            c.reset();
        return c;
    };
    const auto retr = [](auto& c, int i) {
        return c->commande("RETR " + QByteArray::number(i)).startsWith("+OK") &&
               !c->jusquAuPoint().isNull();
    };
    // A save replaces the index file: its inode says whether one happened.
    const QString index = moteur().GestionComptesBis1.RepertoireDossiers() +
                          QString::number(alice->Numero) + QStringLiteral("-var.qdl");
    const auto inode = [&index] {
        struct stat st {};
        return ::stat(QFile::encodeName(index).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
    };
    const quint64 avantReleve = inode();
    QVERIFY(avantReleve != 0);

    auto a = session(login());
    auto b = session("bob@127.0.0.1|" + QByteArray::number(m_dovecot.port()));
    QVERIFY(a && b);
    for (int tour = 1; tour <= 2; ++tour) {
        QVERIFY(retr(b, tour));
        QVERIFY(retr(a, tour));
    }
    QVERIFY(retr(b, 1));
    QCOMPARE(inode(), avantReleve);
    QCOMPARE(m_page->Corriger(1, true), TPageMails::raEnCours);

    const int avant = m_listeChangee;
    QVERIFY(a->commande("QUIT").startsWith("+OK"));
    QVERIFY(QTest::qWaitFor([&] { return m_listeChangee > avant; }, 5000));
    QVERIFY(inode() != avantReleve);
    QVERIFY(!moteur().MonDossierBisSynchro.Contient(alice->Numero));
    QCOMPARE(m_page->NbLignes(), n + 2);
    QVERIFY(m_page->Record(1));
    QCOMPARE(m_page->Corriger(1, !m_page->Record(1)->Spam), TPageMails::raFait);

    // Bob's client goes on, and everything it was given is archived.
    QVERIFY(retr(b, 2));
    QVERIFY(b->commande("QUIT").startsWith("+OK"));
    a.reset();
    b.reset();
    QVERIFY(QTest::qWaitFor([&] { return !moteur().MonDossierBisSynchro.Occupe(); }, 5000));
    TMonDossierBis disque;
    disque.setRepertoireDossiers(moteur().GestionComptesBis1.RepertoireDossiers());
    QVERIFY(disque.Ouvrir(alice));
    QCOMPARE(disque.NbTotal(), n + 2);
    bool bobVu = false;
    for (int i = 0; i < moteur().GestionComptesBis1.Count(); ++i) {
        const PUnCompteBis c = moteur().GestionComptesBis1.Compte(i);
        if (!c || c == alice) continue;
        QVERIFY(disque.Ouvrir(c));
        QCOMPARE(disque.NbTotal(), 4);
        bobVu = true;
    }
    QVERIFY(bobVu);
}

// While the full rebuild runs, its progress lets events through: the page
// refuses everything that would change or free what the rebuild walks.
void TestMails::refusPendantReconstruction() {
    afficherTout();
    const int l = ligneSujet("Facture #1234");
    QList<TPageMails::TResultat> pendant;
    bool essaye = false;
    moteur().OnAvancement = [&](const QString&, const QString&) {
        if (essaye) return;
        essaye = true;
        QVERIFY(m_page->Occupe());
        pendant << m_page->Corriger(l, true) << m_page->Supprimer(l) << m_page->Rafraichir()
                << m_page->ChangerMode(9) << m_page->ActionListe(l, 3) << m_page->Reemettre(l)
                << m_page->RazBayes(false);
        QVERIFY(!m_page->Detail(l).Record);
    };
    const int avant = m_listeChangee;
    QCOMPARE(m_page->RazBayes(false), TPageMails::raFait);
    QVERIFY(essaye);
    QCOMPARE(pendant, QList<TPageMails::TResultat>(7, TPageMails::raOccupe));
    QVERIFY(m_listeChangee > avant);
    // Every message was learned again, none lost.
    TFiltreBayes& f = *moteur().FiltreBayes();
    QCOMPARE(f.Base().NbSpamAppris + f.Base().NbBonAppris, m_nbBoite);
    QCOMPARE(f.ModeBayes, 5);
    QCOMPARE(moteur().MonDossierBis1.NbTotal(), m_nbBoite);
}

void TestMails::changementDeCalcul() {
    afficherTout();
    TFiltreBayes& f = *moteur().FiltreBayes();
    int changees = 0;
    m_page->OnCellulesChangees = [&changees] { ++changees; };
    QCOMPARE(m_page->ChangerCalcul(1), TPageMails::raFait);
    QCOMPARE(changees, 1); // the grid scores again
    QCOMPARE(f.CalculBayes, 1);
    QCOMPARE(f.DocReception.Calcul, bayes::cbKhiDeux);
    QCOMPARE(Config().CalculBayes, 1);
    // The words pane shows each word as chi-square weighs it.
    const QList<TMotPage> mots = m_page->Mots(1, 1);
    QVERIFY(!mots.isEmpty());
    const TMonBayesDB& base = f.Base();
    for (const TMotPage& m : mots) {
        const double p = bayes::probaRobinson(m.Spam, m.Bon, base.NbSpamAppris, base.NbBonAppris,
                                              f.DocAffichage.KhiDeux);
        QVERIFY(std::abs(m.Proba - p * 100) < 1e-9);
        QCOMPARE(m.Qualifie, std::abs(p - 0.5) >= f.DocAffichage.KhiDeux.EcartMin);
    }
    QCOMPARE(m_page->ChangerCalcul(1), TPageMails::raRien);
    QCOMPARE(m_page->ChangerCalcul(-1), TPageMails::raRien);
    QCOMPARE(changees, 1);
    QCOMPARE(m_page->ChangerCalcul(0), TPageMails::raFait);
    QCOMPARE(Config().CalculBayes, 0);
    m_page->OnCellulesChangees = nullptr;
}

void TestMails::changementDeMode() {
    afficherTout();
    // The longest message.
    int l = 1;
    for (int i = 2; i <= m_page->NbLignes(); ++i)
        if (m_page->Record(i)->Taille > m_page->Record(l)->Taille) l = i;
    QCOMPARE(m_page->ChangerMode(3), TPageMails::raFait);
    const int tous = m_page->Mots(l, 0).size();
    QCOMPARE(m_page->ChangerMode(3), TPageMails::raRien);
    QCOMPARE(m_page->ChangerMode(9), TPageMails::raFait);
    QCOMPARE(Config().ModeBayes, 9);
    const int meilleurs = m_page->Mots(l, 0).size();
    QVERIFY(tous > 15);
    QVERIFY(meilleurs <= 15);
}

QTEST_GUILESS_MAIN(TestMails)
#include "tst_mails.moc"
