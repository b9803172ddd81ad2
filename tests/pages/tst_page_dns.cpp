// The DNSBL page's rows and commands over the program's own engine.

#include "pages/page_dns.h"
#include "pages/page_tests_ip.h"
#include "tests/support/moteur/banc_moteur.h"

#include <QFile>
#include <QtTest>

using testsupport::TBancMoteur;
using namespace Qt::Literals::StringLiterals;

namespace {
QStringList rouges(const TLigneDNS& l) {
    QStringList r;
    for (const TMorceau& m : l.Compteurs)
        if (m.Couleur == TMorceau::mcRouge) r << m.Texte;
    return r;
}
QByteArray lireDns(const TBancMoteur& b) {
    QFile f(b.Home() + QStringLiteral("Donnees/dns.qdl"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QStringList noms(const TChercheSPAMs& c) {
    QStringList r;
    for (int i = 0; i < c.NbServeur(); ++i)
        r << QString::fromLatin1(c.Serveur(i)->Nom);
    return r;
}
} // namespace

class TstPageDNS : public QObject {
    Q_OBJECT
private slots:
    void ligne_data();
    void ligne();
    void formatDecimal_data();
    void formatDecimal();
    void reglesDuDialogue_data();
    void reglesDuDialogue();
    void modifierAjouterSupprimerSauvent();
    void suppressionGardeLesTestsFinis();
    void remisesAZero();
};

void TstPageDNS::ligne_data() {
    QTest::addColumn<int>("nbTest");
    QTest::addColumn<int>("nbSpam");
    QTest::addColumn<int>("nbFauxPositif");
    QTest::addColumn<int>("nbCorrection");
    QTest::addColumn<int>("nbTimeOut");
    QTest::addColumn<uint>("tempsRAZ");
    QTest::addColumn<int>("nbTestRAZ");
    QTest::addColumn<QChar>("separateur");
    QTest::addColumn<QString>("texte");
    QTest::addColumn<QStringList>("enRouge");
    QTest::newRow("no test: no score, no speed")
        << 0 << 0 << 0 << 0 << 0 << 0u << 0 << QChar(u'.') << u"nb test=0, spam=0, faux positif=0"_s
        << QStringList{};
    QTest::newRow("10 tests, 3 listed")
        << 10 << 3 << 0 << 0 << 0 << 0u << 0 << QChar(u'.')
        << u"nb test=10, spam=3, faux positif=0, score=30.0%"_s << QStringList{u"3"_s};
    QTest::newRow("speed, comma separator")
        << 10 << 3 << 0 << 0 << 0 << 1234u << 2 << QChar(u',')
        << u"nb test=10, spam=3, faux positif=0, score=30,0%, vitesse=0,617s"_s
        << QStringList{u"3"_s};
    QTest::newRow("every counter")
        << 3 << 2 << 1 << 4 << 5 << 30u << 3 << QChar(u'.')
        << u"nb test=3, spam=2, faux positif=1, nb correction=4, timeout=5, score=66.7%, vitesse=0.010s"_s
        << QStringList{u"2"_s, u"1"_s, u"4"_s, u"5"_s};
    QTest::newRow("speed reset: score stays")
        << 8 << 0 << 2 << 0 << 0 << 0u << 0 << QChar(u'.')
        << u"nb test=8, spam=0, faux positif=2, score=0.0%"_s << QStringList{u"2"_s};
}

void TstPageDNS::ligne() {
    QFETCH(int, nbTest);
    QFETCH(int, nbSpam);
    QFETCH(int, nbFauxPositif);
    QFETCH(int, nbCorrection);
    QFETCH(int, nbTimeOut);
    QFETCH(uint, tempsRAZ);
    QFETCH(int, nbTestRAZ);
    QFETCH(QChar, separateur);
    QFETCH(QString, texte);
    QFETCH(QStringList, enRouge);
    TUnDNS s;
    s.Nom = "Serveur \xe9t\xe9";
    s.Actif = false;
    s.NbTest = nbTest;
    s.NbSpam = nbSpam;
    s.NbFauxPositif = nbFauxPositif;
    s.NbCorrection = nbCorrection;
    s.NbTimeOut = nbTimeOut;
    s.TempsRAZ = tempsRAZ;
    s.NbTestRAZ = nbTestRAZ;
    const TLigneDNS l = TPageDNS::Ligne(s, separateur);
    QCOMPARE(l.Nom, QStringLiteral("Serveur été"));
    QVERIFY(!l.Actif);
    QCOMPARE(l.TexteCompteurs(), texte);
    QCOMPARE(rouges(l), enRouge);
}

void TstPageDNS::formatDecimal_data() {
    QTest::addColumn<double>("valeur");
    QTest::addColumn<int>("decimales");
    QTest::addColumn<QString>("texte");
    QTest::newRow("half up") << 0.0005 << 3 << u"0.001"_s;
    QTest::newRow("tenth") << 100.0 / 3.0 << 1 << u"33.3"_s;
    QTest::newRow("exact half") << 12.25 << 1 << u"12.3"_s;
    QTest::newRow("hundred") << 100.0 << 1 << u"100.0"_s;
    QTest::newRow("large") << 4294967.295 << 3 << u"4294967.295"_s;
}

void TstPageDNS::formatDecimal() {
    QFETCH(double, valeur);
    QFETCH(int, decimales);
    QFETCH(QString, texte);
    QCOMPARE(FormaterDecimal(valeur, decimales, QLatin1Char('.')), texte);
}

void TstPageDNS::reglesDuDialogue_data() {
    QTest::addColumn<QString>("modifie"); // empty: adding
    QTest::addColumn<QString>("nom");
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("erreur");
    const QString obligatoire = QStringLiteral("Le nom et l'adresse sont obligatoires");
    const QString existe = QStringLiteral("Un serveur existe déja avec ce nom");
    QTest::newRow("add, empty name") << u""_s << u""_s << u"bl.test"_s << obligatoire;
    QTest::newRow("add, blank zone") << u""_s << u"Nouveau"_s << u"   "_s << obligatoire;
    QTest::newRow("add, existing name in other case")
        << u""_s << u"AHBL"_s << u"bl.test"_s << existe;
    QTest::newRow("add, new name") << u""_s << u"Nouveau"_s << u"bl.test"_s << u""_s;
    QTest::newRow("modify, own name in capitals") << u"cbl"_s << u"CBL"_s << u"z.test"_s << u""_s;
    QTest::newRow("modify, another server's name")
        << u"cbl"_s << u"Ahbl"_s << u"z.test"_s << existe;
    QTest::newRow("modify, blank name") << u"cbl"_s << u" \t"_s << u"z.test"_s << obligatoire;
}

void TstPageDNS::reglesDuDialogue() {
    QFETCH(QString, modifie);
    QFETCH(QString, nom);
    QFETCH(QString, zone);
    QFETCH(QString, erreur);
    TBancMoteur b;
    QVERIFY(b.Demarrer());
    TChercheSPAMs& c = b.Moteur().ChercheSPAMs1;
    TPageDNS page(c);
    const QStringList avant = noms(c);
    const QByteArray fichierAvant = lireDns(b);
    const TSaisieServeur saisie{nom, zone, QStringLiteral("127.0.0.2")};
    const QString obtenu = modifie.isEmpty()
                               ? page.Ajouter(saisie)
                               : page.Modifier(c.TrouverServeurNom(modifie.toLatin1()), saisie);
    QCOMPARE(obtenu, erreur);
    if (!erreur.isEmpty()) {
        // Refused: nothing changed, nothing written.
        QCOMPARE(noms(c), avant);
        QCOMPARE(lireDns(b), fichierAvant);
    } else {
        QVERIFY(c.TrouverServeurNom(nom.toLatin1()));
        QVERIFY(lireDns(b).contains('\t' + zone.toLatin1() + '\t'));
    }
}

void TstPageDNS::modifierAjouterSupprimerSauvent() {
    TBancMoteur b;
    QVERIFY(b.Demarrer());
    TChercheSPAMs& c = b.Moteur().ChercheSPAMs1;
    TPageDNS page(c);

    // Modify: name and zone as typed, codes trimmed without blank lines, the
    // table sorted again; the number, flag and counters stay.
    PUnDNS cbl = c.TrouverServeurNom("cbl");
    cbl->NbTest = 7;
    const qint32 numero = cbl->Numero;
    const TSaisieServeur lu = TPageDNS::SaisieDepuisServeur(cbl);
    QCOMPARE(lu.Nom, QStringLiteral("cbl"));
    QCOMPARE(lu.Codes.split(u'\n').size(), cbl->Codes.size());
    QCOMPARE(page.Modifier(cbl, {QStringLiteral("zz dernier"), QStringLiteral("z.test"),
                                 QStringLiteral("  127.0.0.3 \n\n\t\n127.0.0.9\r\n")}),
             QString());
    QCOMPARE(page.IndexDe(cbl), c.NbServeur() - 1);
    QCOMPARE(cbl->Numero, numero);
    QCOMPARE(cbl->NbTest, 7);
    QCOMPARE(cbl->Codes, (QList<QByteArray>{"127.0.0.3", "127.0.0.9"}));
    QVERIFY(lireDns(b).contains("\tzz dernier\tz.test\t7\t0\t0\t0\t2\t127.0.0.3\t127.0.0.9\t\t"));
    QCOMPARE(TPageDNS::SaisieDepuisServeur(cbl).Codes, QStringLiteral("127.0.0.3\n127.0.0.9"));

    // Add: active, numbered above every number, saved at once.
    QCOMPARE(page.Ajouter({QStringLiteral("Test"), QStringLiteral("bl.test"), QString()}),
             QString());
    PUnDNS t = c.TrouverServeurNom("Test");
    QVERIFY(t && t->Actif && t->Codes.isEmpty());
    QCOMPARE(t->Numero, 12);
    QVERIFY(lireDns(b).contains("12\tTest\tbl.test\t0\t0\t0\t0\t0\t\t0\t0\r\n"));

    // The check box: flipped at once, written only with the next save.
    QVERIFY(page.BasculerActif(page.IndexDe(t)));
    QVERIFY(!t->Actif);
    QVERIFY(lireDns(b).contains("\tTest\tbl.test\t0\t0\t0\t0\t0\t\t0\t0\r\n"));

    // Delete, saved at once; past the end nothing happens.
    const int n = c.NbServeur();
    QVERIFY(page.Supprimer(page.IndexDe(t)));
    QCOMPARE(c.NbServeur(), n - 1);
    QVERIFY(!lireDns(b).contains("\tTest\t"));
    QVERIFY(!page.Supprimer(c.NbServeur()));
    QVERIFY(!page.BasculerActif(-1));
    QCOMPARE(page.Ligne(c.NbServeur()).Nom, QString());
}

void TstPageDNS::suppressionGardeLesTestsFinis() {
    TBancMoteur b;
    QVERIFY(b.Demarrer());
    TChercheSPAMs& c = b.Moteur().ChercheSPAMs1;
    b.SansServeursDNSBL();
    TPageDNS page(c);
    QCOMPARE(page.Ajouter({QStringLiteral("Un"), QStringLiteral("un.test"), QString()}), QString());
    QCOMPARE(page.Ajouter({QStringLiteral("Deux"), QStringLiteral("deux.test"), QString()}),
             QString());
    // Two addresses, each queued on both servers; the first one answered.
    c.ResultatIP(ChaineVersIP("192.0.2.7"), true);
    c.ResultatIP(ChaineVersIP("192.0.2.8"), true);
    QCOMPARE(c.NbRecherche(), 4);
    for (int i = 0; i < 2; ++i) {
        PUneRechercheDNS r = c.Recherche(i);
        r->Etat = r->Serveur->Nom == "Un" ? erSpam : erPasSpam;
        r->Reponse = r->Etat == erSpam ? "127.0.0.2" : "inexistant";
        r->DateReponse = datetime::encoder(2026, 3, 4, 5, 6, 7);
    }
    // Records are queued in table order: "Deux" before "Un".
    QCOMPARE(TPageTestsIP(c).Ligne(1).Texte(),
             QStringLiteral("192.0.2.7 : Un - Spam (127.0.0.2) - testé le 04/03/2026 05:06:07 "
                            "(nb test=0)"));

    QVERIFY(page.Supprimer(page.IndexDe(c.TrouverServeurNom("Un"))));
    // The finished record stays without its server; the waiting one is gone.
    QCOMPARE(c.NbRecherche(), 3);
    QCOMPARE(TPageTestsIP(c).Ligne(1).Texte(),
             QStringLiteral("192.0.2.7 - Spam (127.0.0.2) - testé le 04/03/2026 05:06:07 "
                            "(nb test=0)"));
    for (int i = 0; i < c.NbRecherche(); ++i)
        QVERIFY(!c.Recherche(i)->Serveur || c.Recherche(i)->Serveur->Nom == "Deux");
}

void TstPageDNS::remisesAZero() {
    TBancMoteur b;
    QVERIFY(b.Demarrer());
    TChercheSPAMs& c = b.Moteur().ChercheSPAMs1;
    TPageDNS page(c);
    for (int i = 0; i < c.NbServeur(); ++i) {
        PUnDNS s = c.Serveur(i);
        s->NbTest = 10;
        s->NbSpam = 3;
        s->NbFauxPositif = 2;
        s->NbTimeOut = 1;
        s->NbCorrection = 4;
        s->TempsRAZ = 5000;
        s->NbTestRAZ = 10;
    }
    QVERIFY(page.Ligne(0).TexteCompteurs().contains(QStringLiteral("vitesse=")));
    // "RAZ temp": the speed goes until the next attempt ends, the rest stays.
    page.RAZTemp();
    for (int i = 0; i < c.NbServeur(); ++i) {
        const TLigneDNS l = page.Ligne(i);
        QVERIFY(!l.TexteCompteurs().contains(QStringLiteral("vitesse=")));
        QVERIFY2(
            l.TexteCompteurs().endsWith(
                QStringLiteral("nb test=10, spam=3, faux positif=2, nb correction=4, timeout=1, "
                               "score=30") +
                SeparateurDecimalAffichage() + QStringLiteral("0%")),
            qPrintable(l.TexteCompteurs()));
    }
    page.RAZCompteur();
    for (int i = 0; i < c.NbServeur(); ++i) {
        const TUnDNS& s = *c.Serveur(i);
        QCOMPARE(s.NbTest + s.NbSpam + s.NbFauxPositif + s.NbTimeOut + s.NbCorrection +
                     s.NbTestRAZ + qint32(s.TempsRAZ),
                 0);
        QCOMPARE(page.Ligne(i).TexteCompteurs(),
                 QStringLiteral("nb test=0, spam=0, faux positif=0"));
    }
}

QTEST_GUILESS_MAIN(TstPageDNS)
#include "tst_page_dns.moc"
