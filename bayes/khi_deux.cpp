#include "bayes/khi_deux.h"

#include <algorithm>
#include <cmath>

namespace bayes {

int calculBayesValide(int calcul) {
    return calcul == cbKhiDeux ? cbKhiDeux : cbMoyenne;
}

double TReglagesKhiDeux::Part(double indice) const {
    const double i = std::clamp(indice, 0.0, 1.0);
    // A cut-off at an end (or outside) would divide by zero: read I as it is.
    if (!(SeuilSpam > 0 && SeuilSpam < 1)) return i;
    if (i <= SeuilSpam) return 0.5 * i / SeuilSpam;
    return 0.5 + 0.5 * (i - SeuilSpam) / (1 - SeuilSpam);
}

double probaRobinson(int64_t s, int64_t g, int32_t nbSpam, int32_t nbBon,
                     const TReglagesKhiDeux& r) {
    s = std::max<int64_t>(s, 0);
    g = std::max<int64_t>(g, 0);
    const int64_t n = s + g;
    if (n == 0) return r.ProbaInconnue;
    // A damaged base may count tokens on a side that learned no message.
    const double spam = double(s) / std::max(nbSpam, 1);
    const double bon = double(g) / std::max(nbBon, 1);
    const double p = spam / (spam + bon);
    return (r.Force * r.ProbaInconnue + double(n) * p) / (r.Force + double(n));
}

double khiDeuxQ(double x, int64_t n) {
    if (n <= 0 || !(x > 0)) return 1.0;
    // Q = exp(-m) * sum_{i < n} m^i / i!, with m = x / 2: its terms in logs,
    // summed around the largest.
    const double m = x / 2;
    const double lnM = std::log(m);
    double terme = -m;
    double maxi = terme;
    double somme = 1.0; // sum of exp(terme - maxi)
    for (int64_t i = 1; i < n; ++i) {
        terme += lnM - std::log(double(i));
        if (terme > maxi) {
            somme = somme * std::exp(maxi - terme) + 1.0;
            maxi = terme;
        } else {
            somme += std::exp(terme - maxi);
        }
    }
    return std::min(1.0, std::exp(maxi + std::log(somme)));
}

void TCombinaisonKhiDeux::Ajouter(double f) {
    // f never reaches 0 or 1 with a prior of weight > 0; keep the logs finite anyway.
    constexpr double kMin = 1e-300;
    m_lnSpam += std::log(std::max(f, kMin));
    m_lnBon += std::log(std::max(1.0 - f, kMin));
    ++m_n;
}

double TCombinaisonKhiDeux::H() const {
    return khiDeuxQ(-2.0 * m_lnSpam, m_n);
}

double TCombinaisonKhiDeux::S() const {
    return khiDeuxQ(-2.0 * m_lnBon, m_n);
}

double TCombinaisonKhiDeux::Indice() const {
    if (m_n == 0) return 0.5;
    return (1.0 + H() - S()) / 2.0;
}

} // namespace bayes
