// The message archive: index byte layouts against hand-built files, the
// per-day data files, the length limits, numbering, restoring an interrupted
// save (also one killed by SIGKILL), and damaged files.
#include "accounts/mon_dossier_bis.h"
#include "core/trace.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::ecrireFichier;
using testsupport::lireFichier;

namespace {

constexpr int kJourFixture = 46022; // 2025-12-31

// Copies the hand-built archive into `dest` (files of accounts 7 and 8).
void copierFixture(const QString& dest) {
    const QDir source(testsupport::cheminFixture(QStringLiteral("archive")));
    QDirIterator it(source.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString chemin = it.next();
        if (chemin.endsWith(QLatin1String(".py"))) continue;
        const QString cible = dest + QLatin1Char('/') + source.relativeFilePath(chemin);
        QDir().mkpath(QFileInfo(cible).absolutePath());
        QFile::copy(chemin, cible);
        QFile::setPermissions(cible, QFile::ReadOwner | QFile::WriteOwner);
    }
}

TUnMessageMem modele(TDateTime reception, const QByteArray& sujet = "sujet") {
    TUnMessageMem m;
    m.Reception = reception;
    m.Sujet = sujet;
    m.Emetteur = "from@example.test";
    m.ReponseDNSBL = "127.0.0.2";
    m.NbLignes = 12;
    m.Taille = 345;
    m.ProbaBayes = 500;
    m.ServeurDNSBL = 2;
    m.Spam = true;
    m.TestIP = true;
    return m;
}

QByteArray texteMessage(int i) {
    return "Subject: message " + QByteArray::number(i) + "\r\n\r\nbody " + QByteArray::number(i) +
           "\r\n";
}

qint32 caseNumero(const QByteArray& entete, int i) {
    return qFromLittleEndian<qint32>(entete.constData() + 3 + i * 8);
}

// The child of the kill tests: keeps adding (and saving, unless `sauver` is
// off), one line per message stored.
int enfantSauvegarde(const QString& dossiers, bool sauver = true) {
    TUnCompteBis compte;
    compte.Numero = 1;
    TMonDossierBis dossier;
    dossier.setRepertoireDossiers(dossiers);
    dossier.Ouvrir(&compte);
    for (int i = dossier.DernierNumMessage() + 1;; ++i) {
        if (!dossier.AjouterMessage(modele(46000.5, "sujet " + QByteArray::number(i)),
                                    texteMessage(i)))
            return 2;
        if (sauver && !dossier.Sauver()) return 3;
        std::printf("%d\n", dossier.NbMessage());
        std::fflush(stdout);
    }
}

} // namespace

class TestArchive : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_rep.isValid()); }
    void cleanup() { QDir(m_rep.path()).removeRecursively(), QDir().mkpath(m_rep.path()); }

    void chargeLesFichiersFaitsMain();
    void sauveOctetPourOctet();
    void ancienFormatReecrit();
    void limitesDeLongueur_data();
    void limitesDeLongueur();
    void longueursCoupeesSurDisque();
    void message257DansLeFichier2();
    void fichierPleinModifieEstRelu();
    void lectureEnteteSeul();
    void suppressionPuisNumerosUniques();
    void indexEffacesRepartSansReutiliserUnTexte();
    void indexVariablePerduGardeLesMessages();
    void bakRestaure();
    void bakGardeQuandRefuse();
    void sauvegardeTueeRestauree();
    void ajoutsNonSauvesSurviventAuKill();
    void indexEndommages_data();
    void indexEndommages();
    void fichierJourEndommage_data();
    void fichierJourEndommage();
    void fichierJourIllisibleJamaisTronque();
    void indexIllisibleJamaisEcrase();
    void sauvegardeEchoueeGardeLAncien();
    void changementRefuseSiSauvegardeEchoue();
    void indexIllisibleNeBloquePasLesAutres();
    void vueRelitCeQuUneAutreASauve();
    void comptesMisDeCote();
    void dateDeReceptionEndommagee_data();
    void dateDeReceptionEndommagee();

private:
    QString dossiers() const { return m_rep.path() + QLatin1Char('/'); }
    QTemporaryDir m_rep;
};

void TestArchive::chargeLesFichiersFaitsMain() {
    copierFixture(m_rep.path());
    TUnCompteBis compte;
    compte.Numero = 7;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QList<int> avancement;
    d.OnAvancement = [&](TMonDossierBis&, int p) { avancement.append(p); };
    QVERIFY(d.Ouvrir(&compte));
    QCOMPARE(d.Compte(), 7);
    QCOMPARE(d.NbMessage(), 3);
    QCOMPARE(d.PremierNumMessage(), 1);
    QCOMPARE(d.DernierNumMessage(), 5);
    QCOMPARE(compte.DernierNumero, 5);
    QVERIFY(!d.FixeModifie && !d.VarModifie);
    QVERIFY(!avancement.isEmpty() && avancement.last() == 100);

    const TUnMessageMem* m1 = d.ChercherNumero(1);
    QVERIFY(m1);
    QCOMPARE(m1->Reception, kJourFixture + 0.5);
    QCOMPARE(m1->NbLignes, 42);
    QCOMPARE(m1->Taille, 1234);
    QVERIFY(m1->TestIP && m1->TestBayes && m1->Spam);
    QVERIFY(!m1->ListeBlanche && !m1->ListeNoire && !m1->SpamIP && !m1->HorsDestinataire);
    QCOMPARE(m1->TailleEntete, qint16(17));
    QCOMPARE(m1->ServeurDNSBL, 3);
    QCOMPARE(m1->ProbaBayes, 987);
    QCOMPARE(m1->Sujet, QByteArray("Hello"));
    QCOMPARE(m1->Emetteur, QByteArray("a@b.test"));
    QCOMPARE(m1->ReponseDNSBL, QByteArray("127.0.0.2"));

    // The record after a 14-byte one (no subject, sender nor answer) is read
    // at its real place.
    const TUnMessageMem* m2 = d.ChercherNumero(2);
    QVERIFY(m2 && m2->Sujet.isEmpty() && m2->Emetteur.isEmpty() && m2->ReponseDNSBL.isEmpty());
    const TUnMessageMem* m5 = d.ChercherNumero(5);
    QVERIFY(m5);
    QCOMPARE(m5->Sujet, QByteArray("caf\xe9 \x80"));
    QCOMPARE(m5->Emetteur, QByteArray("x"));
    QCOMPARE(m5->NbLignes, 70000 & 0xFFFF);
    QCOMPARE(m5->ServeurDNSBL, -1);
    QVERIFY(m5->ListeBlanche && m5->ListeNoire && m5->SpamIP && m5->HorsDestinataire);
    QVERIFY(!m5->Spam && !m5->TestIP);
    QVERIFY(!d.ChercherNumero(3));

    QByteArray texte;
    QVERIFY(d.LireTexte(*d.ChercherNumero(2), texte, false));
    QCOMPARE(texte, QByteArray("Subject: \r\n\r\nsecond\r\n"));
    QVERIFY(d.LireTexte(*m1, texte, false));
    QCOMPARE(texte, QByteArray("Subject: Hello\r\n\r\nbody one\r\n"));
    QVERIFY(!d.LireTexte(*m5, texte, false)); // no text stored for it
    QVERIFY(texte.isEmpty());
}

