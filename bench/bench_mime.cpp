// Cost of the decoders of mime/ on hostile input, at 1x, 4x and 16x one size:
// milliseconds per MB at each size and the ratio from one size to the next. A
// decoder whose cost is linear in its input keeps a ratio near 1; a quadratic
// one shows about 4 at each step.
//
// Then the public corpus as the filter reads it: microseconds per message for
// the decoder alone, for the Bayesian text (decoder, header words, subject) and
// for the whole path up to the tokens, and a digest of everything those steps
// give, to show that a change of the decoder leaves its results as they were.
//
// bench_mime [--base KB] [--cas NAME] [--limite S] [--corpus N] [--sans-hostiles]
//   --base    size of the 1x input in KB (default 128)
//   --cas     only the cases whose name contains NAME
//   --limite  skip the larger sizes of a case once one run took S seconds (default 60)
//   --corpus  timed passes over the corpus (default 3; 0: the digest only; -1: no corpus)
//   --sans-hostiles  only the corpus
#ifndef KELVARIN_SOURCE_DIR
#define KELVARIN_SOURCE_DIR "." // without the test support: run from the source tree
#endif
#include "bayes/filtre_bayes.h"
#include "bayes/texte_bayes.h"
#include "core/cp1252.h"
#include "mime/adresse.h"
#include "mime/analyseur_mime.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "mime/mon_string_list.h"
#include "tests/bayes/bayes_test_util.h"
#include "tests/mime/entrees_hostiles.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

struct TCas {
    const char* nom;
    std::function<QByteArray(qsizetype)> entree;
    std::function<qsizetype(const QByteArray&)> travail; // returns a size so nothing is elided
};

// Processor time of this thread: the machine is shared, and time spent waiting
// for a core says nothing about the decoder.
double secondesProcesseur() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Best of a few runs, in seconds; one run when it is already long.
double mesurer(const TCas& cas, const QByteArray& entree, qsizetype& resultat) {
    double meilleur = 1e30;
    double total = 0;
    for (int essai = 0; essai < 5 && (essai == 0 || total < 0.5); ++essai) {
        const double debut = secondesProcesseur();
        resultat = cas.travail(entree);
        const double s = secondesProcesseur() - debut;
        meilleur = std::min(meilleur, s);
        total += s;
    }
    return meilleur;
}

