// Full rebuild of the knowledge base: an archive holding the whole public
// corpus is built in a temporary home, then rebuilt from scratch; messages per
// second beside bogofilter training the very same messages (its word list in a
// temporary directory of its own).
//
// bench_reconstruction [--copie FILE]
//   --copie  copies the rebuilt bayes.qdl to FILE, to compare two builds' results
#ifndef KELVARIN_SOURCE_DIR
#define KELVARIN_SOURCE_DIR "." // without the test support: run from the source tree
#endif
#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "bayes/reconstruction_bayes.h"
#include "core/date_time.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "tests/bayes/bayes_test_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/resource.h>

using namespace bayestest;

namespace {

// Trains bogofilter with the file names on standard input (bulk mode).
bool bogofilter(const QString& repertoire, const char* sens, const QStringList& fichiers,
                qint64& ns) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("bogofilter"),
            {QStringLiteral("-d"), repertoire, QLatin1String(sens), QStringLiteral("-b")});
    if (!p.waitForStarted()) return false;
    p.write(fichiers.join(QLatin1Char('\n')).toLocal8Bit() + '\n');
    p.closeWriteChannel();
    p.waitForFinished(-1);
    ns += t.nsecsElapsed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() <= 2;
}

// User and system processor time so far, in seconds, of this process or of
// its finished children.
void tempsProcesseur(double& utilisateur, double& systeme, int qui = RUSAGE_SELF) {
    rusage r{};
    getrusage(qui, &r);
    utilisateur = double(r.ru_utime.tv_sec) + double(r.ru_utime.tv_usec) / 1e6;
    systeme = double(r.ru_stime.tv_sec) + double(r.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString dossier = dossierCorpus();
    if (dossier.isEmpty()) {
        std::fprintf(stderr, "corpus introuvable (scripts/fetch-corpus.sh)\n");
        return 1;
    }
    const QList<TMessageCorpus> messages = lireCorpus(dossier);
    const int nb = int(messages.size());
    std::printf("corpus: %d messages\n", nb);

    QTemporaryDir home;
    const QString racine = home.path() + QLatin1Char('/');
    for (const char* d : {"Donnees", "Dossiers", "tmp", "bogo", "messages"})
        QDir().mkpath(racine + QLatin1String(d));

    TGestionComptesBis comptes;
    comptes.OnInitRepertoire = [&racine](TGestionComptesBis&, QString& travail, QString& inst) {
        travail = racine;
        inst = racine;
    };
    // Two mailboxes, the corpus dealt between them, 100 messages a day.
    TUnCompteBis* boites[] = {comptes.ChercherOuCreer("pop.exemple.org", "paul"),
                              comptes.ChercherOuCreer("pop.exemple.org", "marie")};
    QElapsedTimer chrono;
    chrono.start();
    QStringList fichiersSpam, fichiersBon;
    {
        TMonDossierBis archive;
        archive.setRepertoireDossiers(comptes.RepertoireDossiers());
        for (int b = 0; b < 2; ++b) {
            archive.Ouvrir(boites[b]);
            for (int i = b; i < nb; i += 2) {
                const TMessageCorpus& m = messages[i];
                TUnMessageMem modele;
                modele.Spam = m.groupe.startsWith(u"spam");
                modele.TestBayes = true;
                modele.Reception = datetime::encoder(2003, 1, 1, 10) + i / 200;
                QString erreur;
                if (!archive.AjouterMessage(modele, m.octets, nullptr, &erreur)) {
                    std::fprintf(stderr, "archive : %s\n", qPrintable(erreur));
                    return 1;
                }
                // The same bytes for bogofilter.
                const QString nom = racine + QStringLiteral("messages/%1.eml").arg(i);
                QFile f(nom);
                if (!f.open(QIODevice::WriteOnly) || f.write(m.octets) != m.octets.size()) return 1;
                (modele.Spam ? fichiersSpam : fichiersBon) << nom;
            }
        }
        archive.Ouvrir(nullptr);
    }
    std::printf("archive built: %.2f s (%lld spam, %lld good)\n", chrono.nsecsElapsed() / 1e9,
                static_cast<long long>(fichiersSpam.size()),
                static_cast<long long>(fichiersBon.size()));

    TEncodageDecodage encodage;
    encodage.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage/"));
    TMonMimeDecode decodeur;
    decodeur.setEncodageDecodage(&encodage);
    decodeur.setRepDestination(racine + QStringLiteral("tmp"));
    TFiltreBayes filtre(comptes.RepertoireDonnees());
    TMonDossierBis synchro, affichage;
    synchro.setRepertoireDossiers(comptes.RepertoireDossiers());
    affichage.setRepertoireDossiers(comptes.RepertoireDossiers());
    TReconstructionBayes reconstruction(filtre, comptes, synchro, affichage, decodeur);
    int fusions = 0;
    reconstruction.OnAvancement = [&fusions](const QString&, const QString& ligne2) {
        fusions += ligne2.startsWith(u"fusion");
    };

    double utilisateur0 = 0, systeme0 = 0, utilisateur1 = 0, systeme1 = 0;
    tempsProcesseur(utilisateur0, systeme0);
    chrono.restart();
    const auto resultat = reconstruction.BtnBayesienTotalClick(false);
    const qint64 nsReconstruction = chrono.nsecsElapsed();
    tempsProcesseur(utilisateur1, systeme1);
    if (resultat != TReconstructionBayes::rrFait) {
        std::fprintf(stderr, "reconstruction : %s\n", qPrintable(reconstruction.DerniereErreur()));
        return 1;
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArrayView(argv[i]) != "--copie") continue;
        const QString copie = QString::fromLocal8Bit(argv[i + 1]);
        QFile::remove(copie);
        if (!QFile::copy(filtre.Base().FileSpec, copie)) {
            std::fprintf(stderr, "copie impossible : %s\n", qPrintable(copie));
            return 1;
        }
    }
    const double parSeconde = nb / (nsReconstruction / 1e9);
    std::printf("full rebuild: %.2f s, %.0f messages/s, %d tokens, %d spam + %d good learned, "
                "%d merges, bayes.qdl %lld bytes\n",
                nsReconstruction / 1e9, parSeconde, filtre.Base().NbMots(),
                filtre.Base().NbSpamAppris, filtre.Base().NbBonAppris, fusions,
                static_cast<long long>(QFileInfo(filtre.Base().FileSpec).size()));
    std::printf("rebuild processor time: %.2f s user, %.2f s system\n", utilisateur1 - utilisateur0,
                systeme1 - systeme0);
    const double cpuReconstruction = utilisateur1 - utilisateur0 + systeme1 - systeme0;

    qint64 nsBogo = 0;
    const QString repBogo = racine + QStringLiteral("bogo");
    tempsProcesseur(utilisateur0, systeme0, RUSAGE_CHILDREN);
    if (!bogofilter(repBogo, "-s", fichiersSpam, nsBogo) ||
        !bogofilter(repBogo, "-n", fichiersBon, nsBogo)) {
        std::printf("bogofilter: not available\n");
        return 0;
    }
    tempsProcesseur(utilisateur1, systeme1, RUSAGE_CHILDREN);
    const double bogoParSeconde = nb / (nsBogo / 1e9);
    std::printf("bogofilter training (-s / -n, bulk): %.2f s, %.0f messages/s\n", nsBogo / 1e9,
                bogoParSeconde);
    std::printf("bogofilter processor time: %.2f s user, %.2f s system\n",
                utilisateur1 - utilisateur0, systeme1 - systeme0);
    std::printf("ratio: rebuild rate / bogofilter rate = %.2f\n", parSeconde / bogoParSeconde);
    // On a shared machine the wall clock counts the waits for a core too.
    std::printf("ratio by processor time (user + system): %.2f\n",
                (utilisateur1 - utilisateur0 + systeme1 - systeme0) / cpuReconstruction);
    return 0;
}
