// The accounts manager and its file "comptesspam.qdl".

#include "accounts/gestion_comptes_bis.h"
#include "core/config.h"
#include "core/safe_save.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A manager rooted in a temporary working directory.
struct TGestion {
    QTemporaryDir dir;
    TGestionComptesBis g;
    TGestion() {
        g.OnInitRepertoire = [this](TGestionComptesBis&, QString& travail, QString& install) {
            travail = dir.path();
            install = dir.path();
        };
    }
    QString fichier() { return g.CheminFichier(); }
    void ecrire(const QByteArray& contenu) {
        QDir().mkpath(g.RepertoireDonnees());
        QFile f(fichier());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contenu);
    }
    QByteArray lire() {
        QFile f(fichier());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

class TestComptes : public QObject {
    Q_OBJECT
private slots:
    void loginCreeEtReutilise() {
        TGestion t;
        t.g.setActive(true);
        PUnCompteBis a = t.g.Connexion("pop.test", "bob");
        QCOMPARE(a->Numero, 1);
        QCOMPARE(a->drapeaux(), 0);
        QCOMPARE(a->Nom, QByteArray("pop.test/bob"));
        QCOMPARE(t.g.Connexion("pop.test", "bob"), a);
        QCOMPARE(a->NbConnexions, 2);
        QCOMPARE(t.g.CompteCourant(), a);
        // Server and login are case-sensitive.
        PUnCompteBis b = t.g.Connexion("pop.test", "Bob");
        QVERIFY(b != a);
        QCOMPARE(b->Numero, 2);
        QCOMPARE(t.g.Count(), 2);
        // Counters go to the account of the latest login.
        t.g.CompterMessage(true);
        t.g.CompterMessage(false);
        QCOMPARE(b->NbMessages, 2);
        QCOMPARE(b->NbSpams, 1);
        QCOMPARE(a->NbMessages, 0);
    }

    void fichierAllerRetour() {
        TGestion t;
        t.g.setActive(true);
        PUnCompteBis a = t.g.Connexion("pop.test", "bob");
        a->Nom = "Zed\tname\x07!";
        a->EMail = "bob@pop.test";
        a->Port = "995";
        a->FiltreIP = false;
        a->SupprimerSpam = true;
        a->ConfigGenerale = false;
        a->Destinataire = true;
        PUnCompteBis b = t.g.Connexion("imap.test", "amy");
        b->NbMessages = 10;
        b->NbSpams = 4;
        t.g.Trier();
        t.g.setActive(false);

        const QByteArray contenu = t.lire();
        QVERIFY(contenu.startsWith("; Une ligne commen\xe7"
                                   "ant par ; est en commentaire\r\n"));
        QVERIFY(contenu.contains("\r\nVERSION=1\r\n"));
        // Sorted by name without case: "imap.test/amy" before "Zed...".
        QVERIFY(contenu.contains("2\timap.test\tamy\t10\t4\t1\timap.test/amy\t0\t\t\r\n"));
        // TAB escaped as 0x03, BEL written as "_", flags 1+4+8+16.
        QVERIFY(contenu.contains(
            "1\tpop.test\tbob\t0\t0\t1\tZed\x03name_!\t29\t995\tbob@pop.test\r\n"));
        QVERIFY(!QFile::exists(sauvegarde::cheminBak(t.fichier())));

        TGestionComptesBis g2;
        g2.OnInitRepertoire = t.g.OnInitRepertoire;
        g2.setActive(true);
        QCOMPARE(g2.Count(), 2);
        PUnCompteBis a2 = g2.Chercher("pop.test", "bob");
        QVERIFY(a2);
        QCOMPARE(a2->Nom, QByteArray("Zed\tname_!"));
        QCOMPARE(a2->drapeaux(), 29);
        QCOMPARE(a2->Port, QByteArray("995"));
        QCOMPARE(g2.Compte(0)->Login, QByteArray("amy"));
        QVERIFY(!g2.Compte(2));
        QVERIFY(!g2.CompteCourant());
    }

    void lectureTolerante() {
        TGestion t;
        // No VERSION line, comments and blank lines anywhere, short and damaged lines.
        t.ecrire("; comment\r\n\r\n"
                 "3\tpop.test\tbob\t5\t2\t7\t\t0\t\t  Bob@Pop.Test  \r\n"
                 "; another\r\n"
                 "4\tpop.test\tshort\r\n"
                 "junk\xff\x01line\r\n"
                 "9\tx\ty\tNaN\r\n"
                 "10\tx\tz\t1\t2\t99999999999\tn\t8\r\n");
        QVERIFY(t.g.Charger());
        QCOMPARE(t.g.Count(), 5);
        PUnCompteBis b = t.g.Chercher("pop.test", "bob");
        QVERIFY(b);
        QCOMPARE(b->Nom, QByteArray("pop.test/bob")); // empty name gets its default
        QCOMPARE(b->EMail, QByteArray("bob@pop.test"));
        QCOMPARE(b->NbConnexions, 7);
        PUnCompteBis s = t.g.Chercher("pop.test", "short");
        QVERIFY(s);
        QCOMPARE(s->NbMessages, 0);
        QVERIFY(s->ConfigGenerale);
        PUnCompteBis y = t.g.Chercher("x", "y");
        QVERIFY(y);
        QCOMPARE(y->NbMessages, 0);
        PUnCompteBis z = t.g.Chercher("x", "z");
        QVERIFY(z);
        QCOMPARE(z->NbConnexions, INT32_MAX); // saturated, not wrapped
        QCOMPARE(z->Nom, QByteArray("n"));
        QVERIFY(!z->ConfigGenerale);
        // New numbers go above every loaded one.
        QCOMPARE(t.g.ChercherOuCreer("new", "one")->Numero, 11);
    }

    void numerosJamaisReutilises() {
        TGestion t;
        t.g.setActive(true);
        t.g.Connexion("s", "a");
        PUnCompteBis b = t.g.Connexion("s", "b");
        QCOMPARE(b->Numero, 2);
        QVERIFY(t.g.Supprimer(2));
        const qint32 mini = t.g.NumeroCompteMini();
        t.g.setActive(false);
        // A restart: the settings file gives the highest number back.
        TGestionComptesBis g2;
        g2.OnInitRepertoire = t.g.OnInitRepertoire;
        g2.setNumeroCompteMini(mini);
        g2.setActive(true);
        QCOMPARE(g2.Connexion("s", "c")->Numero, 3);
    }

    // The value written to the settings file is at least the highest number in
    // the list, even when this run created no account.
    void numeroMiniSansCreation() {
        TGestion t;
        t.ecrire("VERSION=1\r\n2\ts\ta\r\n9\ts\tc\r\n5\ts\tb\r\n");
        t.g.setActive(true);
        QCOMPARE(t.g.NumeroCompteMini(), 9);
        t.g.setNumeroCompteMini(12); // from the settings file
        QCOMPARE(t.g.NumeroCompteMini(), 12);
        QCOMPARE(t.g.Connexion("s", "d")->Numero, 13);
        QCOMPARE(t.g.NumeroCompteMini(), 13);
    }

    // The accounts file was lost in a crash: the archives of its accounts are
    // still there, and a new mailbox must not take one of their numbers.
    void numeroDontLArchiveExiste_data() {
        QTest::addColumn<QByteArrayList>("restes");
        QTest::addColumn<int>("attendu");
        QTest::newRow("index fixe") << QByteArrayList{"1-var.qdl"} << 2;
        QTest::newRow("index variable") << QByteArrayList{"1-fix.qdl"} << 2;
        QTest::newRow("dossier") << QByteArrayList{"1/"} << 2;
        QTest::newRow("plusieurs") << QByteArrayList{"1/", "2-var.qdl", "3-fix.qdl", "5/"} << 4;
        QTest::newRow("aucun") << QByteArrayList{} << 1;
    }
    void numeroDontLArchiveExiste() {
        QFETCH(QByteArrayList, restes);
        QFETCH(int, attendu);
        TGestion t;
        const QString dossiers = t.g.RepertoireDossiers();
        QDir().mkpath(dossiers);
        for (const QByteArray& r : restes) {
            const QString chemin = dossiers + QString::fromLatin1(r);
            if (r.endsWith('/'))
                QVERIFY(QDir().mkpath(chemin));
            else
                QVERIFY(QFile(chemin).open(QIODevice::WriteOnly));
        }
        t.g.setActive(true);
        QCOMPARE(t.g.Connexion("pop.test", "new")->Numero, attendu);
    }

    // A new account reaches the file at once, without waiting for the save timer.
    void nouveauCompteEnregistre() {
        TGestion t;
        t.g.setActive(true);
        t.g.Connexion("pop.test", "bob");
        QVERIFY(t.lire().contains("1\tpop.test\tbob\t"));
        // A known account changes nothing on disk until the next save.
        const QByteArray avant = t.lire();
        t.g.Connexion("pop.test", "bob");
        QCOMPARE(t.lire(), avant);
        // An inactive manager (tests, tools) does not write.
        TGestion u;
        u.g.Charger();
        u.g.Connexion("pop.test", "bob");
        QVERIFY(!QFile::exists(u.fichier()));
    }

    void suppression() {
        TGestion t;
        t.g.setActive(true);
        PUnCompteBis a = t.g.Connexion("s", "a");
        const QString dossiers = t.g.RepertoireDossiers();
        QDir().mkpath(dossiers + QStringLiteral("1"));
        QFile(dossiers + QStringLiteral("1/20240101-1.news")).open(QIODevice::WriteOnly);
        QFile(dossiers + QStringLiteral("1-var.qdl")).open(QIODevice::WriteOnly);
        QFile(dossiers + QStringLiteral("1-fix.qdl")).open(QIODevice::WriteOnly);
        // A live session holds it: refused, and the pointer stays valid.
        t.g.Retenir(a);
        QVERIFY(!t.g.Supprimer(1));
        QCOMPARE(t.g.Count(), 1);
        t.g.Relacher(a);
        QVERIFY(t.g.Supprimer(1));
        QCOMPARE(t.g.Count(), 0);
        QVERIFY(!t.g.CompteCourant());
        QVERIFY(!QFile::exists(dossiers + QStringLiteral("1-var.qdl")));
        QVERIFY(!QFile::exists(dossiers + QStringLiteral("1-fix.qdl")));
        QVERIFY(!QDir(dossiers + QStringLiteral("1")).exists());
        QVERIFY(!t.g.Supprimer(42));
    }

    void bakEtFichierIllisible() {
        TGestion t;
        // An interrupted save left only the backup: it is loaded.
        QDir().mkpath(t.g.RepertoireDonnees());
        {
            QFile bak(sauvegarde::cheminBak(t.fichier()));
            QVERIFY(bak.open(QIODevice::WriteOnly));
            bak.write("VERSION=1\r\n5\ts\tkept\t1\t0\t1\t\t0\t\t\r\n");
        }
        t.g.setActive(true);
        QVERIFY(t.g.Chercher("s", "kept"));
        t.g.setActive(false);
        QVERIFY(t.lire().contains("\tkept\t"));

        // A file that exists but cannot be read is never replaced by an empty list.
        if (::geteuid() == 0) QSKIP("root reads every file");
        TGestion u;
        u.ecrire("VERSION=1\r\n7\ts\tprecious\t0\t0\t0\t\t0\t\t\r\n");
        QFile::setPermissions(u.fichier(), QFileDevice::Permissions());
        QVERIFY(!u.g.Charger());
        QVERIFY(u.g.FichierProtege());
        QVERIFY(!u.g.Sauver());
        QFile::setPermissions(u.fichier(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(u.lire().contains("precious"));
    }

    void illisibleParRepertoire() {
        // Same rule where permissions do not apply: a directory in the file's place.
        TGestion t;
        QDir().mkpath(t.fichier());
        QVERIFY(!t.g.Charger());
        t.g.Connexion("s", "a");
        QVERIFY(!t.g.Sauver());
        QVERIFY(QFileInfo(t.fichier()).isDir());
    }

    void reglagesEffectifs() {
        Config().PortMail = "110";
        Config().SupprimerSpam = true;
        TUnCompteBis c;
        c.Port = "995";
        QCOMPARE(TGestionComptesBis::PortEffectif(nullptr), QByteArray("110"));
        QCOMPARE(TGestionComptesBis::PortEffectif(&c), QByteArray("110"));
        QVERIFY(TGestionComptesBis::SupprimerSpamEffectif(&c));
        c.ConfigGenerale = false;
        QCOMPARE(TGestionComptesBis::PortEffectif(&c), QByteArray("995"));
        QVERIFY(!TGestionComptesBis::SupprimerSpamEffectif(&c));
        c.Port.clear();
        Config().PortMail.clear();
        QCOMPARE(TGestionComptesBis::PortEffectif(&c), QByteArray("pop3"));
        Config() = TConfig();
    }

    void ignoreModif() {
        TGestion t;
        t.g.setActive(true);
        t.g.IgnoreModif = true;
        t.g.Connexion("s", "a");
        t.g.setActive(false);
        QVERIFY(!QFile::exists(t.fichier()));
    }
};

QTEST_GUILESS_MAIN(TestComptes)
#include "tst_comptes.moc"
