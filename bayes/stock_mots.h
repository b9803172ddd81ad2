#pragma once
// Storage of the knowledge base's tokens: their bytes in an arena of chunks,
// the elements in fixed chunks (an element never moves, so pointers to it stay
// valid until the store is emptied), and an open-addressing index over them.
#include "bayes/bayes_base.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace bayes {

namespace detail {
constexpr uint64_t k01 = 0x0101010101010101ull;
constexpr uint64_t k80 = 0x8080808080808080ull;
constexpr uint64_t kMul = 0x9FB21C651E98DF25ull;

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
// zero-padded, without a call to memcpy and without reading outside the token.
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
} // namespace detail

// Hash of a token with a-z folded: tokens equal in token order hash alike.
// Inline: the load hashes every token of the file.
inline uint64_t hacherMot(const char* p, size_t n) {
    using namespace detail;
    const size_t total = n;
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (n * 0xC2B2AE3D27D4EB4Full);
    for (; n >= 8; p += 8, n -= 8) {
        h = (h ^ plier8(lire8(p))) * kMul;
        h ^= h >> 29;
    }
    if (n) h = (h ^ plier8(lireFin(p, n, total))) * kMul;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}
inline uint64_t hacherMot(QByteArrayView mot) {
    return hacherMot(mot.data(), static_cast<size_t>(mot.size()));
}
// The first eight bytes of a token, a-z folded, as a number that orders like
// the token (zero bytes after its end); equal numbers say nothing.
inline uint64_t prefixeMot(const char* p, size_t n) {
    using namespace detail;
    if (n == 0) return 0;
    return __builtin_bswap64(plier8(n >= 8 ? lire8(p) : lireFin(p, n, n)));
}
// Equal in token order (a-z folded).
bool memesMots(QByteArrayView a, QByteArrayView b);

// Frees with std::free (memory from malloc, so the allocator's figures count it).
struct TLiberer {
    void operator()(void* p) const noexcept { std::free(p); }
};

class TStockMots {
public:
    TStockMots() = default;
    ~TStockMots() { Vider(); }
    TStockMots(const TStockMots&) = delete;
    TStockMots& operator=(const TStockMots&) = delete;

    // Frees everything.
    void Vider();
    void echanger(TStockMots& autre) noexcept;

    // Appends an element whose Mot is a copy of `mot` in the arena; returns its
    // number. It is not indexed.
    uint32_t Ajouter(QByteArrayView mot, const TCompteMot& spam, const TCompteMot& bon) {
        const char* octets;
        const size_t n = static_cast<size_t>(mot.size());
        if (n && n <= m_reste) {
            octets = m_libre;
            std::memcpy(m_libre, mot.data(), n);
            m_libre += n;
            m_reste -= n;
        } else {
            octets = copier(mot);
        }
        return AjouterEnPlace(octets, n, spam, bon);
    }
    // Appends an element whose Mot is `n` bytes the store owns already (in the
    // load buffer); returns its number. It is not indexed.
    uint32_t AjouterEnPlace(const char* octets, size_t n, const TCompteMot& spam,
                            const TCompteMot& bon) {
        if (m_taille == size_t(m_blocs.size()) << kBitsBloc) nouveauBloc();
        TUnElement* e = &m_blocs[m_taille >> kBitsBloc][m_taille & kMasqueBloc];
        new (e) TUnElement{TVueMot(octets, static_cast<qsizetype>(n)), spam, bon};
        return m_taille++;
    }
    // Number of elements stored, removed ones included.
    uint32_t Taille() const { return m_taille; }
    TUnElement& operator[](uint32_t i) { return m_blocs[i >> kBitsBloc][i & kMasqueBloc]; }
    const TUnElement& operator[](uint32_t i) const {
        return m_blocs[i >> kBitsBloc][i & kMasqueBloc];
    }

