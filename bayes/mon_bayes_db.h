#pragma once
// The knowledge base: what the filter learned, and its file "bayes.qdl".
#include "bayes/bayes_base.h"
#include "bayes/stock_mots.h"
#include "core/fichier_protege.h"

#include <QByteArrayList>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QString>

#include <functional>

class TBayesDoc;

namespace bayes {
// Lookup key of a token: hashes and compares in token order (a-z folded).
struct TCleMot {
    QByteArrayView mot;
    friend bool operator==(const TCleMot& a, const TCleMot& b) {
        return a.mot.size() == b.mot.size() && comparerMots(a.mot, b.mot) == 0;
    }
};
size_t qHash(const TCleMot& cle, size_t graine = 0) noexcept;

// Count of one side selected by the mode (only its low seven bits count).
int32_t compteSelonMode(const TCompteMot& c, int mode, bool sansTexte);
// A token takes part in a combination only with at least this many messages.
constexpr int kSeuilQualifie = 5;

// A list of names or words tested without letter case (code page 1252).
class TListeIgnoree {
public:
    QByteArray Texte() const; // lines joined by CR LF
    void setTexte(QByteArrayView texte);
    bool Contient(QByteArrayView mot) const;
    void Trier();
    void Vider();
    const QByteArrayList& Lignes() const { return m_lignes; }

private:
    QByteArrayList m_lignes;
    QSet<QByteArray> m_minuscules;
};
} // namespace bayes

class TMonBayesDB;

namespace bayes {
// The base's elements in token order, as pointers (a view: valid while the base
// is not changed).
class TVueElements {
public:
    struct TRef {
        TUnElement* p;
        TUnElement* operator->() const { return p; }
        TUnElement& operator*() const { return *p; }
        TUnElement* get() const { return p; }
    };
    class iterator {
    public:
        iterator(const TVueElements* v, size_t i) : m_v(v), m_i(i) {}
        TRef operator*() const { return (*m_v)[m_i]; }
        iterator& operator++() {
            ++m_i;
            return *this;
        }
        bool operator==(const iterator& o) const { return m_i == o.m_i; }
        bool operator!=(const iterator& o) const { return m_i != o.m_i; }

    private:
        const TVueElements* m_v;
        size_t m_i;
    };

    TVueElements(TStockMots& stock, const std::vector<uint32_t>* ordre, size_t taille)
        : m_stock(&stock), m_ordre(ordre), m_taille(taille) {}
    size_t size() const { return m_taille; }
    bool empty() const { return m_taille == 0; }
    TRef operator[](size_t i) const {
        return {&(*m_stock)[m_ordre ? (*m_ordre)[i] : static_cast<uint32_t>(i)]};
    }
    TRef front() const { return (*this)[0]; }
    TRef back() const { return (*this)[m_taille - 1]; }
    iterator begin() const { return {this, 0}; }
    iterator end() const { return {this, m_taille}; }

private:
    TStockMots* m_stock;
    const std::vector<uint32_t>* m_ordre; // null: the storage order
    size_t m_taille;
};
} // namespace bayes

// The tokens of its elements are lookup keys: never change an element's Mot.
// Elements keep their address until the base is emptied or loaded again.
class TMonBayesDB {
public:
    // Loads the file and the ignore lists at once (unless `charger` is false: a
    // working base that starts empty). Throws std::invalid_argument when
    // `fileSpec` is empty.
    TMonBayesDB(const QString& fileSpec, const QString& repertoire, bool charger = true);
    // Saves when modified (never a temporary base), then empties.
    ~TMonBayesDB();
    TMonBayesDB(const TMonBayesDB&) = delete;
    TMonBayesDB& operator=(const TMonBayesDB&) = delete;

    // Replaces the content with the file's. False when the file exists but cannot
    // be read: the base is then empty, refuses to save over that file and to
    // learn (what it learned could never be saved), until a load succeeds.
    bool Charger(QString* erreur = nullptr);
    // Writes the file (temporary file renamed over it) when it holds tokens and is
    // modified. False on failure; `Modifie` then stays set for the next try.
    bool Sauver(QString* erreur = nullptr);
    // Adds another base's counts into this one.
    void Fusionner(TMonBayesDB& autre);
    void Vider();
    // Exchanges the tokens, the learned counts, the modified flag and what the
    // last load said of the file with another base (file names, ignore lists
    // and hooks stay). Lets a rebuilt base replace this one, and be put back.
    void Echanger(TMonBayesDB& autre) noexcept;
    int32_t NbMots() const {
        return static_cast<int32_t>(m_ordreExplicite ? m_ordre.size() : m_stock.Taille());
    }
    int32_t Nombre() { return NbMots(); }

