#pragma once
// Token document: the tokens of one message, counted per zone.
#include "bayes/bayes_base.h"
#include "bayes/khi_deux.h"
#include "bayes/mon_bayes_db.h"

#include <QByteArrayList>

namespace bayes {
// Zones of a message: header values and subject, plain text, HTML text.
enum TZone : uint8_t { zoEntete = 0, zoTexte = 1, zoHtml = 2 };
// Character classes of the tokenizer.
bool estCaractereMot(unsigned char c);
bool estNonInitial(unsigned char c); // cannot start a word; stripped from its end
bool estNumerique(unsigned char c);  // a word made only of these is dropped
constexpr int kLongueurMin = 3;
constexpr int kLongueurMax = 30;
} // namespace bayes

class TBayesDoc : public TBayesBase {
public:
    explicit TBayesDoc(TMonBayesDB* base);

    // Replaces the content with the tokens of `prefixe` and `texte`. The zone
    // boundaries are offsets in `texte` alone, compared with positions that count
    // the prefix: that shift is how the filter has always counted.
    void Analyser(QByteArrayView texte, int32_t finEntetes, QByteArrayView prefixe,
                  int32_t finTexte);
    // Filters one candidate token and counts it in `zone`.
    void AjouterMot(QByteArrayView mot, uint8_t zone);
    void Vider() override;

    // All-tokens combination (modes 0 to 5); results are left in the base.
    void Evaluer(TMonBayesDB& base, int mode);
    // Best-`NbMeilleurs` combination (modes 6 to 11); with `garder` the document
    // keeps only the chosen tokens, in the order taken.
    void EvaluerMeilleurs(TMonBayesDB& base, int mode, bool garder);
    // The probability a token of the base (null: unknown) takes in this
    // document's combination, and whether it takes part in it.
    double ProbaCombinee(TMonBayesDB& base, const TUnElement* b, int mode, bool& qualifie) const;
    // Appends the tokens to `lignes`: 0 token order, 1 by spam probability
    // decreasing, 2 increasing (qualifying tokens first, ties in token order).
    void ListerMots(QByteArrayList& lignes, int32_t tri, int mode, TMonBayesDB& base);

    TMonBayesDB* Base = nullptr;
    int32_t NbMeilleurs = 15;
    uint8_t Mode = 0;
    // Both evaluations combine by the mean or by chi-square. With chi-square the
    // base's SommeSpam and SommeBon hold H and S, and a token takes part when
    // its corrected probability is far enough from 0.5.
    bayes::TCalculBayes Calcul = bayes::cbMoyenne;
    bayes::TReglagesKhiDeux KhiDeux;

private:
    // While a message is analysed, tokens are counted through a hash index and
    // sorted once at the end, rather than inserted in order one by one. The
    // index is open addressing (a power of two of slots, at most half full),
    // kept from one message to the next. Its tokens are lower case already,
    // so equal tokens are equal bytes.
    struct TCaseIndex {
        uint64_t hachage;
        TUnElement* element; // null: free
    };
    void preparerIndex(size_t tokensPrevus);
    TUnElement*& caseIndex(QByteArrayView mot, uint64_t hachage);
    bool m_accumulation = false;
    std::vector<TCaseIndex> m_index;
    size_t m_occupees = 0;
    // The text being analysed, in lower case, and the tokens added one by one:
    // the elements' tokens are views into them.
    QByteArray m_texte;
    QByteArrayList m_copies;
    // Elements of earlier messages, ready to be used again.
    std::vector<std::unique_ptr<TUnElement>> m_libres;
};