void TestArchive::sauveOctetPourOctet() {
    copierFixture(m_rep.path());
    TUnCompteBis compte;
    compte.Numero = 7;
    {
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        d.FixeModifie = true;
        QVERIFY(d.Sauver());
        QVERIFY(!d.FixeModifie && !d.VarModifie);
    }
    const QString source = testsupport::cheminFixture(QStringLiteral("archive/"));
    QCOMPARE(lireFichier(dossiers() + QStringLiteral("7-var.qdl")),
             lireFichier(source + QStringLiteral("7-var.qdl")));
    QCOMPARE(lireFichier(dossiers() + QStringLiteral("7-fix.qdl")),
             lireFichier(source + QStringLiteral("7-fix.qdl")));
    QVERIFY(!QFile::exists(dossiers() + QStringLiteral("7-var.bak")));
    QVERIFY(!QFile::exists(dossiers() + QStringLiteral("7-fix.bak")));
}

void TestArchive::ancienFormatReecrit() {
    copierFixture(m_rep.path());
    TUnCompteBis compte;
    compte.Numero = 8;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    QCOMPARE(d.NbMessage(), 3);
    QCOMPARE(d.ChercherNumero(5)->Sujet, QByteArray("caf\xe9 \x80"));
    QVERIFY(d.FixeModifie && d.VarModifie);
    QVERIFY(d.Fermer());
    const QByteArray fixe = lireFichier(dossiers() + QStringLiteral("8-var.qdl"));
    QVERIFY(fixe.startsWith("VERSION=1\r\n"));
    QCOMPARE(fixe, lireFichier(testsupport::cheminFixture(QStringLiteral("archive/7-var.qdl"))));
}

void TestArchive::limitesDeLongueur_data() {
    QTest::addColumn<int>("l1");
    QTest::addColumn<int>("l2");
    QTest::addColumn<int>("l3");
    QTest::addColumn<int>("r1");
    QTest::addColumn<int>("r2");
    QTest::addColumn<int>("r3");
    QTest::newRow("under the limit untouched") << 1000 << 900 << 89 << 1000 << 900 << 89;
    QTest::newRow("each cut to 998 suffices") << 1500 << 800 << 0 << 998 << 800 << 0;
    QTest::newRow("sender takes what is left") << 1200 << 1200 << 10 << 998 << 982 << 10;
    QTest::newRow("sender never negative") << 5000 << 5000 << 5000 << 998 << 0 << 998;
    QTest::newRow("exactly 1990") << 990 << 990 << 10 << 990 << 990 << 10;
}

void TestArchive::limitesDeLongueur() {
    QFETCH(int, l1);
    QFETCH(int, l2);
    QFETCH(int, l3);
    qsizetype a = l1, b = l2, c = l3;
    TMonDossierBis::LimiterLongueurs(a, b, c);
    QFETCH(int, r1);
    QFETCH(int, r2);
    QFETCH(int, r3);
    QCOMPARE(int(a), r1);
    QCOMPARE(int(b), r2);
    QCOMPARE(int(c), r3);
}

void TestArchive::longueursCoupeesSurDisque() {
    TUnCompteBis compte;
    compte.Numero = 3;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    TUnMessageMem m = modele(46000.25, QByteArray(1200, 's'));
    m.Emetteur = QByteArray(1200, 'e');
    m.ReponseDNSBL = QByteArray(10, 'r');
    QVERIFY(d.AjouterMessage(m, "texte\r\n"));
    QVERIFY(d.AjouterMessage(modele(46000.25, QByteArray()), "texte 2\r\n"));
    QVERIFY(d.Sauver());
    TMonDossierBis relu;
    relu.setRepertoireDossiers(dossiers());
    QVERIFY(relu.Ouvrir(&compte));
    QCOMPARE(relu.NbMessage(), 2);
    QCOMPARE(relu.ChercherNumero(1)->Sujet, QByteArray(998, 's'));
    QCOMPARE(relu.ChercherNumero(1)->Emetteur, QByteArray(982, 'e'));
    QCOMPARE(relu.ChercherNumero(1)->ReponseDNSBL, QByteArray(10, 'r'));
    QCOMPARE(relu.ChercherNumero(2)->Emetteur, QByteArray("from@example.test"));
    QCOMPARE(lireFichier(relu.CheminVariable()).size(), 14 + 1990 + 14 + 17 + 9);
}

void TestArchive::message257DansLeFichier2() {
    TUnCompteBis compte;
    compte.Numero = 4;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    const TDateTime jour = 46001;
    for (int i = 1; i <= 258; ++i) {
        QString erreur;
        QVERIFY2(d.AjouterMessage(modele(jour + i / 1000.0), texteMessage(i), nullptr, &erreur),
                 qPrintable(erreur));
    }
    QVERIFY(d.AjouterMessage(modele(jour + 1.5), texteMessage(259)));
    const QString rep = dossiers() + QStringLiteral("4/");
    const QByteArray f1 = lireFichier(rep + QStringLiteral("20251210-1.news"));
    const QByteArray f2 = lireFichier(rep + QStringLiteral("20251210-2.news"));
    const QByteArray autreJour = lireFichier(rep + QStringLiteral("20251211-1.news"));
    QCOMPARE(f1.at(0), char(1));
    QCOMPARE(qFromLittleEndian<qint16>(f1.constData() + 1), qint16(256));
    QCOMPARE(caseNumero(f1, 0), 1);
    QCOMPARE(caseNumero(f1, 255), 256);
    QCOMPARE(caseNumero(f2, 0), 257);
    QCOMPARE(caseNumero(f2, 1), 258);
    QCOMPARE(caseNumero(f2, 2), 0);
    QCOMPARE(caseNumero(autreJour, 0), 259);
    // First text right after the header; texts appended in slot order.
    QCOMPARE(qFromLittleEndian<qint32>(f2.constData() + 7), 2051);
    QCOMPARE(f2.mid(2051), texteMessage(257) + texteMessage(258));

    for (int n : {1, 255, 256, 257, 258, 259}) {
        QByteArray texte;
        QVERIFY(d.LireTexte(*d.ChercherNumero(n), texte, false));
        QCOMPARE(texte, texteMessage(n));
    }
}

