#include "bayes/stock_mots.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>

#include <sys/mman.h>

namespace bayes {

using detail::lire8;
using detail::lireFin;
using detail::plier8;

namespace {

// A loading region moves its elements as bytes, and emptying the store
// destroys none of them.
static_assert(std::is_trivially_copyable_v<TUnElement> &&
              std::is_trivially_destructible_v<TUnElement>);

// Asks for huge pages over the 2 MB pages inside a large block: one fault per
// 2 MB instead of 512, which is most of the cost of filling fresh memory.
void grandesPages(void* p, size_t octets) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kPage = uintptr_t(1) << 21;
    if (octets < 2 * kPage) return;
    const uintptr_t debut = (reinterpret_cast<uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
    const uintptr_t fin = (reinterpret_cast<uintptr_t>(p) + octets) & ~(kPage - 1);
    if (fin > debut) ::madvise(reinterpret_cast<void*>(debut), fin - debut, MADV_HUGEPAGE);
#else
    (void)p;
    (void)octets;
#endif
}

void* allouer(size_t octets) {
    void* p = std::malloc(octets ? octets : 1);
    if (!p) throw std::bad_alloc();
    grandesPages(p, octets);
    return p;
}

// The old block stays valid (and owned by the caller) when this throws.
void* reallouer(void* ancien, size_t octets) {
    void* p = std::realloc(ancien, octets ? octets : 1);
    if (!p) throw std::bad_alloc();
    grandesPages(p, octets);
    return p;
}

} // namespace

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
    std::vector<TUnElement*>().swap(m_blocs);
    decltype(m_regions)().swap(m_regions);
    m_taille = 0;
    m_enCharge = nullptr;
    m_blocsEnCharge = 0;
    decltype(m_arena)().swap(m_arena);
    m_tampon = nullptr;
    m_libre = nullptr;
    m_reste = 0;
    m_prochaineArena = kPremiereArena;
    ViderIndex();
}

void TStockMots::echanger(TStockMots& autre) noexcept {
    using std::swap;
    swap(m_blocs, autre.m_blocs);
    swap(m_regions, autre.m_regions);
    swap(m_taille, autre.m_taille);
    swap(m_enCharge, autre.m_enCharge);
    swap(m_blocsEnCharge, autre.m_blocsEnCharge);
    swap(m_arena, autre.m_arena);
    swap(m_tampon, autre.m_tampon);
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
            m_arena.emplace_back(static_cast<char*>(allouer(n)));
            std::memcpy(m_arena.back().get(), mot.data(), n);
            return m_arena.back().get();
        }
        // A token longer than the next chunk (at most kTailleArena / 8) sizes it.
        const size_t taille = std::max(m_prochaineArena, n);
        m_prochaineArena = std::min(m_prochaineArena * 2, kTailleArena);
        m_arena.emplace_back(static_cast<char*>(allouer(taille)));
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
    if (m_enCharge) {
        // The loading region grows by half: realloc moves pages, not bytes.
        const size_t nb = m_blocsEnCharge + m_blocsEnCharge / 2 + 1;
        auto* r = static_cast<TUnElement*>(
            reallouer(m_regions.back().get(), nb * kParBloc * sizeof(TUnElement)));
        (void)m_regions.back().release();
        m_regions.back().reset(r);
        m_blocs.clear();
        placerBlocs(r, nb);
        return;
    }
    m_regions.emplace_back(allouer(sizeof(TUnElement) * kParBloc));
    m_blocs.push_back(static_cast<TUnElement*>(m_regions.back().get()));
}

void TStockMots::placerBlocs(TUnElement* region, size_t nbBlocs) {
    m_enCharge = region;
    m_blocsEnCharge = nbBlocs;
    for (size_t b = 0; b < nbBlocs; ++b)
        m_blocs.push_back(region + b * kParBloc);
}

char* TStockMots::DebuterChargement(size_t octets) {
    Vider();
    m_arena.emplace_back(static_cast<char*>(allouer(octets)));
    m_tampon = m_arena.back().get();
    return m_tampon;
}

void TStockMots::ReserverChargement(size_t n) {
    if (m_taille || !m_blocs.empty()) return;
    const size_t nbBlocs = std::max<size_t>(1, (n + kParBloc - 1) >> kBitsBloc);
    m_regions.emplace_back(allouer(nbBlocs * kParBloc * sizeof(TUnElement)));
    placerBlocs(static_cast<TUnElement*>(m_regions.back().get()), nbBlocs);
}

