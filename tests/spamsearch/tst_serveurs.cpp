// The DNSBL server table and its file "dns.qdl".
#include "core/safe_save.h"
#include "spamsearch/cherche_spams.h"
#include "spamsearch/table_serveurs.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::ecrireFichier;
using testsupport::lireFichier;

namespace {

const QByteArray kEntete = "; Une ligne commen\xe7"
                           "ant par ; est en commentaire\r\n"
                           "; Premi\xe8re ligne : indique la version (NE PAS MODIFIER)\r\n"
                           "VERSION=1\r\n";

class TComposant {
public:
    explicit TComposant(const QString& rep) {
        c.OnInitRepertoire = [rep](TChercheSPAMs&, QString& t, QString&) { t = rep; };
        c.setActive(true);
    }
    TChercheSPAMs c;
};

QList<QByteArray> noms(const TChercheSPAMs& c) {
    QList<QByteArray> l;
    for (int i = 0; i < c.NbServeur(); ++i)
        l << c.Serveur(i)->Nom;
    return l;
}

} // namespace

class TestServeurs : public QObject {
    Q_OBJECT
private slots:
    void tableParDefaut();
    void tableParDefaut_seulementEntete();
    void ecritureLectureIdentiques();
    void formatExactDesLignes();
    void lignesAbimees();
    void numerotation();
    void modificationEtVerifications();
    void ordreDesNoms();
    void suppressionEtEvenements();
    void fichierIllisibleConserve();
};

void TestServeurs::tableParDefaut() {
    QTemporaryDir rep;
    TComposant t(rep.path());
    const TChercheSPAMs& c = t.c;
    QCOMPARE(noms(c),
             (QList<QByteArray>{"ahbl", "cbl", "CHI-KOR", "drblv", "DSBL", "dsbu", "Five-Ten-SG",
                                "Messagelabs", "psbl", "Spamhaus SBL+XBL", "SPEWS"}));
    const char* ordre[] = {
        "Spamhaus SBL+XBL", "CHI-KOR",     "DSBL", "SPEWS", "dsbu", "cbl", "ahbl",
        "Five-Ten-SG",      "Messagelabs", "psbl", "drblv"};
    for (int i = 0; i < 11; ++i) {
        PUnDNS s = c.TrouverServeurNom(ordre[i]);
        QVERIFY(s);
        QCOMPARE(s->Numero, i + 1);
        QCOMPARE(s->Actif, qstrcmp(ordre[i], "SPEWS") != 0 && qstrcmp(ordre[i], "dsbu") != 0);
        QVERIFY(!s->Zone.isEmpty());
    }
    QCOMPARE(c.TrouverServeurNom("AHBL")->Codes.size(), 13);
    QCOMPARE(c.TrouverServeurNom("Five-Ten-SG")->Codes.size(), 10);
    // Some operators answer 127.255.255.x to queries from public resolvers: not a listing.
    QCOMPARE(c.TrouverServeurNom("cbl")->Codes, QList<QByteArray>{"127.0.0.2"});
    QVERIFY(c.TrouverServeurNom("Messagelabs")->Codes.isEmpty());
    // Closed services must never be asked on a zone someone else may now own.
    QVERIFY(c.TrouverServeurNom("ahbl")->Zone.endsWith(".invalid"));
    QVERIFY(c.TrouverServeurNom("SPEWS")->Zone.endsWith(".invalid"));
}

void TestServeurs::tableParDefaut_seulementEntete() {
    QTemporaryDir rep;
    ecrireFichier(rep.path() + QStringLiteral("/Donnees/dns.qdl"), kEntete);
    TComposant t(rep.path());
    QCOMPARE(t.c.NbServeur(), 11);
}

void TestServeurs::ecritureLectureIdentiques() {
    QTemporaryDir rep;
    const QString fichier = rep.path() + QStringLiteral("/Donnees/dns.qdl");
    {
        TComposant t(rep.path());
        PUnDNS s =
            t.c.AjouterServeur("Tab\tname\x01", "zone.test", {"127.0.0.2", "127.0.0.3"}, true);
        QVERIFY(s);
        s->NbTest = 7;
        s->NbSpam = 3;
        s->NbFauxPositif = 2;
        s->NbTimeOut = 1;
        s->NbCorrection = 4;
        t.c.DefinirActifServeur(t.c.TrouverServeurNom("psbl"), false);
        t.c.setActive(false);
    }
    const QByteArray premier = lireFichier(fichier);
    QVERIFY(premier.startsWith(kEntete));
    TComposant t2(rep.path());
    PUnDNS s = t2.c.TrouverServeurNom("tab\tNAME_");
    QVERIFY(s); // the TAB survives, the other control byte became "_"
    QCOMPARE(s->Numero, 12);
    QCOMPARE(s->Codes, (QList<QByteArray>{"127.0.0.2", "127.0.0.3"}));
    QCOMPARE(s->NbCorrection, 4);
    QCOMPARE(s->NbTimeOut, 1);
    QVERIFY(!t2.c.TrouverServeurNom("psbl")->Actif);
    t2.c.setActive(false);
    QCOMPARE(lireFichier(fichier), premier);
    QVERIFY(!QFile::exists(rep.path() + QStringLiteral("/Donnees/dns.bak")));
}

