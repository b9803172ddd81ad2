#pragma once
// Token lists shared by the token document and the knowledge base.
#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <memory>
#include <vector>

// Four counts of one side of a token: in the knowledge base, messages that hold
// the token (in total and per zone); in a document, occurrences per zone.
struct TCompteMot {
    int32_t Total = 0;
    int32_t EnTete = 0;
    int32_t Texte = 0;
    int32_t Html = 0;
};

// A token's bytes, held elsewhere: by the knowledge base (its arena) or by the
// document (the text it analysed). Nothing to build or destroy.
struct TVueMot : QByteArrayView {
    using QByteArrayView::QByteArrayView;
    TVueMot() = default;
    TVueMot(QByteArrayView v) noexcept : QByteArrayView(v) {}
    // A temporary's bytes would be gone at once: keep the array in a variable.
    TVueMot(QByteArray&&) = delete;
    TVueMot(const QByteArray&&) = delete;
    // A copy, for callers that keep the token.
    operator QByteArray() const { return toByteArray(); }
    friend bool operator==(const TVueMot& a, const QByteArray& b) noexcept {
        return QByteArrayView(a) == QByteArrayView(b);
    }
    friend bool operator!=(const TVueMot& a, const QByteArray& b) noexcept { return !(a == b); }
};

struct TUnElement {
    TVueMot Mot;
    TCompteMot CoteSpam;
    TCompteMot CoteBon;
};
using PUnElement = TUnElement*;

namespace bayes {
// Token order: bytes compared after folding a-z to upper case.
int comparerMots(QByteArrayView a, QByteArrayView b);
inline bool avantMot(const std::unique_ptr<TUnElement>& a, const std::unique_ptr<TUnElement>& b) {
    return comparerMots(a->Mot, b->Mot) < 0;
}
// Adds without leaving the int32 range (damaged files may hold extreme counts).
int32_t ajouterSature(int32_t a, int32_t b);
} // namespace bayes

class TBayesBase {
public:
    TBayesBase() = default;
    virtual ~TBayesBase() = default;
    TBayesBase(const TBayesBase&) = delete;
    TBayesBase& operator=(const TBayesBase&) = delete;

    // Disposes of every element.
    virtual void Vider();

    // Sorted list only: true and the index of the first equal element, or false
    // and the insertion index.
    bool Chercher(QByteArrayView mot, int32_t& indice);
    // Index of the element equal to `mot` in token order, or -1.
    int32_t IndiceDe(QByteArrayView mot);
    // Sorted: inserts in order (an equal element's index is returned and the new
    // one dropped). Unsorted: appends.
    virtual int32_t Inserer(std::unique_ptr<TUnElement> element);
    void Reserver(int32_t capacite);
    void SetTrie(bool valeur);
    bool Trie() const { return m_trie; }

    int32_t Nombre() { return static_cast<int32_t>(elementsOrdonnes().size()); }
    TUnElement& Element(int32_t i) { return *elementsOrdonnes()[static_cast<size_t>(i)]; }
    // The elements, in token order when the list is sorted.
    const std::vector<std::unique_ptr<TUnElement>>& Elements() { return elementsOrdonnes(); }
    size_t Capacite() const { return m_elements.capacity(); }

    bool SansTexte = false;

protected:
    // Brings the list back into order before index-based access (the knowledge
    // base appends learned tokens and sorts them in later).
    virtual void Ordonner() {}
    std::vector<std::unique_ptr<TUnElement>>& elementsOrdonnes() {
        Ordonner();
        return m_elements;
    }

    std::vector<std::unique_ptr<TUnElement>> m_elements;
    bool m_trie = false;
};