// A full day file is not read again while it is unchanged; a change made
// behind the archive's back (here a slot's number and text offset) is seen.
void TestArchive::fichierPleinModifieEstRelu() {
    TGestionFichierMessage f;
    const QString rep = dossiers() + QStringLiteral("7/");
    QVERIFY(QDir().mkpath(rep));
    f.setRepertoire(rep);
    const TDateTime jour = 46001.25;
    for (int i = 1; i <= 257; ++i)
        QVERIFY(f.Ajouter(i, jour, texteMessage(i)));
    QVERIFY(f.Present(12, jour));
    QVERIFY(!f.Present(9000, jour));

    const QString chemin = rep + QStringLiteral("20251210-1.news");
    QFile fichier(chemin);
    QVERIFY(fichier.open(QIODevice::ReadWrite));
    const QDateTime avant = fichier.fileTime(QFileDevice::FileModificationTime);
    QByteArray numero(4, '\0');
    qToLittleEndian<qint32>(9000, numero.data());
    QVERIFY(fichier.seek(3 + 11 * 8) && fichier.write(numero) == 4);
    fichier.close();
    // Within the same clock tick as the last read the time may not move: move it.
    QFile touche(chemin);
    QVERIFY(touche.open(QIODevice::ReadWrite));
    QVERIFY(touche.setFileTime(avant.addSecs(5), QFileDevice::FileModificationTime));
    touche.close();

    QVERIFY(f.Present(9000, jour));
    QVERIFY(!f.Present(12, jour));
    bool deja = false;
    QVERIFY(f.Ajouter(9000, jour, "autre", nullptr, &deja));
    QVERIFY(deja);
    QByteArray texte;
    QCOMPARE(f.Lire(9000, jour, texte), TGestionFichierMessage::TResultat::Trouve);
    QCOMPARE(texte, texteMessage(12));
    QCOMPARE(f.Lire(257, jour, texte), TGestionFichierMessage::TResultat::Trouve);
    QCOMPARE(texte, texteMessage(257));
}

void TestArchive::lectureEnteteSeul() {
    copierFixture(m_rep.path());
    TUnCompteBis compte;
    compte.Numero = 7;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    QByteArray texte;
    QVERIFY(d.LireTexte(*d.ChercherNumero(1), texte, true)); // TailleEntete 17
    QCOMPARE(texte, QByteArray("Subject: Hello\r\n\r"));
    QVERIFY(d.LireTexte(*d.ChercherNumero(2), texte, true)); // 0: the whole text
    QCOMPARE(texte, QByteArray("Subject: \r\n\r\nsecond\r\n"));
}

void TestArchive::suppressionPuisNumerosUniques() {
    TUnCompteBis compte;
    compte.Numero = 5;
    const TDateTime jour = 46002.5;
    {
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(d.AjouterMessage(modele(jour), texteMessage(i)));
        d.ChercherNumero(2)->Supprime = true;
        d.ChercherNumero(3)->Supprime = true;
        QCOMPARE(d.NbTotal(), 1);
        QCOMPARE(d.NbMessage(), 3);
        d.FixeModifie = true;
        QVERIFY(d.Fermer());
    }
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    QCOMPARE(d.NbMessage(), 1);
    QCOMPARE(d.DernierNumMessage(), 1);
    // The texts of the deleted messages stay in the data file...
    const QByteArray f = lireFichier(dossiers() + QStringLiteral("5/20251211-1.news"));
    QCOMPARE(caseNumero(f, 2), 3);
    // ...and the next message does not take a deleted one's number.
    PUnMessageMem nouveau = nullptr;
    QVERIFY(d.AjouterMessage(modele(jour), "nouveau\r\n", &nouveau));
    QCOMPARE(nouveau->Numero, 4);
    QByteArray texte;
    QVERIFY(d.LireTexte(*nouveau, texte, false));
    QCOMPARE(texte, QByteArray("nouveau\r\n"));
}

void TestArchive::indexEffacesRepartSansReutiliserUnTexte() {
    TUnCompteBis compte;
    compte.Numero = 6;
    const TDateTime jour = 46003.5;
    {
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        for (int i = 1; i <= 2; ++i)
            QVERIFY(d.AjouterMessage(modele(jour), texteMessage(i)));
        QVERIFY(d.Fermer());
    }
    QVERIFY(QFile::remove(dossiers() + QStringLiteral("6-var.qdl")));
    QVERIFY(QFile::remove(dossiers() + QStringLiteral("6-fix.qdl")));
    QVERIFY(QFile::remove(dossiers() + QStringLiteral("6/numero.qdl")));
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    QCOMPARE(d.NbMessage(), 0);
    QCOMPARE(d.DernierNumMessage(), 0);
    // Numbering starts again, but past the numbers that already own a text
    // that day.
    PUnMessageMem nouveau = nullptr;
    QVERIFY(d.AjouterMessage(modele(jour), "apres\r\n", &nouveau));
    QCOMPARE(nouveau->Numero, 3);
    QByteArray texte;
    QVERIFY(d.LireTexte(*nouveau, texte, false));
    QCOMPARE(texte, QByteArray("apres\r\n"));
    // On another day the numbering simply goes on.
    QVERIFY(d.AjouterMessage(modele(jour + 1), "demain\r\n", &nouveau));
    QCOMPARE(nouveau->Numero, 4);
}