void TestServeurs::formatExactDesLignes() {
    QTemporaryDir rep;
    {
        TComposant t(rep.path());
        while (t.c.NbServeur())
            t.c.SupprimerServeur(t.c.Serveur(0)->Nom);
        t.c.AjouterServeur("deux", "z2.test", {"127.0.0.2", "127.0.0.4"}, false)->NbTest = 5;
        t.c.AjouterServeur("aucun", "z0.test", {}, true);
        t.c.setActive(false);
    }
    QCOMPARE(lireFichier(rep.path() + QStringLiteral("/Donnees/dns.qdl")),
             kEntete + "12\taucun\tz0.test\t0\t0\t0\t0\t0\t\t0\t0\r\n"
                       "11\tdeux\tz2.test\t5\t0\t0\t0\t2\t127.0.0.2\t127.0.0.4\t\t0\t1\r\n");
}

void TestServeurs::lignesAbimees() {
    QTemporaryDir rep;
    ecrireFichier(rep.path() + QStringLiteral("/Donnees/dns.qdl"),
                  kEntete +
                      // a code count of two billion on a short line
                      "5\tbig\tz.test\t1\t2\t3\t4\t2000000000\t127.0.0.2\r\n"
                      // last field missing: active
                      "6\tshort\tz6.test\t0\t0\t0\t0\t0\t\t3\r\n"
                      // negative code count, odd flag
                      "7\tneg\tz7.test\t0\t0\t0\t0\t-4\t\t0\t3\r\n"
                      "garbage without tabs\n"
                      "; comment in the middle\r\n"
                      "8\tsame\tz.test\r\n8\tSAME\tz.test\r\n");
    TComposant t(rep.path());
    const TChercheSPAMs& c = t.c;
    QCOMPARE(c.NbServeur(), 6);
    QCOMPARE(c.TrouverServeurNom("big")->Codes, QList<QByteArray>{"127.0.0.2"});
    QCOMPARE(c.TrouverServeurNom("big")->NbTimeOut, 4);
    QVERIFY(c.TrouverServeurNom("short")->Actif);
    QCOMPARE(c.TrouverServeurNom("short")->NbCorrection, 3);
    QVERIFY(c.TrouverServeurNom("neg")->Codes.isEmpty());
    QVERIFY(!c.TrouverServeurNom("neg")->Actif);
    QVERIFY(c.TrouverServeurNom("garbage without tabs"));
}

void TestServeurs::numerotation() {
    QTemporaryDir rep;
    {
        TComposant t(rep.path());
        t.c.setNumeroDNSMini(0); // the settings' value, restored after the load
        QCOMPARE(t.c.NumeroDNSMini(), 11);
        t.c.SupprimerServeur("drblv"); // number 11
        t.c.setActive(false);
        // What shutdown writes to the settings.
        QCOMPARE(qMax(t.c.NumeroDNSMini(), t.c.PlusGrandNumero()), 11);
    }
    TComposant t(rep.path());
    t.c.setNumeroDNSMini(11);
    QCOMPARE(t.c.AjouterServeur("new", "n.test", {}, true)->Numero, 12);
    QCOMPARE(t.c.NumeroDNSMini(), 12); // what the settings receive: never below a number in use
    t.c.setNumeroDNSMini(5);           // never lowers
    QCOMPARE(t.c.NumeroDNSMini(), 12);
    t.c.setNumeroDNSMini(40);
    QCOMPARE(t.c.AjouterServeur("next", "n.test", {}, true)->Numero, 41);
    QVERIFY(!t.c.AjouterServeur("NEXT", "other", {}, true)); // name taken, nothing happens
    QCOMPARE(t.c.NbServeur(), 12);
}

