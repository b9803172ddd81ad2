// The Bayesian text of a message and its tokens: decoding, the visible HTML
// text, the tokenizer, the combinations in every mode, and learning then
// unlearning the same message.
#include "bayes/filtre_bayes.h"
#include "bayes/texte_bayes.h"
#include "fuzz/commun.h"
#include "mime/mon_mime_decode.h"

namespace {
TFiltreBayes* g_filtre = nullptr;

const char kAppris[] = "From: a@b.example\r\nSubject: viagra cheap offer\r\n\r\n"
                       "Buy cheap pills now, limited offer, click here\r\n";
const char kBon[] = "From: c@d.example\r\nSubject: meeting notes\r\n\r\n"
                    "The minutes of tuesday's meeting are attached\r\n";
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_filtre = new TFiltreBayes(fuzz::Repertoire());
    // A base that knows a few tokens, so the combinations have something to weigh;
    // it is a working base and never written.
    g_filtre->Base().Temporaire = true;
    TMonMimeDecode decodeur;
    decodeur.setEncodageDecodage(&fuzz::Encodage());
    for (int i = 0; i < bayes::kSeuilQualifie; ++i) {
        g_filtre->AppliquerBayes(g_filtre->DocReception, decodeur, true, true, kAppris, true);
        g_filtre->AppliquerBayes(g_filtre->DocReception, decodeur, true, true, kBon, false);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    if (size == 0) return 0;
    const int mode = data[0] % 12;
    const QByteArray message = fuzz::Octets(data + 1, size - 1);
    g_filtre->ReglerModeBayes(mode);
    TMonMimeDecode decodeur;
    decodeur.setEncodageDecodage(&fuzz::Encodage());
    double bon = 0, spam = 0;
    (void)g_filtre->ScoreBayes(decodeur, message, -1, bon, spam);
    TCalculBayesMessage record;
    g_filtre->CalculerBayesMessage(record, decodeur, message, "a@b.example");
    QByteArrayList lignes;
    g_filtre->DocAffichage.ListerMots(lignes, data[0] % 3, mode, g_filtre->Base());

    // The text helpers on the raw lines.
    const QByteArrayList brutes = message.split('\n');
    (void)bayes::plainSansTexte(brutes);
    (void)bayes::texteVisibleHtml(brutes);
    (void)PrefixeSujet(message.left(200));

    // Learning and unlearning the same message leaves a fresh base as it was.
    TMonBayesDB base(fuzz::Repertoire() + QStringLiteral("temp.qdl"), fuzz::Repertoire(), false);
    base.Temporaire = true;
    TBayesDoc doc(&base);
    int32_t finTexte = 0, finEntetes = 0;
    QByteArray texte;
    g_filtre->ConstruireTexteBayes(decodeur, message, finTexte, finEntetes, texte);
    doc.Analyser(texte, finEntetes, PrefixeSujet(decodeur.SujetBrut()), finTexte);
    base.Apprendre(doc, true);
    doc.Evaluer(base, mode % 6);
    doc.EvaluerMeilleurs(base, 6 + mode % 6, true);
    base.Desapprendre(doc, true);
    if (base.NbSpamAppris != 0) __builtin_trap();
    return 0;
}