    // Appends a copy and indexes it (the base sorts new tokens in when order is
    // needed). A token already there is not added: its index is returned.
    int32_t Inserer(std::unique_ptr<TUnElement> element);
    // The elements in token order.
    bayes::TVueElements Elements() {
        Ordonner();
        return {m_stock, m_ordreExplicite ? &m_ordre : nullptr, static_cast<size_t>(NbMots())};
    }
    TUnElement& Element(int32_t i) { return *Elements()[static_cast<size_t>(i)]; }
    // True and the index of the first equal element, or false and the
    // insertion index.
    bool Chercher(QByteArrayView mot, int32_t& indice);

    // The element of a token, or null.
    TUnElement* Trouver(QByteArrayView mot);
    int32_t CompteSpam(QByteArrayView mot, int mode);
    int32_t CompteBon(QByteArrayView mot, int mode);
    double Probabilite(QByteArrayView mot, int mode);
    // Same from an element already found (null: unknown token).
    double ProbabiliteElement(const TUnElement* e, int mode) const;

    // Both do nothing (traced) while the file is unreadable.
    void Apprendre(TBayesDoc& doc, bool estSpam);
    void Desapprendre(TBayesDoc& doc, bool estSpam);

    // Ignore lists.
    QByteArray GetMotsIgnores() const { return m_motsIgnores.Texte(); }
    void SetMotsIgnores(QByteArrayView texte) { m_motsIgnores.setTexte(texte); }
    QByteArray GetEntetesIgnorees() const { return m_entetesIgnorees.Texte(); }
    void SetEntetesIgnorees(QByteArrayView texte) { m_entetesIgnorees.setTexte(texte); }
    // A list whose file exists but could not be read is empty and not saved.
    bool SauverListesIgnorees(QString* erreur = nullptr);
    void ChargerListesIgnorees();
    bool EnteteIgnoree(QByteArrayView nom) const { return m_entetesIgnorees.Contient(nom); }
    bool MotIgnore(QByteArrayView mot) const { return m_motsIgnores.Contient(mot); }

    // The file existed but could not be read at the last load.
    bool FichierIllisible() const { return m_fichier.Protege(); }

    QString FileSpec;
    double SommeSpam = 0;
    double SommeBon = 0;
    double ProbaSpam = 0;
    double ProbaBon = 0;
    int32_t NbSpamAppris = 0;
    int32_t NbBonAppris = 0;
    bool Modifie = false;
    // The document being judged has no plain text (set by the evaluations).
    bool SansTexte = false;
    QString Repertoire;
    // A working base (the full rebuild's) that must never write the file.
    bool Temporaire = false;
    // Writes the built file to the temporary file; null writes it whole. Tests
    // put a failing device here.
    std::function<bool(QIODevice&, const QByteArray&)> EcrireFichier;

    static QString NomMotsIgnores() { return QStringLiteral("ignore-mot.qdl"); }
    static QString NomEntetesIgnorees() { return QStringLiteral("ignore-entete.qdl"); }

private:
    // Reads the file (or the ".bak" of an interrupted save) into the store's
    // load buffer, which `tampon` gets, and `taille` the file's size.
    sauvegarde::TEtatLecture lireFichier(char*& tampon, size_t& taille, QString* raison);
    // Sorts the appended tokens in.
    void Ordonner();
    // Sorts element numbers in token order, equal tokens in their given order.
    void trier(uint32_t* debut, uint32_t* fin);
    // The file's bytes, handed to `sortie` a piece at a time (false stops).
    bool formater(const std::function<bool(const char*, size_t)>& sortie);
    void appliquer(TBayesDoc& doc, bool estSpam, int delta);
    // Appended and indexed.
    TUnElement* ajouterElement(QByteArrayView mot, const TCompteMot& spam, const TCompteMot& bon);
    void reconstruireIndex();
    void retirerNegatifs();
    void ordreExplicite();
    uint32_t numero(size_t i) const {
        return m_ordreExplicite ? m_ordre[i] : static_cast<uint32_t>(i);
    }

    bayes::TStockMots m_stock;
    // Token order as element numbers; unused while the storage order is it.
    std::vector<uint32_t> m_ordre;
    bool m_ordreExplicite = false;
    size_t m_nbTries = 0;    // length of the sorted head of the order
    bool m_doublons = false; // the file held a token twice
    bool m_negatifs = false; // some element may have CoteSpam.Total < 0
    TFichierProtege m_fichier;
    bayes::TListeIgnoree m_motsIgnores;
    bayes::TListeIgnoree m_entetesIgnorees;
    TFichierProtege m_fichierMotsIgnores;
    TFichierProtege m_fichierEntetesIgnorees;
};
