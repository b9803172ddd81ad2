#include "bayes/stock_mots.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

namespace bayes {

namespace {

constexpr uint64_t k01 = 0x0101010101010101ull;
constexpr uint64_t k80 = 0x8080808080808080ull;

// Eight bytes at once, a-z folded to upper case (bytes above 0x7F untouched).
inline uint64_t plier8(uint64_t x) {
    const uint64_t sept = x & ~k80;
    const uint64_t auMoinsA = sept + k01 * (0x80 - 'a');
    const uint64_t apresZ = sept + k01 * (0x80 - 'z' - 1);
    const uint64_t minuscule = auMoinsA & ~apresZ & ~x & k80;
    return x - (minuscule >> 2);
}

inline uint64_t lire8(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The last 1 to 7 bytes of a token of `total` bytes that ends at p + n,
// zero-padded, without a call to memcpy.
inline uint64_t lireFin(const char* p, size_t n, size_t total) {
    if (total >= 8) return lire8(p + n - 8) >> (8 * (8 - n));
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (n >= 4) {
        uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + n - 4, 4);
        return a | (uint64_t(b) << (8 * (n - 4)));
    }
    return uint64_t(u[0]) | (uint64_t(u[n / 2]) << (8 * (n / 2))) |
           (uint64_t(u[n - 1]) << (8 * (n - 1)));
}

constexpr uint64_t kMul = 0x9FB21C651E98DF25ull;

} // namespace

uint64_t hacherMot(QByteArrayView mot) {
    const char* p = mot.data();
    size_t n = static_cast<size_t>(mot.size());
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (n * 0xC2B2AE3D27D4EB4Full);
    for (; n >= 8; p += 8, n -= 8) {
        h = (h ^ plier8(lire8(p))) * kMul;
        h ^= h >> 29;
    }
    if (n) h = (h ^ plier8(lireFin(p, n, size_t(mot.size())))) * kMul;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

bool memesMots(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size()) return false;
    const char* pa = a.data();
    const char* pb = b.data();
    size_t n = static_cast<size_t>(a.size());
    for (; n >= 8; pa += 8, pb += 8, n -= 8) {
        const uint64_t x = lire8(pa), y = lire8(pb);
        if (x != y && plier8(x) != plier8(y)) return false;
    }
    if (!n) return true;
    const size_t total = size_t(a.size());
    const uint64_t x = lireFin(pa, n, total), y = lireFin(pb, n, total);
    return x == y || plier8(x) == plier8(y);
}

void TStockMots::Vider() {
    for (uint32_t i = 0; i < m_taille; ++i)
        (*this)[i].~TUnElement();
    for (TUnElement* b : m_blocs)
        ::operator delete(b);
    std::vector<TUnElement*>().swap(m_blocs);
    m_taille = 0;
    decltype(m_arena)().swap(m_arena);
    m_libre = nullptr;
    m_reste = 0;
    m_prochaineArena = kPremiereArena;
    ViderIndex();
}

void TStockMots::echanger(TStockMots& autre) noexcept {
    using std::swap;
    swap(m_blocs, autre.m_blocs);
    swap(m_taille, autre.m_taille);
    swap(m_arena, autre.m_arena);
    swap(m_libre, autre.m_libre);
    swap(m_reste, autre.m_reste);
    swap(m_prochaineArena, autre.m_prochaineArena);
    swap(m_table, autre.m_table);
    swap(m_cap, autre.m_cap);
    swap(m_bits, autre.m_bits);
    swap(m_nbIndexes, autre.m_nbIndexes);
}

const char* TStockMots::copier(QByteArrayView mot) {
    const size_t n = static_cast<size_t>(mot.size());
    if (n == 0) return "";
    if (n > m_reste) {
        // A long token (a damaged file can hold one line of megabytes) gets a
        // chunk of its own, so the current chunk keeps its room.
        if (n > kTailleArena / 8) {
            m_arena.emplace_back(new char[n]);
            std::memcpy(m_arena.back().get(), mot.data(), n);
            return m_arena.back().get();
        }
        // A token longer than the next chunk (at most kTailleArena / 8) sizes it.
        const size_t taille = std::max(m_prochaineArena, n);
        m_prochaineArena = std::min(m_prochaineArena * 2, kTailleArena);
        m_arena.emplace_back(new char[taille]);
        m_libre = m_arena.back().get();
        m_reste = taille;
    }
    char* p = m_libre;
    std::memcpy(p, mot.data(), n);
    m_libre += n;
    m_reste -= n;
    return p;
}

void TStockMots::nouveauBloc() {
    if (m_taille >= UINT32_MAX / 2) throw std::length_error("BayesDB : trop de mots");
    m_blocs.push_back(static_cast<TUnElement*>(::operator new(sizeof(TUnElement) * kParBloc)));
}

void TStockMots::ViderIndex() {
    m_table.reset();
    m_cap = 0;
    m_bits = 0;
    m_nbIndexes = 0;
}

void TStockMots::ReserverIndex(size_t n) {
    agrandir(n);
}

// Grows the table so that `n` keys fill at most three quarters of it and every
// element number fits in an entry.
void TStockMots::agrandir(size_t n) {
    const size_t cap = std::max({size_t(16), n * 4 / 3 + 1, size_t(m_taille) + 1});
    if (cap <= m_cap) return;
    if (cap >= (size_t(1) << 31)) throw std::length_error("BayesDB : trop de mots");
    std::unique_ptr<uint32_t[]> ancienne = std::move(m_table);
    const size_t ancienneCap = m_cap;
    const uint32_t ancienMasque = masqueNumero();
    m_table.reset(new uint32_t[cap]());
    m_cap = cap;
    m_bits = static_cast<unsigned>(std::bit_width(cap));
    for (size_t s = 0; s < ancienneCap; ++s) {
        if (const uint32_t v = ancienne[s]) {
            const uint32_t i = (v & ancienMasque) - 1;
            placer(i, hacherMot((*this)[i].Mot));
        }
    }
}

// Puts an entry in the first free slot of its probe sequence.
void TStockMots::placer(uint32_t i, uint64_t h) {
    size_t s = maison(h);
    while (m_table[s])
        s = suivant(s);
    m_table[s] = (i + 1) | (etiquette(h) << m_bits);
}

int64_t TStockMots::Chercher(QByteArrayView mot, uint64_t h) const {
    if (!m_cap) return -1;
    const uint32_t masque = masqueNumero();
    const uint32_t tag = etiquette(h);
    for (size_t s = maison(h);; s = suivant(s)) {
        const uint32_t v = m_table[s];
        if (!v) return -1;
        if ((v >> m_bits) != tag) continue;
        const uint32_t i = (v & masque) - 1;
        if (memesMots((*this)[i].Mot, mot)) return i;
    }
}

bool TStockMots::Indexer(uint32_t i, uint64_t h) {
    if (pleine(m_nbIndexes + 1)) agrandir(std::max(m_nbIndexes + 1, m_nbIndexes * 2));
    const uint32_t masque = masqueNumero();
    const uint32_t tag = etiquette(h);
    const QByteArrayView mot = (*this)[i].Mot;
    // One probe sequence: an equal key ends it, or the first empty slot takes the entry.
    for (size_t s = maison(h);; s = suivant(s)) {
        const uint32_t v = m_table[s];
        if (!v) {
            m_table[s] = (i + 1) | (tag << m_bits);
            ++m_nbIndexes;
            return true;
        }
        if ((v >> m_bits) == tag && memesMots((*this)[(v & masque) - 1].Mot, mot)) return false;
    }
}

void TStockMots::Desindexer(uint32_t i) {
    if (!m_cap) return;
    const uint32_t masque = masqueNumero();
    size_t s = maison(hacherMot((*this)[i].Mot));
    for (;; s = suivant(s)) {
        const uint32_t v = m_table[s];
        if (!v) return;
        if ((v & masque) - 1 == i) break;
    }
    // Backward shift: later entries of the run move up when their home slot
    // allows it, so no probe sequence is cut by the hole.
    size_t trou = s;
    for (size_t j = suivant(s);; j = suivant(j)) {
        const uint32_t v = m_table[j];
        if (!v) break;
        const size_t sienne = maison(hacherMot((*this)[(v & masque) - 1].Mot));
        // It stays when its home lies in the cyclic range (trou, j].
        const bool reste =
            trou <= j ? (sienne > trou && sienne <= j) : (sienne > trou || sienne <= j);
        if (!reste) {
            m_table[trou] = v;
            trou = j;
        }
    }
    m_table[trou] = 0;
    --m_nbIndexes;
}

} // namespace bayes