void TStockMots::FinirChargement(size_t utiles) {
    // Shrinking keeps the block where it is with glibc; should it move, the
    // elements follow it.
    if (m_tampon) {
        const uintptr_t avant = reinterpret_cast<uintptr_t>(m_tampon);
        char* ancien = m_arena.front().release();
        char* apres = static_cast<char*>(std::realloc(ancien, utiles ? utiles : 1));
        m_arena.front().reset(apres ? apres : ancien);
        if (apres && reinterpret_cast<uintptr_t>(apres) != avant) {
            for (uint32_t i = 0; i < m_taille; ++i) {
                TVueMot& mot = (*this)[i].Mot;
                const uintptr_t o = reinterpret_cast<uintptr_t>(mot.data()) - avant;
                mot = TVueMot(apres + o, mot.size());
            }
        }
    }
    m_tampon = nullptr;
    // The region keeps whole chunks: the next appended elements fill the last one.
    const size_t nbBlocs = std::max<size_t>(1, (size_t(m_taille) + kParBloc - 1) >> kBitsBloc);
    if (m_enCharge && nbBlocs < m_blocsEnCharge) {
        auto* r = static_cast<TUnElement*>(
            std::realloc(m_regions.back().get(), nbBlocs * kParBloc * sizeof(TUnElement)));
        if (r) {
            (void)m_regions.back().release();
            m_regions.back().reset(r);
            m_blocs.clear();
            placerBlocs(r, nbBlocs);
        }
    }
    m_enCharge = nullptr;
    m_blocsEnCharge = 0;
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
    std::unique_ptr<uint32_t, TLiberer> ancienne = std::move(m_table);
    const size_t ancienneCap = m_cap;
    const uint32_t ancienMasque = masqueNumero();
    // calloc: fresh pages come zeroed, untouched until used.
    m_table.reset(static_cast<uint32_t*>(std::calloc(cap, sizeof(uint32_t))));
    if (!m_table) throw std::bad_alloc();
    grandesPages(m_table.get(), cap * sizeof(uint32_t));
    m_cap = cap;
    m_bits = static_cast<unsigned>(std::bit_width(cap));
    for (size_t s = 0; s < ancienneCap; ++s) {
        if (const uint32_t v = ancienne.get()[s]) {
            const uint32_t i = (v & ancienMasque) - 1;
            placer(i, hacherMot((*this)[i].Mot));
        }
    }
}

// Puts an entry in the first free slot of its probe sequence.
void TStockMots::placer(uint32_t i, uint64_t h) {
    size_t s = maison(h);
    while (m_table.get()[s])
        s = suivant(s);
    m_table.get()[s] = (i + 1) | (etiquette(h) << m_bits);
}

int64_t TStockMots::Chercher(QByteArrayView mot, uint64_t h) const {
    if (!m_cap) return -1;
    const uint32_t masque = masqueNumero();
    const uint32_t tag = etiquette(h);
    for (size_t s = maison(h);; s = suivant(s)) {
        const uint32_t v = m_table.get()[s];
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
        const uint32_t v = m_table.get()[s];
        if (!v) {
            m_table.get()[s] = (i + 1) | (tag << m_bits);
            ++m_nbIndexes;
            return true;
        }
        if ((v >> m_bits) == tag && memesMots((*this)[(v & masque) - 1].Mot, mot)) return false;
    }
}

bool TStockMots::IndexerTout(const uint64_t* h, uint32_t nb) {
    if (m_nbIndexes) throw std::logic_error("TStockMots::IndexerTout : index non vide");
    if (pleine(nb)) agrandir(nb);
    // One slot per key in order of home slots, so the table fills one region
    // at a time instead of a cache miss per key: the keys are grouped by the
    // top bits of their home (a counting sort, stable, so the first of equal
    // keys keeps it) as the entries they become, home above.
    constexpr unsigned kBits = 10;
    std::vector<uint32_t> debut((size_t(1) << kBits) + 1, 0);
    for (uint32_t i = 0; i < nb; ++i)
        ++debut[(static_cast<uint32_t>(h[i]) >> (32 - kBits)) + 1];
    for (size_t g = 1; g < debut.size(); ++g)
        debut[g] += debut[g - 1];
    const std::unique_ptr<uint64_t[]> cles(new uint64_t[nb ? nb : 1]);
    for (uint32_t i = 0; i < nb; ++i) {
        const uint32_t bas = static_cast<uint32_t>(h[i]);
        cles[debut[bas >> (32 - kBits)]++] =
            (uint64_t(bas) << 32) | (i + 1) | (etiquette(h[i]) << m_bits);
    }
    const uint32_t masque = masqueNumero();
    uint32_t* const table = m_table.get();
    bool unique = true;
    size_t places = 0;
    for (uint32_t k = 0; k < nb; ++k) {
        const uint32_t v = static_cast<uint32_t>(cles[k]);
        for (size_t s = maison(cles[k] >> 32);; s = suivant(s)) {
            const uint32_t t = table[s];
            if (!t) {
                table[s] = v;
                ++places;
                break;
            }
            if ((t >> m_bits) == (v >> m_bits) &&
                memesMots((*this)[(t & masque) - 1].Mot, (*this)[(v & masque) - 1].Mot)) {
                unique = false;
                break;
            }
        }
    }
    m_nbIndexes = places;
    return unique;
}

void TStockMots::Desindexer(uint32_t i) {
    if (!m_cap) return;
    const uint32_t masque = masqueNumero();
    size_t s = maison(hacherMot((*this)[i].Mot));
    for (;; s = suivant(s)) {
        const uint32_t v = m_table.get()[s];
        if (!v) return;
        if ((v & masque) - 1 == i) break;
    }
    // Backward shift: later entries of the run move up when their home slot
    // allows it, so no probe sequence is cut by the hole.
    size_t trou = s;
    for (size_t j = suivant(s);; j = suivant(j)) {
        const uint32_t v = m_table.get()[j];
        if (!v) break;
        const size_t sienne = maison(hacherMot((*this)[(v & masque) - 1].Mot));
        // It stays when its home lies in the cyclic range (trou, j].
        const bool reste =
            trou <= j ? (sienne > trou && sienne <= j) : (sienne > trou || sienne <= j);
        if (!reste) {
            m_table.get()[trou] = v;
            trou = j;
        }
    }
    m_table.get()[trou] = 0;
    --m_nbIndexes;
}

} // namespace bayes
