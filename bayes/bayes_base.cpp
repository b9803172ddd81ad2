#include "bayes/bayes_base.h"

#include "bayes/stock_mots.h"

#include <algorithm>
#include <limits>

namespace bayes {

int comparerMots(QByteArrayView a, QByteArrayView b) {
    using detail::lire8;
    using detail::lireFin;
    using detail::plier8;
    const size_t n = size_t(std::min(a.size(), b.size()));
    const char* pa = a.data();
    const char* pb = b.data();
    // Eight bytes at a time; folded only where they differ. Read as big-endian
    // numbers, the first differing byte decides, as a byte-by-byte compare would.
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t x = lire8(pa + i), y = lire8(pb + i);
        if (x == y) continue;
        const uint64_t fx = plier8(x), fy = plier8(y);
        if (fx != fy) return __builtin_bswap64(fx) < __builtin_bswap64(fy) ? -1 : 1;
    }
    if (i < n) {
        // The common tail, zero-padded alike on both sides.
        const uint64_t fx = plier8(lireFin(pa + i, n - i, n));
        const uint64_t fy = plier8(lireFin(pb + i, n - i, n));
        if (fx != fy) return __builtin_bswap64(fx) < __builtin_bswap64(fy) ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int32_t ajouterSature(int32_t a, int32_t b) {
    const int64_t s = int64_t(a) + int64_t(b);
    if (s > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (s < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(s);
}

} // namespace bayes

void TBayesBase::Vider() {
    m_elements.clear();
}

bool TBayesBase::Chercher(QByteArrayView mot, int32_t& indice) {
    auto& el = elementsOrdonnes();
    auto it = std::lower_bound(el.begin(), el.end(), mot,
                               [](const std::unique_ptr<TUnElement>& e, QByteArrayView m) {
                                   return bayes::comparerMots(e->Mot, m) < 0;
                               });
    indice = static_cast<int32_t>(it - el.begin());
    return it != el.end() && bayes::comparerMots((*it)->Mot, mot) == 0;
}

int32_t TBayesBase::IndiceDe(QByteArrayView mot) {
    if (m_trie) {
        int32_t i = 0;
        return Chercher(mot, i) ? i : -1;
    }
    auto& el = elementsOrdonnes();
    for (size_t i = 0; i < el.size(); ++i) {
        if (bayes::comparerMots(el[i]->Mot, mot) == 0) return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t TBayesBase::Inserer(std::unique_ptr<TUnElement> element) {
    if (m_trie) {
        int32_t i = 0;
        if (Chercher(element->Mot, i)) return i;
        m_elements.insert(m_elements.begin() + i, std::move(element));
        return i;
    }
    elementsOrdonnes().push_back(std::move(element));
    return static_cast<int32_t>(m_elements.size() - 1);
}

void TBayesBase::Reserver(int32_t capacite) {
    const size_t cap = m_elements.capacity();
    if (capacite > 0 && static_cast<size_t>(capacite) > cap) {
        m_elements.reserve(static_cast<size_t>(capacite));
    } else if (m_elements.size() == cap) {
        m_elements.reserve(std::max(static_cast<size_t>(cap * 1.2), cap + 100));
    }
}

void TBayesBase::SetTrie(bool valeur) {
    m_trie = valeur;
    if (valeur) {
        auto& el = elementsOrdonnes();
        std::stable_sort(el.begin(), el.end(), bayes::avantMot);
    }
}
