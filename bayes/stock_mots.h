#pragma once
// Storage of the knowledge base's tokens: their bytes in an arena of chunks,
// the elements in fixed chunks (an element never moves, so pointers to it stay
// valid until the store is emptied), and an open-addressing index over them.
#include "bayes/bayes_base.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace bayes {

// Hash of a token with a-z folded: tokens equal in token order hash alike.
uint64_t hacherMot(QByteArrayView mot);
// Equal in token order (a-z folded).
bool memesMots(QByteArrayView a, QByteArrayView b);

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
        if (m_taille == size_t(m_blocs.size()) << kBitsBloc) nouveauBloc();
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
        TUnElement* e = &m_blocs[m_taille >> kBitsBloc][m_taille & kMasqueBloc];
        // Raw data over the arena: the QByteArray allocates nothing.
        new (e) TUnElement{QByteArray::fromRawData(octets, mot.size()), spam, bon};
        return m_taille++;
    }
    // Number of elements stored, removed ones included.
    uint32_t Taille() const { return m_taille; }
    TUnElement& operator[](uint32_t i) { return m_blocs[i >> kBitsBloc][i & kMasqueBloc]; }
    const TUnElement& operator[](uint32_t i) const {
        return m_blocs[i >> kBitsBloc][i & kMasqueBloc];
    }

    // Index. Sized for `n` keys without growing.
    void ReserverIndex(size_t n);
    // Element number of the indexed key equal to `mot`, or -1.
    int64_t Chercher(QByteArrayView mot, uint64_t h) const;
    int64_t Chercher(QByteArrayView mot) const { return Chercher(mot, hacherMot(mot)); }
    // Indexes element `i` unless an equal key is indexed already (false then).
    bool Indexer(uint32_t i, uint64_t h);
    bool Indexer(uint32_t i) { return Indexer(i, hacherMot((*this)[i].Mot)); }
    // Removes element `i` from the index when its key points to it.
    void Desindexer(uint32_t i);
    void ViderIndex();
    size_t NbIndexes() const { return m_nbIndexes; }
    // Tells the memory in the index a key will be looked up soon.
    void Prevoir(uint64_t h) const {
        if (m_cap) __builtin_prefetch(&m_table[maison(h)]);
    }

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

    // Elements: chunks of kParBloc, constructed as they are appended.
    std::vector<TUnElement*> m_blocs;
    uint32_t m_taille = 0;
    // Token bytes: chunks that never move; large tokens get a chunk of their own.
    std::vector<std::unique_ptr<char[]>> m_arena;
    char* m_libre = nullptr;
    size_t m_reste = 0;
    size_t m_prochaineArena = kPremiereArena;
    // Linear probing over m_cap entries (at most three quarters used): 0 is
    // empty, otherwise the element number plus one in the low m_bits bits (the
    // width of m_cap) and hash bits above them, so most probes that do not
    // match never touch the element.
    std::unique_ptr<uint32_t[]> m_table;
    size_t m_cap = 0;
    unsigned m_bits = 0;
    size_t m_nbIndexes = 0;
};

} // namespace bayes