    // Bulk load. Empties the store and gives it a buffer of `octets` bytes,
    // which the file is read into and whose start the loader packs the tokens
    // into (AjouterEnPlace).
    char* DebuterChargement(size_t octets);
    // Room for about `n` elements in one region, which grows in place or moves
    // (elements are relocatable, and nothing outside the loader holds one yet)
    // until FinirChargement. Large pieces ask for huge pages: the page faults
    // of a fresh base cost more than its parse.
    void ReserverChargement(size_t n);
    // Keeps the first `utiles` bytes of the buffer and trims the element
    // region; from then on elements keep their address.
    void FinirChargement(size_t utiles);

    // Index. Sized for `n` keys without growing.
    void ReserverIndex(size_t n);
    size_t CapaciteIndex() const { return m_cap; }
    // Element number of the indexed key equal to `mot`, or -1.
    int64_t Chercher(QByteArrayView mot, uint64_t h) const;
    int64_t Chercher(QByteArrayView mot) const { return Chercher(mot, hacherMot(mot)); }
    // Indexes element `i` unless an equal key is indexed already (false then).
    bool Indexer(uint32_t i, uint64_t h);
    bool Indexer(uint32_t i) { return Indexer(i, hacherMot((*this)[i].Mot)); }
    // Indexes elements 0 to nb - 1, of hashes `h`, into an empty index, as
    // Indexer would one by one; false when a key was indexed already.
    bool IndexerTout(const uint64_t* h, uint32_t nb);
    // Removes element `i` from the index when its key points to it.
    void Desindexer(uint32_t i);
    void ViderIndex();
    size_t NbIndexes() const { return m_nbIndexes; }

private:
    static constexpr unsigned kBitsBloc = 12;
    static constexpr uint32_t kParBloc = 1u << kBitsBloc;
    static constexpr uint32_t kMasqueBloc = kParBloc - 1;
    static constexpr size_t kTailleArena = size_t(1) << 20;
    // The first chunk is small and each next one twice the last, up to
    // kTailleArena: a base of a few tokens (a message's own) costs no megabyte.
    static constexpr size_t kPremiereArena = size_t(1) << 12;

    const char* copier(QByteArrayView mot);
    void nouveauBloc();
    void placerBlocs(TUnElement* region, size_t nbBlocs);
    // First slot of a key: the low half of its hash scaled to the table.
    size_t maison(uint64_t h) const { return size_t((h & 0xFFFFFFFFu) * m_cap >> 32); }
    size_t suivant(size_t s) const { return s + 1 == m_cap ? 0 : s + 1; }
    uint32_t etiquette(uint64_t h) const {
        return static_cast<uint32_t>(h >> 32) & ((uint32_t(1) << (32 - m_bits)) - 1);
    }
    uint32_t masqueNumero() const { return (uint32_t(1) << m_bits) - 1; }
    bool pleine(size_t n) const { return !m_cap || n * 4 > m_cap * 3 || m_cap <= m_taille; }
    void agrandir(size_t n);
    void placer(uint32_t i, uint64_t h);

    // Elements: chunks of kParBloc, constructed as they are appended. A loaded
    // base's chunks lie end to end in one region; m_regions owns the memory.
    std::vector<TUnElement*> m_blocs;
    std::vector<std::unique_ptr<void, TLiberer>> m_regions;
    uint32_t m_taille = 0;
    // The region being loaded (may still move) and its size in chunks.
    TUnElement* m_enCharge = nullptr;
    size_t m_blocsEnCharge = 0;
    // Token bytes: chunks that never move; large tokens get a chunk of their
    // own; a loaded base's tokens are packed in its file buffer.
    std::vector<std::unique_ptr<char, TLiberer>> m_arena;
    char* m_tampon = nullptr; // the file buffer while loading (owned by m_arena)
    char* m_libre = nullptr;
    size_t m_reste = 0;
    size_t m_prochaineArena = kPremiereArena;
    // Linear probing over m_cap entries (at most three quarters used): 0 is
    // empty, otherwise the element number plus one in the low m_bits bits (the
    // width of m_cap) and hash bits above them, so most probes that do not
    // match never touch the element.
    std::unique_ptr<uint32_t, TLiberer> m_table;
    size_t m_cap = 0;
    unsigned m_bits = 0;
    size_t m_nbIndexes = 0;
};

} // namespace bayes
