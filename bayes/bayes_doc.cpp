#include "bayes/bayes_doc.h"

#include "bayes/mon_bayes_db.h"
#include "core/cp1252.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace bayes {
namespace {

enum : uint8_t { kMot = 1, kNonInitial = 2, kNumerique = 4 };

constexpr std::array<uint8_t, 256> construireClasses() {
    std::array<uint8_t, 256> t{};
    for (unsigned char c : {'$', '+', '-', '.', ':', '=', '@', '_'})
        t[c] |= kMot;
    for (int c = '0'; c <= '9'; ++c)
        t[c] |= kMot | kNumerique;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[c] |= kMot;
    for (int c = 'a'; c <= 'z'; ++c)
        t[c] |= kMot;
    // à â ä ç è é ê ë î ï ô ö ù û ü ÿ
    for (int c : {0xE0, 0xE2, 0xE4, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEE, 0xEF, 0xF4, 0xF6, 0xF9,
                  0xFB, 0xFC, 0xFF})
        t[c] |= kMot;
    for (unsigned char c : {'$', '.', ':', '=', '_'})
        t[c] |= kNonInitial;
    for (unsigned char c : {'+', '-', '.'})
        t[c] |= kNumerique;
    return t;
}
constexpr std::array<uint8_t, 256> kClasses = construireClasses();

// Token order (bytes with a-z folded to upper case), as bayes::comparerMots,
// inlined for the one sort of each analysed message.
constexpr std::array<uint8_t, 256> construirePli() {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
    return t;
}
constexpr std::array<uint8_t, 256> kPli = construirePli();

inline bool avantPlie(const TUnElement& a, const TUnElement& b) {
    const QByteArrayView x = a.Mot;
    const QByteArrayView y = b.Mot;
    const qsizetype n = std::min(x.size(), y.size());
    const auto* px = reinterpret_cast<const unsigned char*>(x.constData());
    const auto* py = reinterpret_cast<const unsigned char*>(y.constData());
    for (qsizetype i = 0; i < n; ++i) {
        if (px[i] == py[i]) continue;
        const uint8_t cx = kPli[px[i]], cy = kPli[py[i]];
        if (cx != cy) return cx < cy;
    }
    return x.size() < y.size();
}

// The elements in token order. Sorted on the folded first eight bytes, so
// most comparisons touch neither the elements nor their bytes (the tokens
// are distinct: the document merged equal ones).
void trierElements(std::vector<std::unique_ptr<TUnElement>>& elements) {
    struct TCle {
        uint64_t prefixe;
        TUnElement* e;
    };
    std::vector<TCle> cles;
    cles.reserve(elements.size());
    for (auto& e : elements)
        cles.push_back({prefixeMot(e->Mot.data(), size_t(e->Mot.size())), e.release()});
    std::sort(cles.begin(), cles.end(), [](const TCle& a, const TCle& b) {
        if (a.prefixe != b.prefixe) return a.prefixe < b.prefixe;
        return avantPlie(*a.e, *b.e);
    });
    for (size_t i = 0; i < cles.size(); ++i)
        elements[i].reset(cles[i].e);
}

} // namespace

bool estCaractereMot(unsigned char c) {
    return kClasses[c] & kMot;
}
bool estNonInitial(unsigned char c) {
    return kClasses[c] & kNonInitial;
}
bool estNumerique(unsigned char c) {
    return kClasses[c] & kNumerique;
}

} // namespace bayes

namespace {
void compter(TCompteMot& c, uint8_t zone) {
    switch (zone) {
    case bayes::zoEntete:
        ++c.EnTete;
        break;
    case bayes::zoTexte:
        ++c.Texte;
        break;
    default:
        ++c.Html;
        break;
    }
}
} // namespace

TBayesDoc::TBayesDoc(TMonBayesDB* base) : Base(base) {
    m_trie = true;
}

void TBayesDoc::Vider() {
    TBayesBase::Vider();
    m_texte.clear();
    m_copies.clear();
}