void TestArchive::indexVariablePerduGardeLesMessages() {
    copierFixture(m_rep.path());
    QVERIFY(QFile::remove(dossiers() + QStringLiteral("7-fix.qdl")));
    TUnCompteBis compte;
    compte.Numero = 7;
    {
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        QCOMPARE(d.NbMessage(), 3);
        QVERIFY(d.ChercherNumero(1)->Sujet.isEmpty());
        QVERIFY(d.AjouterMessage(modele(46040.5, "nouveau"), "texte\r\n"));
        QVERIFY(d.Fermer());
    }
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    QCOMPARE(d.NbMessage(), 4);
    QCOMPARE(d.ChercherNumero(5)->ProbaBayes, 1000);
    QCOMPARE(d.ChercherNumero(6)->Sujet, QByteArray("nouveau"));
}

void TestArchive::bakRestaure() {
    TUnCompteBis compte;
    compte.Numero = 9;
    {
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(d.AjouterMessage(modele(46004.5), texteMessage(i)));
        QVERIFY(d.Fermer());
    }
    const QString variable = dossiers() + QStringLiteral("9-fix.qdl");
    const QByteArray ancien = lireFichier(variable);
    // A save stopped after the variable index stepped aside and a new one was
    // half written.
    QVERIFY(QFile::rename(variable, dossiers() + QStringLiteral("9-fix.bak")));
    ecrireFichier(variable, ancien.left(20));
    int evenements = 0;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    d.OnProblemeSauvegarde = [&](TMonDossierBis&, int quoi, const QString& fichier, bool& r) {
        ++evenements;
        QCOMPARE(quoi, 4);
        QVERIFY(fichier.endsWith(QLatin1String("9-var.qdl")));
        QVERIFY(r);
    };
    QVERIFY(d.Ouvrir(&compte));
    QCOMPARE(evenements, 1);
    QCOMPARE(lireFichier(variable), ancien);
    QVERIFY(!QFile::exists(dossiers() + QStringLiteral("9-fix.bak")));
    QCOMPARE(d.NbMessage(), 3);
    QCOMPARE(d.ChercherNumero(3)->Sujet, QByteArray("sujet"));
}

void TestArchive::bakGardeQuandRefuse() {
    TUnCompteBis compte;
    compte.Numero = 10;
    {
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        QVERIFY(d.AjouterMessage(modele(46004.5), texteMessage(1)));
        QVERIFY(d.Fermer());
    }
    QVERIFY(QFile::copy(dossiers() + QStringLiteral("10-var.qdl"),
                        dossiers() + QStringLiteral("10-var.bak")));
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    d.OnProblemeSauvegarde = [](TMonDossierBis&, int, const QString&, bool& r) { r = false; };
    QVERIFY(d.Ouvrir(&compte));
    QVERIFY(QFile::exists(dossiers() + QStringLiteral("10-var.bak")));
    QCOMPARE(d.NbMessage(), 1);
}

void TestArchive::sauvegardeTueeRestauree() {
    const QString exe = QCoreApplication::applicationFilePath();
    // Start from a sizeable archive so that kills land inside a save.
    {
        TUnCompteBis compte;
        compte.Numero = 1;
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        for (int i = 1; i <= 3000; ++i) {
            d.AjouterMessage(modele(46000.5, "sujet " + QByteArray::number(i)), texteMessage(i));
        }
        QVERIFY(d.Fermer());
    }
    int restaurations = 0;
    for (int tour = 0; tour < 20; ++tour) {
        QProcess enfant;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELVARIN_ARCHIVE_ENFANT"), m_rep.path());
        enfant.setProcessEnvironment(env);
        enfant.start(exe, {});
        QVERIFY(enfant.waitForStarted());
        QVERIFY(enfant.waitForReadyRead(20000));
        QTest::qWait(int(QRandomGenerator::global()->bounded(5, 120)));
        ::kill(pid_t(enfant.processId()), SIGKILL);
        QVERIFY(enfant.waitForFinished(10000));
        const QList<QByteArray> lignes = enfant.readAllStandardOutput().trimmed().split('\n');
        const int sauve = lignes.last().toInt();
        QVERIFY(sauve > 0);
        if (QFile::exists(dossiers() + QStringLiteral("1-var.bak")) ||
            QFile::exists(dossiers() + QStringLiteral("1-fix.bak"))) {
            ++restaurations;
        }

        TUnCompteBis compte;
        compte.Numero = 1;
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        // Every save that completed is there, whole: each record with its own
        // subject and text, numbers increasing (a number whose text reached a
        // data file before the kill is not handed out again).
        QVERIFY2(d.NbMessage() >= sauve,
                 qPrintable(QStringLiteral("%1 < %2").arg(d.NbMessage()).arg(sauve)));
        QVERIFY(d.NbMessage() <= sauve + 1);
        for (int i = 0; i < d.NbMessage(); i += (i + 1 < d.NbMessage() - 3 ? 97 : 1)) {
            const TUnMessageMem* m = d.Message(i);
            QVERIFY(i == 0 || m->Numero > d.Message(i - 1)->Numero);
            QVERIFY(m->Sujet.startsWith("sujet "));
            QByteArray texte;
            QVERIFY2(d.LireTexte(*m, texte, false), qPrintable(QString::number(m->Numero)));
            QCOMPARE(texte, texteMessage(m->Sujet.mid(6).toInt()));
        }
        QVERIFY(!QFile::exists(dossiers() + QStringLiteral("1-var.bak")));
        QVERIFY(!QFile::exists(dossiers() + QStringLiteral("1-fix.bak")));
    }
    qInfo("kills that left a backup to restore: %d of 20", restaurations);
}

