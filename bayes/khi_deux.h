#pragma once
// The chi-square combination: token probabilities corrected for the numbers of
// spam and good messages learned and for rarely seen tokens, combined by
// Fisher's method. An alternative to the plain mean of the token probabilities.
#include <cmath>
#include <cstdint>

namespace bayes {

// How a document's token probabilities become the message's score.
enum TCalculBayes : uint8_t { cbMoyenne = 0, cbKhiDeux = 1 };
// 0 or 1; anything else is the mean.
int calculBayesValide(int calcul);

// Chosen by cross-validation on the first folds of a public corpus (the
// accuracy benchmark's tuning run): no good message of those folds leaning to
// spam, then the fewest spam missed.
struct TReglagesKhiDeux {
    // Weight of the prior against the token's own evidence, and the prior itself.
    double Force = 0.45;
    double ProbaInconnue = 0.5;
    // Tokens nearer 0.5 than this carry too little to be counted.
    double EcartMin = 0.4;
    // The indicator above which a message is spam. Evidence that pulls both ways
    // leaves the indicator near 0.5, and such a message is passed rather than
    // marked: a good message marked as spam costs more than a spam let through.
    double SeuilSpam = 0.9;

    // A token whose corrected probability is `f` takes part in the combination.
    bool Compte(double f) const { return std::abs(f - 0.5) >= EcartMin; }
    // The indicator as the spam share that the verdict compares with one half:
    // 0 and 1 at the ends, one half at the cut-off, linear on each side of it.
    double Part(double indice) const;
};

// Robinson's f(w) from the token's spam and good counts, each scaled by the
// number of messages learned on its side.
double probaRobinson(int64_t s, int64_t g, int32_t nbSpam, int32_t nbBon,
                     const TReglagesKhiDeux& r);

// Probability that a chi-square variable with 2n degrees of freedom exceeds
// `x`. Worked in logarithms, so hundreds of tokens neither underflow nor overflow.
double khiDeuxQ(double x, int64_t n);

// Sums the evidence of the tokens taken, then gives the indicator I in [0, 1].
class TCombinaisonKhiDeux {
public:
    void Ajouter(double f);
    int64_t Nombre() const { return m_n; }
    // H: near 1 when the tokens lean to spam; S: near 1 when they lean to good.
    double H() const;
    double S() const;
    // (1 + H - S) / 2, or 0.5 without tokens.
    double Indice() const;

private:
    double m_lnSpam = 0; // sum of ln f
    double m_lnBon = 0;  // sum of ln (1 - f)
    int64_t m_n = 0;
};

} // namespace bayes