void TBayesDoc::Analyser(QByteArrayView texte, int32_t finEntetes, QByteArrayView prefixe,
                         int32_t finTexte) {
    // The previous message's elements are used again, so most tokens cost no
    // allocation; a few thousand at most are kept aside.
    constexpr size_t kLibresMax = 4096;
    for (auto& e : m_elements) {
        if (m_libres.size() >= kLibresMax) break;
        m_libres.push_back(std::move(e));
    }
    Vider();
    // A document cut down by the best-tokens evaluation is unsorted; each new
    // message starts sorted again so lookups stay binary searches.
    m_trie = true;
    // Kept until the next message: the elements' tokens are views into it.
    QByteArray& s = m_texte;
    if (!prefixe.isEmpty()) {
        s.reserve(prefixe.size() + 2 + texte.size());
        s.append(prefixe);
        s.append("\r\n");
        s.append(texte);
    } else {
        s = texte.toByteArray();
    }
    cp1252::enMinuscules(s);

    // Grows if need be; most messages hold far fewer distinct tokens.
    preparerIndex(size_t(std::min<qsizetype>(s.size() / 32 + 16, 2048)));
    m_accumulation = true;
    // Equal tokens are merged, so one sort at the end gives the order sorted
    // insertion gives; it runs even when the analysis stops on an exception.
    struct TFin {
        TBayesDoc& doc;
        ~TFin() {
            bayes::trierElements(doc.m_elements);
            doc.m_accumulation = false;
        }
    } fin{*this};

    const auto* d = reinterpret_cast<const unsigned char*>(s.constData());
    const qsizetype n = s.size();
    uint8_t zone = bayes::zoEntete;
    bool dansMot = false;
    bool numerique = true;
    qsizetype debut = 0; // 0-based here; positions in the rules are 1-based
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = d[i];
        const qsizetype p = i + 1;
        if (bayes::kClasses[c] & bayes::kMot) {
            if (!dansMot) {
                if (bayes::kClasses[c] & bayes::kNonInitial) {
                    debut = i + 1;
                    continue;
                }
                dansMot = true;
            }
            numerique = numerique && (bayes::kClasses[c] & bayes::kNumerique);
        } else {
            if (dansMot) {
                if (!numerique) AjouterMot(QByteArrayView(s).sliced(debut, i - debut), zone);
                numerique = true;
                dansMot = false;
            }
            debut = i + 1;
            if (c == '\r' || c == '\n') {
                if (p + 2 >= finTexte)
                    zone = bayes::zoHtml;
                else if (p + 2 >= finEntetes)
                    zone = bayes::zoTexte;
            }
        }
    }
    SansTexte = qint64(finEntetes) + 2 >= finTexte;
    if (dansMot && !numerique) AjouterMot(QByteArrayView(s).sliced(debut), zone);
}

// Empty, with room for at least twice `tokensPrevus`; when it grows during
// an analysis, it keeps the tokens counted so far (their hashes are in their slots).
void TBayesDoc::preparerIndex(size_t tokensPrevus) {
    size_t taille = 64;
    while (taille < 2 * std::max(tokensPrevus, m_elements.size()) + 2)
        taille *= 2;
    std::vector<TCaseIndex> anciennes;
    if (m_accumulation) anciennes.swap(m_index);
    if (m_index.size() != taille)
        m_index.assign(taille, TCaseIndex{0, nullptr});
    else
        std::fill(m_index.begin(), m_index.end(), TCaseIndex{0, nullptr});
    m_occupees = 0;
    for (const TCaseIndex& c : anciennes) {
        if (!c.element) continue;
        caseIndex(c.element->Mot, c.hachage) = c.element;
        ++m_occupees;
    }
}

// The slot of `mot`: its element, or the free slot where it goes (its hash
// already written).
TUnElement*& TBayesDoc::caseIndex(QByteArrayView mot, uint64_t hachage) {
    const size_t masque = m_index.size() - 1;
    for (size_t i = size_t(hachage) & masque;; i = (i + 1) & masque) {
        TCaseIndex& c = m_index[i];
        if (!c.element) {
            c.hachage = hachage;
            return c.element;
        }
        if (c.hachage == hachage && QByteArrayView(c.element->Mot) == mot) return c.element;
    }
}

void TBayesDoc::AjouterMot(QByteArrayView mot, uint8_t zone) {
    if (mot.size() < bayes::kLongueurMin || mot.size() > bayes::kLongueurMax) return;
    if (zone != bayes::zoEntete && Base && Base->MotIgnore(mot)) return;
    qsizetype n = mot.size();
    while (n > 0 && bayes::estNonInitial(static_cast<unsigned char>(mot[n - 1])))
        --n;
    if (n != mot.size()) {
        if (n < bayes::kLongueurMin) return;
        mot = mot.first(n);
    }
    TCompteMot* c = nullptr;
    if (m_accumulation) {
        const uint64_t h = bayes::hacherMot(mot);
        TUnElement*& trouve = caseIndex(mot, h);
        if (trouve) {
            c = &trouve->CoteSpam;
        } else {
            std::unique_ptr<TUnElement> e;
            if (!m_libres.empty()) {
                e = std::move(m_libres.back());
                m_libres.pop_back();
                e->CoteSpam = TCompteMot();
                e->CoteBon = TCompteMot();
            } else {
                e = std::make_unique<TUnElement>();
            }
            // A piece of the text being analysed, which the document keeps.
            e->Mot = mot;
            c = &e->CoteSpam;
            Reserver(-1);
            trouve = e.get();
            m_elements.push_back(std::move(e));
            if (++m_occupees * 2 > m_index.size()) preparerIndex(m_index.size());
        }
        compter(*c, zone);
        return;
    }
    const int32_t i = IndiceDe(mot);
    if (i >= 0) {
        c = &Element(i).CoteSpam;
    } else {
        auto e = std::make_unique<TUnElement>();
        m_copies.append(mot.toByteArray());
        e->Mot = TVueMot(m_copies.constLast());
        c = &e->CoteSpam;
        Reserver(-1);
        Inserer(std::move(e));
    }
    compter(*c, zone);
}

