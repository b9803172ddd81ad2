#pragma once
// The settings file store ("kelvarin.ini"): profile format with sections and
// key=value lines, Windows-1252, CR LF. A missing file or key gives the
// caller's default; one pair of enclosing double or single quotes is removed on
// read; every write reaches the disk at once through an atomic replace, so the
// file is never half written. A store that could not be opened is absent:
// reads give their defaults and writes do nothing.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <vector>

class TStockageConfig {
public:
    // Opens the store on a file, which need not exist yet. Fails (store absent)
    // when its directory does not exist or an existing file cannot be read.
    bool Ouvrir(const QString& chemin);
    void Fermer();
    bool Ouvert() const { return m_ouvert; }
    const QString& Chemin() const { return m_chemin; }

    // The section used by reads and writes that name none; empty means "Racine".
    void DefinirSection(QByteArrayView section);
    QByteArray Section() const;

    QByteArray LireChaine(QByteArrayView cle, QByteArrayView defaut);
    int LireEntier(QByteArrayView cle, int defaut);
    bool LireBool(QByteArrayView cle, bool defaut);
    bool EcrireChaine(QByteArrayView cle, QByteArrayView valeur);
    bool EcrireEntier(QByteArrayView cle, int valeur);
    bool EcrireBool(QByteArrayView cle, bool valeur);

    // Convenience forms: the section is current for that one call only.
    QByteArray LireChaine(QByteArrayView section, QByteArrayView cle, QByteArrayView defaut);
    int LireEntier(QByteArrayView section, QByteArrayView cle, int defaut);
    bool LireBool(QByteArrayView section, QByteArrayView cle, bool defaut);
    bool EcrireChaine(QByteArrayView section, QByteArrayView cle, QByteArrayView valeur);
    bool EcrireEntier(QByteArrayView section, QByteArrayView cle, int valeur);
    bool EcrireBool(QByteArrayView section, QByteArrayView cle, bool valeur);

    // Groups many writes into one replace of the file (EcrireConfig writes about
    // forty keys). The outermost group reads the file again when it opens, so
    // a hand edit made meanwhile is kept; nested groups write once, when the
    // outermost one ends.
    class TLot {
    public:
        explicit TLot(TStockageConfig& s) : m_s(s) { m_s.OuvrirLot(); }
        ~TLot();
        TLot(const TLot&) = delete;
        TLot& operator=(const TLot&) = delete;

    private:
        TStockageConfig& m_s;
    };

    // The raw value of a key, without quote removal; false when missing.
    bool ValeurBrute(QByteArrayView section, QByteArrayView cle, QByteArray& valeur);

    // Profile text helpers, exposed for tests.
    static QByteArray SansGuillemets(QByteArrayView valeur);
    // True when the value, written as it is, reads back as itself: no pair of
    // enclosing quotes to remove, no blanks at its ends to trim.
    static bool RelueTelleQuelle(QByteArrayView valeur);
    static bool EntierStrict(QByteArrayView texte, int& valeur);

private:
    void OuvrirLot();
    void Rafraichir();
    bool Ecrire(QByteArrayView section, QByteArrayView cle, QByteArrayView valeur);
    bool Enregistrer();
    qsizetype ChercherCle(QByteArrayView section, QByteArrayView cle);
    // The line of every key that a read can find, built on first use after
    // the lines were read again: a read no longer walks the whole file.
    void indexer();
    // Inserts a line, moving the index's later lines down by one.
    void Inserer(qsizetype ligne, const QByteArray& texte);
    qsizetype position(const QHash<QByteArray, qsizetype>& table, const QByteArray& cle) const;
    void placer(QHash<QByteArray, qsizetype>& table, const QByteArray& cle, qsizetype ligne);
    const QByteArray& cleIndex(QByteArrayView section, QByteArrayView cle);

    QString m_chemin;
    bool m_ouvert = false;
    QByteArray m_section;
    // The file as lines (without line ends), kept in order so that a write
    // changes one line in place and leaves comments and other keys alone.
    QList<QByteArray> m_lignes;
    // Folded "section\nkey" -> its line, valid while m_indexValide. Both
    // tables hold a slot of m_positions, so an insertion moves the later lines
    // with one pass over a plain array.
    QHash<QByteArray, qsizetype> m_index;
    // Folded section -> the line where its next new key goes (after its last
    // key, or its header), for the first section of each name.
    QHash<QByteArray, qsizetype> m_finSections;
    std::vector<qsizetype> m_positions;
    QByteArray m_cle;
    bool m_indexValide = false;
    // The file's bytes when last read or written: a change by another writer
    // is seen even within the file system's time stamp resolution.
    QByteArray m_brut;
    bool m_present = false;
    bool m_charge = false;
    int m_lot = 0;
    bool m_modifie = false;
};

// The process's store, opened at start-up.
TStockageConfig& StockageConfig();