// A message is handed to the client as soon as it is stored, long before the
// index is saved: a kill in between must not lose its record.
void TestArchive::ajoutsNonSauvesSurviventAuKill() {
    const QString exe = QCoreApplication::applicationFilePath();
    int stockes = 0;
    for (int tour = 0; tour < 3; ++tour) {
        QProcess enfant;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELVARIN_ARCHIVE_ENFANT"), m_rep.path());
        env.insert(QStringLiteral("KELVARIN_ARCHIVE_SANS_SAUVER"), QStringLiteral("1"));
        enfant.setProcessEnvironment(env);
        enfant.start(exe, {});
        QVERIFY(enfant.waitForStarted());
        // Some messages stored, then the kill wherever the child is.
        QByteArray sortie;
        QTRY_VERIFY_WITH_TIMEOUT((sortie += enfant.readAllStandardOutput()).count('\n') >= 20,
                                 20000);
        ::kill(pid_t(enfant.processId()), SIGKILL);
        QVERIFY(enfant.waitForFinished(10000));
        sortie += enfant.readAllStandardOutput();
        const QList<QByteArray> lignes = sortie.trimmed().split('\n');
        stockes = lignes.last().toInt();

        TUnCompteBis compte;
        compte.Numero = 1;
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        // Every message stored in every run, each with its own subject and text.
        QVERIFY2(d.NbMessage() >= stockes,
                 qPrintable(QStringLiteral("%1 < %2").arg(d.NbMessage()).arg(stockes)));
        for (int i = 0; i < d.NbMessage(); ++i) {
            const TUnMessageMem* m = d.Message(i);
            QVERIFY(m->Sujet.startsWith("sujet "));
            QCOMPARE(m->ProbaBayes, 500);
            QByteArray texte;
            QVERIFY(d.LireTexte(*m, texte, false));
            QCOMPARE(texte, texteMessage(m->Sujet.mid(6).toInt()));
        }
        // The next save takes the journal in and replaces it.
        QVERIFY(QFile::exists(d.CheminJournal()));
        d.FixeModifie = true;
        QVERIFY(d.Sauver());
        QVERIFY(!QFile::exists(d.CheminJournal()));
        TMonDossierBis relu;
        relu.setRepertoireDossiers(dossiers());
        QVERIFY(relu.Ouvrir(&compte));
        QCOMPARE(relu.NbMessage(), d.NbMessage());
    }
}

void TestArchive::indexEndommages_data() {
    QTest::addColumn<QByteArray>("fixe");
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QList<qint32>>("numeros");
    QTest::addColumn<QByteArrayList>("sujets");

    const QByteArray fixe =
        lireFichier(testsupport::cheminFixture(QStringLiteral("archive/7-var.qdl")));
    const QByteArray var =
        lireFichier(testsupport::cheminFixture(QStringLiteral("archive/7-fix.qdl")));
    const QByteArrayList tous{"Hello", "", "caf\xe9 \x80"};
    // Offsets of the three variable records: 0, 36, 50.
    auto avecLongueur = [&](qint32 longueur) {
        QByteArray v = var;
        qToLittleEndian<qint32>(longueur, v.data() + 36);
        return v;
    };
    QByteArray zero = fixe;
    qToLittleEndian<qint32>(0, zero.data() + 11 + 1);
    QByteArray sansNumero = var;
    qToLittleEndian<qint32>(3, sansNumero.data() + 4); // message 1 has no record

    QTest::newRow("intact") << fixe << var << QList<qint32>{1, 2, 5} << tous;
    QTest::newRow("short final fixed record")
        << fixe.left(fixe.size() - 5) << var << QList<qint32>{1, 2} << QByteArrayList{"Hello", ""};
    QTest::newRow("number 0 dropped")
        << zero << var << QList<qint32>{2, 5} << QByteArrayList{"", "caf\xe9 \x80"};
    QTest::newRow("length below 14")
        << fixe << avecLongueur(13) << QList<qint32>{1, 2, 5} << QByteArrayList{"Hello", "", ""};
    QTest::newRow("length disagrees with texts")
        << fixe << avecLongueur(16) << QList<qint32>{1, 2, 5} << QByteArrayList{"Hello", "", ""};
    QTest::newRow("length past the end")
        << fixe << avecLongueur(0x7fffffff) << QList<qint32>{1, 2, 5}
        << QByteArrayList{"Hello", "", ""};
    QTest::newRow("variable cut in a record")
        << fixe << var.left(60) << QList<qint32>{1, 2, 5} << QByteArrayList{"Hello", "", ""};
    QTest::newRow("number missing from variable")
        << fixe << sansNumero << QList<qint32>{1, 2, 5} << QByteArrayList{"", "", "caf\xe9 \x80"};
    QTest::newRow("variable empty")
        << fixe << QByteArray() << QList<qint32>{1, 2, 5} << QByteArrayList{"", "", ""};
    QTest::newRow("garbage") << QByteArray(500, '\xff') << QByteArray(500, '\xff')
                             << QList<qint32>{} << QByteArrayList{};
}

void TestArchive::indexEndommages() {
    QFETCH(QByteArray, fixe);
    QFETCH(QByteArray, variable);
    QFETCH(QList<qint32>, numeros);
    QFETCH(QByteArrayList, sujets);
    ecrireFichier(dossiers() + QStringLiteral("7-var.qdl"), fixe);
    ecrireFichier(dossiers() + QStringLiteral("7-fix.qdl"), variable);
    TUnCompteBis compte;
    compte.Numero = 7;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    QCOMPARE(d.NbMessage(), numeros.size());
    for (int i = 0; i < numeros.size(); ++i) {
        QCOMPARE(d.Message(i)->Numero, numeros.at(i));
        QCOMPARE(d.Message(i)->Index, i);
        QCOMPARE(d.Message(i)->Sujet, sujets.at(i));
    }
    // What was read saves back as a sound pair.
    d.FixeModifie = true;
    QVERIFY(d.Fermer());
    TMonDossierBis relu;
    relu.setRepertoireDossiers(dossiers());
    QVERIFY(relu.Ouvrir(&compte));
    QCOMPARE(relu.NbMessage(), numeros.size());
}