namespace {
// The two sums become the message's spam and good probabilities (even odds
// when no token counted).
void conclure(TMonBayesDB& base) {
    const double t = base.SommeSpam + base.SommeBon;
    if (t != 0) {
        base.ProbaSpam = base.SommeSpam / t;
        base.ProbaBon = base.SommeBon / t;
    } else {
        base.ProbaSpam = base.ProbaBon = 0.5;
    }
}

// A token's corrected probability, and whether it takes part.
struct TRobinson {
    double f;
    bool compte;
};

TRobinson robinson(const TMonBayesDB& base, const TUnElement& b, int mode,
                   const bayes::TReglagesKhiDeux& r) {
    const double f = bayes::probaRobinson(bayes::compteSelonMode(b.CoteSpam, mode, base.SansTexte),
                                          bayes::compteSelonMode(b.CoteBon, mode, base.SansTexte),
                                          base.NbSpamAppris, base.NbBonAppris, r);
    return {f, r.Compte(f)};
}

void conclureKhiDeux(TMonBayesDB& base, const bayes::TCombinaisonKhiDeux& k,
                     const bayes::TReglagesKhiDeux& r) {
    // Without a token the indicator is 0.5, read as any other.
    if (k.Nombre() > 0) {
        base.SommeSpam = k.H();
        base.SommeBon = k.S();
    }
    base.ProbaSpam = r.Part(k.Indice());
    base.ProbaBon = 1.0 - base.ProbaSpam;
}
} // namespace

void TBayesDoc::Evaluer(TMonBayesDB& base, int mode) {
    base.SommeSpam = base.SommeBon = 0;
    Mode = static_cast<uint8_t>(mode);
    base.SansTexte = SansTexte;
    if (Calcul == bayes::cbKhiDeux) {
        bayes::TCombinaisonKhiDeux k;
        for (const auto& e : Elements()) {
            const TUnElement* b = base.Trouver(e->Mot);
            if (!b) continue;
            const TRobinson t = robinson(base, *b, mode, KhiDeux);
            if (t.compte) k.Ajouter(t.f);
        }
        conclureKhiDeux(base, k, KhiDeux);
        return;
    }
    for (const auto& e : Elements()) {
        const TUnElement* b = base.Trouver(e->Mot);
        if (!b) continue;
        const int64_t s = bayes::compteSelonMode(b->CoteSpam, mode, base.SansTexte);
        const int64_t g = bayes::compteSelonMode(b->CoteBon, mode, base.SansTexte);
        if (s + g < bayes::kSeuilQualifie) continue;
        const double p = base.ProbabiliteElement(b, mode);
        base.SommeSpam += p;
        base.SommeBon += 1 - p;
    }
    conclure(base);
}

namespace {

struct TCandidat {
    int32_t cle;
    int32_t indice;
};

// Keeps at most `max` candidates in ascending key order, with the tie rules of
// the best-tokens evaluation: with room, a new entry goes below equal keys; when
// full, it must beat the lowest key and then goes above equal keys.
void offrir(std::vector<TCandidat>& cote, size_t max, TCandidat c) {
    if (max == 0) return;
    if (cote.size() < max) {
        auto it = std::lower_bound(cote.begin(), cote.end(), c.cle,
                                   [](const TCandidat& a, int32_t k) { return a.cle < k; });
        cote.insert(it, c);
        return;
    }
    if (c.cle <= cote.front().cle) return;
    cote.erase(cote.begin());
    auto it = std::upper_bound(cote.begin(), cote.end(), c.cle,
                               [](int32_t k, const TCandidat& a) { return k < a.cle; });
    cote.insert(it, c);
}

} // namespace