void TestServeurs::modificationEtVerifications() {
    QTemporaryDir rep;
    TComposant t(rep.path());
    TChercheSPAMs& c = t.c;
    PUnDNS cbl = c.TrouverServeurNom("cbl");
    QVERIFY(c.ErreurServeur(cbl, "CBL", "cbl.example").isEmpty());
    QVERIFY(c.ErreurServeur(cbl, "Ahbl", "x").contains(QStringLiteral("existe")));
    QVERIFY(c.ErreurServeur(nullptr, "  ", "x").contains(QStringLiteral("obligatoires")));
    QVERIFY(c.ErreurServeur(nullptr, "x", "\t").contains(QStringLiteral("obligatoires")));
    const qint32 numero = cbl->Numero;
    cbl->NbSpam = 9;
    c.ModifierServeur(cbl, "ZZZ", "z.example", {"127.0.0.9"});
    QCOMPARE(c.Serveur(c.NbServeur() - 1), cbl); // re-sorted
    QCOMPARE(cbl->Numero, numero);
    QCOMPARE(cbl->NbSpam, 9);

    c.AjusterCorrection(numero, true);
    c.AjusterCorrection(numero, false);
    c.AjusterCorrection(numero, false); // never below 0
    QCOMPARE(cbl->NbCorrection, 0);
    c.AjusterCorrection(numero, true);
    QCOMPARE(cbl->NbCorrection, 1);
    c.AjusterCorrection(999, true);
}

// Sorted and found without regard to ASCII case only: "Z" sorts as "z", after
// "[" and "_"; an accented letter keeps its case and sorts by its byte.
void TestServeurs::ordreDesNoms() {
    TTableServeurs t;
    for (const char* nom : {"_u", "Zeta", "[b", "\xe9t\xe9", "\xc9T\xc9", "alpha", "alph"})
        QVERIFY(t.Ajouter(nom, "z.example", {}, true));
    QList<QByteArray> l;
    for (const auto& s : t.Serveurs())
        l << s->Nom;
    QCOMPARE(l, (QList<QByteArray>{"[b", "_u", "alph", "alpha", "Zeta", "\xc9T\xc9", "\xe9t\xe9"}));
    QVERIFY(!t.Ajouter("ALPHA", "z.example", {}, true));
    QCOMPARE(t.TrouverNom("zETA")->Nom, QByteArray("Zeta"));
    QCOMPARE(t.TrouverNom("\xe9T\xe9")->Nom, QByteArray("\xe9t\xe9"));
    QCOMPARE(t.TrouverNom("\xc9t\xc9")->Nom, QByteArray("\xc9T\xc9"));
    QVERIFY(!t.TrouverNom("alp"));
}

void TestServeurs::suppressionEtEvenements() {
    QTemporaryDir rep;
    TComposant t(rep.path());
    TChercheSPAMs& c = t.c;
    QList<qint32> retires;
    c.OnServeurRetire = [&](TChercheSPAMs&, qint32 n) { retires << n; };
    PUnDNS psbl = c.TrouverServeurNom("psbl");
    const qint32 numPsbl = psbl->Numero;
    c.DefinirActifServeur(psbl, false);
    c.DefinirActifServeur(psbl, false); // no change, no event
    QCOMPARE(retires, QList<qint32>{numPsbl});

    // Queue one lookup per active server, then finish one of cbl's by hand.
    bool cree = false;
    c.ResultatIP(ChaineVersIP("198.51.100.1"), true, &cree);
    QVERIFY(cree);
    const int actifs = 8; // 11 defaults, SPEWS, dsbu and psbl inactive
    QCOMPARE(c.NbRecherche(), actifs);
    PUnDNS cbl = c.TrouverServeurNom("cbl");
    PUneRechercheDNS fini = nullptr;
    for (int i = 0; i < c.NbRecherche(); ++i)
        if (c.Recherche(i)->Serveur == cbl) fini = c.Recherche(i);
    fini->Etat = erPasSpam;
    c.ResultatIP(ChaineVersIP("198.51.100.2"), true);
    c.SupprimerServeur("CBL");
    QCOMPARE(retires.last(), 6);
    QVERIFY(!c.TrouverServeurNom("cbl"));
    QCOMPARE(c.NbRecherche(), 2 * actifs - 1); // the waiting one went, the finished one stayed
    QCOMPARE(fini->Serveur, nullptr);
    c.SupprimerServeur("absent");
}

void TestServeurs::fichierIllisibleConserve() {
    QTemporaryDir rep;
    const QString fichier = rep.path() + QStringLiteral("/Donnees/dns.qdl");
    QDir().mkpath(fichier); // a directory where the file should be: cannot be read
    {
        TComposant t(rep.path());
        QCOMPARE(t.c.NbServeur(), 11); // works on the defaults meanwhile
        t.c.setActive(false);
    }
    QVERIFY(QFileInfo(fichier).isDir());

    // A missing file with a ".bak" beside it (an interrupted save) loads the ".bak".
    QTemporaryDir rep2;
    ecrireFichier(rep2.path() + QStringLiteral("/Donnees/dns.bak"),
                  kEntete + "3\tonly\tz.test\t0\t0\t0\t0\t0\t\t0\t0\r\n");
    TComposant t2(rep2.path());
    QCOMPARE(t2.c.NbServeur(), 1);
}

QTEST_GUILESS_MAIN(TestServeurs)
#include "tst_serveurs.moc"