void TestArchive::fichierJourEndommage_data() {
    QTest::addColumn<QByteArray>("fichier");
    QTest::addColumn<QByteArray>("texte1"); // expected text of message 1 (empty: not found)
    QTest::addColumn<int>("case1");         // slot number 0 after the lookup (-1: invalidated)

    const QByteArray sain = TGestionFichierMessage::EnteteVide();
    auto avecCases = [&](QList<QPair<qint32, qint32>> cases, const QByteArray& suite) {
        QByteArray f = sain;
        for (int i = 0; i < cases.size(); ++i) {
            qToLittleEndian<qint32>(cases[i].first, f.data() + 3 + i * 8);
            qToLittleEndian<qint32>(cases[i].second, f.data() + 7 + i * 8);
        }
        return f + suite;
    };
    QTest::newRow("sound") << avecCases({{1, 2051}, {2, 2055}}, "un\r\ndeux\r\n")
                           << QByteArray("un\r\n") << 1;
    QTest::newRow("offset past the end clamped")
        << avecCases({{1, 2051}, {2, 999999}}, "un\r\ndeux\r\n") << QByteArray("un\r\ndeux\r\n")
        << 1;
    QTest::newRow("offset inside the header clamped")
        << avecCases({{1, 10}}, "un\r\n") << QByteArray("un\r\n") << 1;
    QTest::newRow("empty text invalidated")
        << avecCases({{1, 2055}, {2, 2051}}, "deux") << QByteArray() << -1;
    QTest::newRow("text at end of file invalidated")
        << avecCases({{1, 2051}}, QByteArray()) << QByteArray() << -1;
    QByteArray compteFaux = avecCases({{1, 2051}}, "un\r\n");
    qToLittleEndian<qint16>(9999, compteFaux.data() + 1);
    QTest::newRow("slot count ignored") << compteFaux << QByteArray("un\r\n") << 1;
    // A free slot before a used one: the text behind it is found, and a new one
    // does not go into the hole, where it would end before it starts.
    QTest::newRow("free slot before a used one")
        << avecCases({{0, 0}, {1, 2051}}, "un\r\n") << QByteArray("un\r\n") << 0;
    QTest::newRow("truncated header") << sain.left(100) << QByteArray() << 0;
    QTest::newRow("empty file") << QByteArray() << QByteArray() << 0;
}

void TestArchive::fichierJourEndommage() {
    QFETCH(QByteArray, fichier);
    QFETCH(QByteArray, texte1);
    QFETCH(int, case1);
    TGestionFichierMessage g;
    g.setRepertoire(dossiers());
    const TDateTime jour = 46010.5;
    const QString chemin = g.CheminFichier(46010, 1);
    ecrireFichier(chemin, fichier);
    QByteArray texte;
    const auto r = g.Lire(1, jour, texte);
    QCOMPARE(r, texte1.isEmpty() ? TGestionFichierMessage::TResultat::Absent
                                 : TGestionFichierMessage::TResultat::Trouve);
    QCOMPARE(texte, texte1);
    QCOMPARE(caseNumero(lireFichier(chemin).leftJustified(11, '\0'), 0), case1);

    // A new text still goes in, after the header, and reads back.
    bool deja = true;
    QString erreur;
    QVERIFY2(g.Ajouter(77, jour, "nouveau\r\n", &erreur, &deja), qPrintable(erreur));
    QVERIFY(!deja);
    QVERIFY(g.Lire(77, jour, texte) == TGestionFichierMessage::TResultat::Trouve);
    QCOMPARE(texte, QByteArray("nouveau\r\n"));
    QVERIFY(lireFichier(chemin).size() >= TGestionFichierMessage::kTailleEntete + 9);
    if (!texte1.isEmpty()) {
        QVERIFY(g.Lire(1, jour, texte) == TGestionFichierMessage::TResultat::Trouve);
        QVERIFY(texte.startsWith(texte1.left(4)));
    }
}

void TestArchive::fichierJourIllisibleJamaisTronque() {
    // A day file that exists but cannot be opened: the error reaches the
    // caller and nothing is created or truncated in its place.
    TUnCompteBis compte;
    compte.Numero = 11;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    const QString chemin = d.Fichiers().CheminFichier(46020, 1);
    QVERIFY(QDir().mkpath(chemin)); // a directory where the file should be
    ecrireFichier(chemin + QStringLiteral("/garde"), "contenu");
    QString erreur;
    PUnMessageMem m = nullptr;
    QVERIFY(!d.AjouterMessage(modele(46020.5), "texte\r\n", &m, &erreur));
    QVERIFY(!erreur.isEmpty());
    QVERIFY(m); // the record is kept, its text is missing
    QVERIFY(QFileInfo(chemin).isDir());
    QCOMPARE(lireFichier(chemin + QStringLiteral("/garde")), QByteArray("contenu"));
    QVERIFY(!QFile::exists(d.Fichiers().CheminFichier(46020, 2)));
    QByteArray texte;
    QVERIFY(!d.LireTexte(*m, texte, false));
}

void TestArchive::indexIllisibleJamaisEcrase() {
    copierFixture(m_rep.path());
    const QString fixe = dossiers() + QStringLiteral("7-var.qdl");
    QVERIFY(QFile::remove(dossiers() + QStringLiteral("7-fix.qdl")));
    QVERIFY(QDir().mkpath(dossiers() + QStringLiteral("7-fix.qdl"))); // unreadable
    TUnCompteBis compte;
    compte.Numero = 7;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    d.Ouvrir(&compte);
    QVERIFY(d.IndexProtege());
    QVERIFY(d.AjouterMessage(modele(46030.5), "texte\r\n"));
    QVERIFY(!d.Sauver());
    QCOMPARE(lireFichier(fixe),
             lireFichier(testsupport::cheminFixture(QStringLiteral("archive/7-var.qdl"))));
}

void TestArchive::sauvegardeEchoueeGardeLAncien() {
    copierFixture(m_rep.path());
    TUnCompteBis compte;
    compte.Numero = 7;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&compte));
    QVERIFY(d.AjouterMessage(modele(46050.5, "nouveau"), "texte\r\n"));
    // The new fixed index cannot be written (its temporary name is taken).
    const QString bloque = dossiers() + QStringLiteral("7-var.qdl.tmp");
    QVERIFY(QDir().mkpath(bloque));
    QString erreur;
    QVERIFY(!d.Sauver(&erreur));
    QVERIFY(!erreur.isEmpty());
    QVERIFY(d.FixeModifie && d.VarModifie);
    const QString source = testsupport::cheminFixture(QStringLiteral("archive/"));
    QCOMPARE(lireFichier(dossiers() + QStringLiteral("7-var.qdl")),
             lireFichier(source + QStringLiteral("7-var.qdl")));
    QCOMPARE(lireFichier(dossiers() + QStringLiteral("7-fix.qdl")),
             lireFichier(source + QStringLiteral("7-fix.qdl")));
    QVERIFY(!QFile::exists(dossiers() + QStringLiteral("7-fix.qdl.tmp")));
    // Once the way is clear the same records save.
    QVERIFY(QDir(bloque).removeRecursively());
    QVERIFY(d.Sauver());
    TMonDossierBis relu;
    relu.setRepertoireDossiers(dossiers());
    QVERIFY(relu.Ouvrir(&compte));
    QCOMPARE(relu.NbMessage(), 4);
    QCOMPARE(relu.ChercherNumero(6)->Sujet, QByteArray("nouveau"));
}