// The corpus through the decoder and the filter's text, timed per step, and
// the digest of every result. Returns false when the corpus is missing.
bool corpus(TEncodageDecodage& enc, int passes) {
    const QString dossier = bayestest::dossierCorpus();
    if (dossier.isEmpty()) return false;
    const QList<bayestest::TMessageCorpus> messages = bayestest::lireCorpus(dossier);
    QTemporaryDir rep;
    TFiltreBayes filtre(rep.path());
    TMonMimeDecode decodeur;
    decodeur.setEncodageDecodage(&enc);
    decodeur.setRepDestination(rep.filePath(QStringLiteral("tmp")));
    TBayesDoc& doc = filtre.DocAffichage;
    QByteArray texte;
    int32_t finTexte = 0, finEntetes = 0;
    auto texteBayes = [&](const QByteArray& m) {
        filtre.ConstruireTexteBayes(decodeur, m, finTexte, finEntetes, texte);
        return PrefixeSujet(cp1252::depuisUnicode(enc.DecoderEntete(decodeur.SujetBrut())));
    };

    // Untimed: the digest of what each message gives.
    QCryptographicHash empreinte(QCryptographicHash::Sha1);
    auto ajouter = [&empreinte](QByteArrayView v) {
        const qint64 n = v.size();
        empreinte.addData(QByteArrayView(reinterpret_cast<const char*>(&n), sizeof n));
        empreinte.addData(v);
    };
    for (const auto& m : messages) {
        const QByteArray prefixe = texteBayes(m.octets);
        for (const QByteArrayList* l :
             {&decodeur.LignesEntete(),
              static_cast<const QByteArrayList*>(&decodeur.MessagePlain()),
              static_cast<const QByteArrayList*>(&decodeur.MessageHtml())}) {
            ajouter(QByteArray::number(l->size()));
            for (const QByteArray& x : *l)
                ajouter(x);
        }
        for (const QByteArray* x :
             {&decodeur.DeBrut(), &decodeur.ABrut(), &decodeur.CcBrut(), &decodeur.SujetBrut(),
              &decodeur.CharsetPlain(), &decodeur.CharsetHtml(), &decodeur.FormatPlain(),
              &decodeur.FormatHtml()})
            ajouter(*x);
        ajouter(QByteArray::number(decodeur.DelSP()) + ' ' +
                QByteArray::number(int(decodeur.TypeMessage())) + ' ' +
                QByteArray::number(finTexte) + ' ' + QByteArray::number(finEntetes));
        ajouter(texte);
        ajouter(prefixe);
        doc.Analyser(texte, finEntetes, prefixe, finTexte);
        ajouter(bayestest::decrire(doc).toUtf8());
    }

    // Best of the passes for each step, in microseconds per message.
    double meilleur[3] = {1e30, 1e30, 1e30};
    for (int p = 0; p < passes; ++p) {
        double debut = secondesProcesseur();
        for (const auto& m : messages) {
            decodeur.Reinitialiser();
            decodeur.Decoder(m.octets);
        }
        meilleur[0] = std::min(meilleur[0], secondesProcesseur() - debut);
        debut = secondesProcesseur();
        for (const auto& m : messages)
            texteBayes(m.octets);
        meilleur[1] = std::min(meilleur[1], secondesProcesseur() - debut);
        debut = secondesProcesseur();
        for (const auto& m : messages) {
            const QByteArray prefixe = texteBayes(m.octets);
            doc.Analyser(texte, finEntetes, prefixe, finTexte);
        }
        meilleur[2] = std::min(meilleur[2], secondesProcesseur() - debut);
    }
    const double n = double(std::max<qsizetype>(1, messages.size()));
    std::printf("corpus: %lld messages, digest %s\n", static_cast<long long>(messages.size()),
                empreinte.result().toHex().constData());
    if (passes > 0)
        std::printf("corpus, us per message: decoder %.1f, Bayesian text %.1f, with tokens %.1f\n",
                    meilleur[0] * 1e6 / n, meilleur[1] * 1e6 / n, meilleur[2] * 1e6 / n);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qsizetype base = 128 * 1024;
    const char* filtre = nullptr;
    double limite = 60;
    int passes = 3;
    bool hostiles = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sans-hostiles")) {
            hostiles = false;
            continue;
        }
        if (i + 1 >= argc) break;
        if (!std::strcmp(argv[i], "--corpus"))
            passes = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--base"))
            base = qsizetype(std::atol(argv[++i])) * 1024;
        else if (!std::strcmp(argv[i], "--cas"))
            filtre = argv[++i];
        else if (!std::strcmp(argv[i], "--limite"))
            limite = std::atof(argv[++i]);
    }

    TEncodageDecodage enc;
    enc.ChargerCharsets(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"));
    TMonMimeDecode decodeur;
    decodeur.setEncodageDecodage(&enc);
    decodeur.setIgnorePJ(true);
    auto message = [&decodeur](const QByteArray& m) {
        decodeur.Reinitialiser();
        decodeur.Decoder(m);
        return decodeur.MessagePlain().size() + decodeur.LignesEntete().size();
    };

    const std::vector<TCas> cas = {
        {"yenc-noms-distincts", [](qsizetype n) { return hostile::blocsYEnc(n); }, message},
        {"uu-meme-nom", [](qsizetype n) { return hostile::blocsUU(n); }, message},
        {"mots-sans-lettre", hostile::motsSansLettre,
         [&enc](const QByteArray& t) { return enc.DecoderEntete(t).size(); }},
        {"mots-non-fermes", hostile::motsNonFermes,
         [&enc](const QByteArray& t) { return enc.DecoderEntete(t).size(); }},
        {"mots-joints", [](qsizetype n) { return hostile::motsJoints(n); },
         [&enc](const QByteArray& t) { return enc.DecoderEntete(t).size(); }},
        {"mots-tabulations", hostile::motsTabulations,
         [&enc](const QByteArray& t) { return enc.DecoderEntete(t).size(); }},
        {"message-lignes-64k", [](qsizetype n) { return hostile::enteteMotsSansLettre(n); },
         [&](const QByteArray& m) {
             // What the Bayesian text does with each header line.
             qsizetype r = message(m);
             for (const QByteArray& l : decodeur.LignesEntete()) {
                 const qsizetype p = l.indexOf(": ");
                 if (p >= 0) r += enc.DecoderEntete(QByteArrayView(l).sliced(p + 2)).size();
             }
             return r;
         }},
        {"parties-nombreuses", [](qsizetype n) { return hostile::partiesNombreuses(n); }, message},
        {"entete-replie", hostile::enteteReplie, message},
        {"corps-qp", hostile::corpsQP, message},
        {"corps-base64", hostile::corpsBase64, message},
        {"utf7", hostile::utf7, [](const QByteArray& t) { return DecoderUTF7(t).size(); }},
        {"utf8", hostile::utf8, [](const QByteArray& t) { return DecoderUTF8(t).size(); }},
        {"base64-mot", hostile::corpsBase64,
         [](const QByteArray& t) { return DecoderBase64(t).size(); }},
        {"q-mot", hostile::corpsQP, [](const QByteArray& t) { return DecoderQ(t).size(); }},
        {"nom-fichier", hostile::nomHostile,
         [&enc](const QByteArray& t) { return enc.NettoyerNomFichier(t).size(); }},
        {"adresse", hostile::adresseHostile,
         [](const QByteArray& t) {
             QByteArray nom, adresse;
             SeparerAdresse(t, nom, adresse);
             return nom.size() + adresse.size();
         }},
        {"table-charset", hostile::tableLongue,
         [](const QByteArray& t) {
             TUnCharset cs;
             return qsizetype(TEncodageDecodage::LireTable(t, cs));
         }},
        {"parametre", hostile::parametresLeurres,
         [](const QByteArray& t) { return mime::parametre(t, "boundary").size(); }},
        {"string-list", [](qsizetype n) { return QByteArray(n, '\r') + QByteArray(n, '\n'); },
         [](const QByteArray& t) {
             TMonStringList l;
             l.setTexte(t);
             return l.size();
         }},
    };

    if (passes >= 0 && !corpus(enc, passes))
        std::printf("corpus: not found (scripts/fetch-corpus.sh)\n");
    if (!hostiles) return 0;

    std::printf("%-22s %10s %10s %10s %10s %8s %8s\n", "cas", "1x (KB)", "1x ms/MB", "4x ms/MB",
                "16x ms/MB", "4x/1x", "16x/4x");
    for (const TCas& c : cas) {
        if (filtre && !std::strstr(c.nom, filtre)) continue;
        double parMo[3] = {-1, -1, -1};
        qsizetype taille1 = 0;
        for (int k = 0; k < 3; ++k) {
            const QByteArray entree = c.entree(base << (2 * k));
            if (k == 0) taille1 = entree.size();
            qsizetype resultat = 0;
            const double s = mesurer(c, entree, resultat);
            parMo[k] = s * 1000.0 / (double(entree.size()) / (1024.0 * 1024.0));
            if (s > limite) break;
        }
        auto ratio = [](double a, double b) { return a > 0 && b > 0 ? b / a : 0.0; };
        std::printf("%-22s %10lld %10.2f %10.2f %10.2f %8.2f %8.2f\n", c.nom,
                    static_cast<long long>(taille1 / 1024), parMo[0], parMo[1], parMo[2],
                    ratio(parMo[0], parMo[1]), ratio(parMo[1], parMo[2]));
        std::fflush(stdout);
    }
    return 0;
}