void TBayesDoc::EvaluerMeilleurs(TMonBayesDB& base, int mode, bool garder) {
    base.SommeSpam = base.SommeBon = 0;
    Mode = static_cast<uint8_t>(mode);
    base.SansTexte = SansTexte;
    const bool khiDeux = Calcul == bayes::cbKhiDeux;
    const size_t max = NbMeilleurs > 0 ? static_cast<size_t>(NbMeilleurs) : 0;
    std::vector<TCandidat> coteSpam, coteBon;
    coteSpam.reserve(max + 1);
    coteBon.reserve(max + 1);
    const auto& el = Elements();
    std::vector<const TUnElement*> trouves(el.size(), nullptr);
    for (size_t i = 0; i < el.size(); ++i) {
        const TUnElement* b = base.Trouver(el[i]->Mot);
        if (!b) continue;
        trouves[i] = b;
        const int32_t s = bayes::compteSelonMode(b->CoteSpam, mode, base.SansTexte);
        const int32_t g = bayes::compteSelonMode(b->CoteBon, mode, base.SansTexte);
        if (khiDeux) {
            // The side follows the corrected probability; the keys stay the counts.
            const TRobinson t = robinson(base, *b, mode, KhiDeux);
            if (!t.compte) continue;
            if (t.f > 0.5)
                offrir(coteSpam, max, {s, static_cast<int32_t>(i)});
            else
                offrir(coteBon, max, {g, static_cast<int32_t>(i)});
            continue;
        }
        if (int64_t(s) + g < bayes::kSeuilQualifie) continue;
        if (s > 0 && s >= g)
            offrir(coteSpam, max, {s, static_cast<int32_t>(i)});
        else if (g > 0)
            offrir(coteBon, max, {g, static_cast<int32_t>(i)});
    }
    const size_t n = std::min(max, coteSpam.size() + coteBon.size());
    std::vector<int32_t> pris;
    pris.reserve(n);
    for (auto it = coteSpam.rbegin(); it != coteSpam.rend() && pris.size() < n; ++it)
        pris.push_back(it->indice);
    for (auto it = coteBon.rbegin(); it != coteBon.rend() && pris.size() < n; ++it)
        pris.push_back(it->indice);
    if (khiDeux) {
        bayes::TCombinaisonKhiDeux k;
        for (int32_t i : pris)
            k.Ajouter(robinson(base, *trouves[static_cast<size_t>(i)], mode, KhiDeux).f);
        conclureKhiDeux(base, k, KhiDeux);
    } else {
        for (int32_t i : pris) {
            const double p = base.ProbabiliteElement(trouves[static_cast<size_t>(i)], mode);
            base.SommeSpam += p;
            base.SommeBon += 1 - p;
        }
        conclure(base);
    }
    if (garder) {
        std::vector<std::unique_ptr<TUnElement>> gardes;
        gardes.reserve(pris.size());
        for (int32_t i : pris) {
            auto e = std::make_unique<TUnElement>();
            e->Mot = m_elements[static_cast<size_t>(i)]->Mot;
            gardes.push_back(std::move(e));
        }
        m_elements = std::move(gardes);
        m_trie = false;
    }
}

double TBayesDoc::ProbaCombinee(TMonBayesDB& base, const TUnElement* b, int mode,
                                bool& qualifie) const {
    qualifie = false;
    if (Calcul == bayes::cbKhiDeux) {
        if (!b) return KhiDeux.ProbaInconnue;
        const TRobinson t = robinson(base, *b, mode, KhiDeux);
        qualifie = t.compte;
        return t.f;
    }
    if (b) {
        const int32_t s = bayes::compteSelonMode(b->CoteSpam, mode, base.SansTexte);
        const int32_t g = bayes::compteSelonMode(b->CoteBon, mode, base.SansTexte);
        qualifie = int64_t(s) + g >= bayes::kSeuilQualifie;
    }
    return base.ProbabiliteElement(b, mode);
}

void TBayesDoc::ListerMots(QByteArrayList& lignes, int32_t tri, int mode, TMonBayesDB& base) {
    struct TEntree {
        const TUnElement* e;
        bool qualifie;
        double p;
    };
    std::vector<TEntree> t;
    t.reserve(Elements().size());
    for (const auto& e : Elements()) {
        bool q = false;
        const double p = ProbaCombinee(base, base.Trouver(e->Mot), mode, q);
        t.push_back({e.get(), q, p});
    }
    auto ordreMots = [](const TEntree& a, const TEntree& b) {
        return bayes::comparerMots(a.e->Mot, b.e->Mot) < 0;
    };
    if (tri == 0) {
        std::stable_sort(t.begin(), t.end(), ordreMots);
    } else if (tri == 1 || tri == 2) {
        const bool decroissant = tri == 1;
        std::stable_sort(t.begin(), t.end(), [&](const TEntree& a, const TEntree& b) {
            if (a.qualifie != b.qualifie) return a.qualifie;
            if (a.qualifie && a.p != b.p) return decroissant ? a.p > b.p : a.p < b.p;
            return ordreMots(a, b);
        });
    }
    for (const auto& x : t)
        lignes.append(x.e->Mot.toByteArray());
}