void TestArchive::changementRefuseSiSauvegardeEchoue() {
    // Opening another account while the open one cannot be saved: its unsaved
    // record stays in memory, and the caller hears of it.
    copierFixture(m_rep.path());
    TUnCompteBis sept, huit;
    sept.Numero = 7;
    huit.Numero = 8;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    QVERIFY(d.Ouvrir(&sept));
    QVERIFY(d.AjouterMessage(modele(46050.5, "nouveau"), "texte\r\n"));
    const QString bloque = dossiers() + QStringLiteral("7-var.qdl.tmp");
    QVERIFY(QDir().mkpath(bloque));
    for (TUnCompteBis* autre : {&huit, static_cast<TUnCompteBis*>(nullptr)}) {
        QVERIFY(!d.Ouvrir(autre));
        QCOMPARE(d.Compte(), 7);
        QCOMPARE(d.NbMessage(), 4);
        QCOMPARE(d.ChercherNumero(6)->Sujet, QByteArray("nouveau"));
    }
    // Once the way is clear the next change saves it first.
    QVERIFY(QDir(bloque).removeRecursively());
    QVERIFY(d.Ouvrir(&huit));
    QCOMPARE(d.Compte(), 8);
    TMonDossierBis relu;
    relu.setRepertoireDossiers(dossiers());
    QVERIFY(relu.Ouvrir(&sept));
    QCOMPARE(relu.NbMessage(), 4);
    QCOMPARE(relu.ChercherNumero(6)->Sujet, QByteArray("nouveau"));
}

void TestArchive::indexIllisibleNeBloquePasLesAutres() {
    // An index that cannot be read is never written over, so waiting for it
    // would keep every other account from its archive: the change goes on,
    // reported as failed.
    copierFixture(m_rep.path());
    QVERIFY(QFile::remove(dossiers() + QStringLiteral("7-fix.qdl")));
    QVERIFY(QDir().mkpath(dossiers() + QStringLiteral("7-fix.qdl")));
    TUnCompteBis sept, huit;
    sept.Numero = 7;
    huit.Numero = 8;
    TMonDossierBis d;
    d.setRepertoireDossiers(dossiers());
    d.Ouvrir(&sept);
    QVERIFY(d.IndexProtege());
    QVERIFY(d.AjouterMessage(modele(46030.5), "texte\r\n"));
    QVERIFY(!d.Ouvrir(&huit));
    QCOMPARE(d.Compte(), 8);
    QVERIFY(!d.IndexProtege());
    QVERIFY(d.NbMessage() > 0);
}

// The proxy's view archives while the review page's view holds the same
// account: the review side must never save an out-of-date list over it.
void TestArchive::vueRelitCeQuUneAutreASauve() {
    TUnCompteBis compte;
    compte.Numero = 3;
    TMonDossierBis proxy, revue;
    proxy.setRepertoireDossiers(dossiers());
    revue.setRepertoireDossiers(dossiers());
    int n = 0;
    // One retrieval: the proxy opens the account, archives, saves and lets it go.
    const auto recevoir = [&](int combien) {
        QVERIFY(proxy.Ouvrir(&compte));
        for (int i = 0; i < combien; ++i) {
            ++n;
            QVERIFY(proxy.AjouterMessage(modele(46000.5, "sujet " + QByteArray::number(n)),
                                         texteMessage(n)));
        }
        QVERIFY(proxy.Fermer());
        QVERIFY(proxy.Ouvrir(nullptr));
    };
    const auto numerosSurDisque = [&] {
        TMonDossierBis relu;
        relu.setRepertoireDossiers(dossiers());
        relu.Ouvrir(&compte);
        QList<int> r;
        for (int i = 0; i < relu.NbMessage(); ++i)
            r << relu.Message(i)->Numero;
        return r;
    };

    recevoir(3);
    // A rebuild walks the account through the review side and rewrites its index.
    QVERIFY(revue.Ouvrir(&compte));
    QCOMPARE(revue.NbMessage(), 3);
    revue.FixeModifie = true;
    QVERIFY(revue.Sauver());
    QVERIFY(!revue.Perime());

    // Two more arrive; the second rebuild opens the account it still holds.
    recevoir(2);
    QVERIFY(revue.Perime());
    QVERIFY(revue.Ouvrir(&compte));
    QCOMPARE(revue.NbMessage(), 5);
    QCOMPARE(compte.DernierNumero, 5);
    revue.FixeModifie = true;
    QVERIFY(revue.Sauver());
    QCOMPARE(numerosSurDisque(), (QList<int>{1, 2, 3, 4, 5}));

    // The re-emission lookup finds a message archived after the review side loaded.
    recevoir(1);
    PUnMessageMem six = revue.ChercherNumero(6);
    QVERIFY(six);
    QCOMPARE(six->Sujet, QByteArray("sujet 6"));

    // A deletion on the review side, then a retrieval before it is saved: the
    // save keeps both, and the record in hand stays valid.
    PUnMessageMem deux = revue.ChercherNumero(2);
    QVERIFY(deux);
    revue.MarquerSupprime(*deux);
    recevoir(1);
    QVERIFY(revue.Sauver());
    QCOMPARE(deux->Numero, 2);
    QCOMPARE(numerosSurDisque(), (QList<int>{1, 3, 4, 5, 6, 7}));
    // The proxy side sees the review side's save at its next open.
    recevoir(1);
    QCOMPARE(numerosSurDisque(), (QList<int>{1, 3, 4, 5, 6, 7, 8}));
}

// The proxy fetching for several accounts at once: each change of account
// puts the open one aside without a save while the journal holds all its
// changes; nothing is lost to a crash, to another view's save, or to the limit.
void TestArchive::comptesMisDeCote() {
    TUnCompteBis comptes[4];
    for (int i = 0; i < 4; ++i)
        comptes[i].Numero = i + 1;
    TMonDossierBis proxy;
    proxy.setRepertoireDossiers(dossiers());
    proxy.GarderComptes = true;
    int n = 0;
    const auto ajouter = [&](TUnCompteBis& c) {
        QVERIFY(proxy.Ouvrir(&c));
        QCOMPARE(proxy.Compte(), c.Numero);
        ++n;
        QVERIFY(proxy.AjouterMessage(modele(46000.5, "sujet " + QByteArray::number(n)),
                                     texteMessage(n)));
    };
    const auto sujetsSurDisque = [&](TUnCompteBis& c, bool avecJournal) {
        TMonDossierBis relu;
        relu.setRepertoireDossiers(dossiers());
        // Without the journal: what the index holds.
        if (!avecJournal)
            QFile::remove(dossiers() + QString::number(c.Numero) + QStringLiteral("/journal.qdl"));
        relu.Ouvrir(&c);
        QList<QByteArray> r;
        for (int i = 0; i < relu.NbMessage(); ++i)
            if (!relu.Message(i)->Supprime) r << relu.Message(i)->Sujet;
        return r;
    };
    const auto index = [&](int compte) {
        return dossiers() + QString::number(compte) + QStringLiteral("-var.qdl");
    };

    // Messages of accounts 1 and 2 in turns: no index is written.
    for (int tour = 0; tour < 3; ++tour) {
        ajouter(comptes[0]);
        ajouter(comptes[1]);
    }
    QVERIFY(!QFile::exists(index(1)));
    QVERIFY(!QFile::exists(index(2)));
    QVERIFY(proxy.Contient(1) && proxy.Contient(2) && !proxy.Contient(3));
    QCOMPARE(proxy.NbComptesDeCote(), 1);
    QCOMPARE(proxy.NbMessage(), 3);
    QCOMPARE(comptes[1].DernierNumero, 2); // as it stood when taken back

    // A crash now: another run finds every message in the journal.
    QCOMPARE(sujetsSurDisque(comptes[0], true),
             (QList<QByteArray>{"sujet 1", "sujet 3", "sujet 5"}));

    // The review side saves account 1 with a deletion while it is aside; the
    // proxy takes it back, adds, and its save keeps both.
    {
        TMonDossierBis revue;
        revue.setRepertoireDossiers(dossiers());
        QVERIFY(revue.Ouvrir(&comptes[0]));
        QCOMPARE(revue.NbMessage(), 3);
        revue.MarquerSupprime(*revue.Message(0));
        QVERIFY(revue.Fermer());
    }
    ajouter(comptes[0]); // sujet 7
    QVERIFY(proxy.FermerCompte(1));
    QVERIFY(!proxy.Contient(1));
    QCOMPARE(sujetsSurDisque(comptes[0], false),
             (QList<QByteArray>{"sujet 3", "sujet 5", "sujet 7"}));

    // A change the journal cannot hold is saved before the account goes aside.
    QVERIFY(proxy.Ouvrir(&comptes[1]));
    proxy.MarquerSupprime(*proxy.Message(0));
    ajouter(comptes[2]); // sujet 8
    QVERIFY(QFile::exists(index(2)));
    QCOMPARE(sujetsSurDisque(comptes[1], false), (QList<QByteArray>{"sujet 4", "sujet 6"}));

    // Over the limit, the oldest aside is saved and let go.
    proxy.MaxMessagesDeCote = 3;
    ajouter(comptes[3]); // sujet 9: account 3 goes aside beside 2
    ajouter(comptes[0]); // sujet 10: 4 goes aside too
    QVERIFY(!proxy.Contient(2) && proxy.Contient(3) && proxy.Contient(4));
    QCOMPARE(sujetsSurDisque(comptes[1], false), (QList<QByteArray>{"sujet 4", "sujet 6"}));

    // Closing saves every account held, and only then forgets them.
    QVERIFY(proxy.Fermer());
    QVERIFY(proxy.Ouvrir(nullptr));
    QVERIFY(!proxy.Occupe());
    QCOMPARE(sujetsSurDisque(comptes[0], false),
             (QList<QByteArray>{"sujet 3", "sujet 5", "sujet 7", "sujet 10"}));
    QCOMPARE(sujetsSurDisque(comptes[2], false), (QList<QByteArray>{"sujet 8"}));
    QCOMPARE(sujetsSurDisque(comptes[3], false), (QList<QByteArray>{"sujet 9"}));
}

// A damaged reception date in an index record still names a valid day file:
// the text is stored and found again, never under a garbage name.
void TestArchive::dateDeReceptionEndommagee_data() {
    QTest::addColumn<double>("reception");
    QTest::addColumn<QString>("fichier");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN()
                         << QStringLiteral("18991230-1.news");
    QTest::newRow("huge") << 1e300 << QStringLiteral("99991231-1.news");
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity()
                              << QStringLiteral("99991231-1.news");
    QTest::newRow("far negative") << -1e300 << QStringLiteral("00010101-1.news");
    QTest::newRow("just past the last day") << 2958466.5 << QStringLiteral("99991231-1.news");
    QTest::newRow("valid") << 46022.75 << QStringLiteral("20251231-1.news");
}

void TestArchive::dateDeReceptionEndommagee() {
    QFETCH(double, reception);
    QFETCH(QString, fichier);
    TUnCompteBis compte;
    compte.Numero = 4;
    {
        TMonDossierBis d;
        d.setRepertoireDossiers(dossiers());
        QVERIFY(d.Ouvrir(&compte));
        QVERIFY(d.AjouterMessage(modele(reception), texteMessage(1)));
    }
    QVERIFY(QFile::exists(dossiers() + QStringLiteral("4/") + fichier));
    TMonDossierBis relu;
    relu.setRepertoireDossiers(dossiers());
    QVERIFY(relu.Ouvrir(&compte));
    QCOMPARE(relu.NbMessage(), 1);
    QByteArray texte;
    QVERIFY(relu.LireTexte(*relu.Message(0), texte, false));
    QCOMPARE(texte, texteMessage(1));
}

int main(int argc, char** argv) {
    const QByteArray enfant = qgetenv("KELVARIN_ARCHIVE_ENFANT");
    QCoreApplication app(argc, argv);
    if (!enfant.isEmpty())
        return enfantSauvegarde(QString::fromLocal8Bit(enfant) + QLatin1Char('/'),
                                qEnvironmentVariableIsEmpty("KELVARIN_ARCHIVE_SANS_SAUVER"));
    TestArchive t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_archive.moc"
