#pragma once
// Charsets: the tables of the "Encodage" directory, encoded header words
// (=?charset?B|Q?...?=), UTF-8 and UTF-7, and file names taken from headers.
// Input is bytes (code page 1252 where nothing else is said); output is text.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

enum TTypeCharset : uint8_t { tcCherche = 0, tcAucun = 1, tcUTF8 = 2, tcUTF7 = 3, tcFichier = 4 };

struct TUnCharset {
    QByteArray NomCharset;
    QByteArray Alias1, Alias2, Alias3;
    QString NomFichier;
    uint16_t Debut = 0;                // bytes below it are kept as they are
    std::array<uint16_t, 256> Table{}; // Unicode code of each byte; 0 = unknown
    TTypeCharset TypeCharset = tcFichier;
};
using PUnCharset = TUnCharset*;

class TEncodageDecodage {
public:
    TEncodageDecodage();

    // Empties the list and loads every "*.qdl" of `repertoire` (no sub-directory),
    // then adds "utf-8" and "utf-7". A missing directory leaves only those two.
    void ChargerCharsets(const QString& repertoire);
    // Loads one table file; false when it cannot be read or has no "nom" line.
    static bool LireTable(QByteArrayView contenu, TUnCharset& charset);

    // Encoded words to text; everything else is widened from code page 1252.
    QString DecoderEntete(QByteArrayView texte) const;
    // The same brought back to code page 1252 and appended to `sortie`, as the
    // Bayesian text takes header values: a value with no encoded word and no
    // tab is copied unchanged.
    void DecoderEnteteCp1252(QByteArrayView texte, QByteArray& sortie) const;
    // Bytes of a named charset to text; unknown charsets widen from code page 1252.
    QString VersUnicode(QByteArrayView texte, QByteArrayView charset) const;
    // A header parameter made into a safe file name (code page 1252): no path,
    // never ".", ".." nor a NUL byte; empty when nothing usable is left.
    QByteArray NettoyerNomFichier(QByteArrayView texte) const;

    // The table whose name or alias equals `nom` (compared as given, lower case expected).
    const TUnCharset* Chercher(QByteArrayView nom) const;
    const std::vector<std::unique_ptr<TUnCharset>>& Charsets() const { return m_charsets; }

private:
    void ajouterUnicode();
    std::vector<std::unique_ptr<TUnCharset>> m_charsets;
};

// "=" and any character outside the alphabet count as 0; trailing zero bytes
// of the result are removed (the first byte excepted).
QByteArray DecoderBase64(QByteArrayView texte);
// RFC 2047 Q: "=XX" is that byte ("=00" gives CR LF), "_" a blank.
QByteArray DecoderQ(QByteArrayView texte);
// 1-, 2- and 3-byte sequences; longer ones give "?", and so does a byte that
// starts no whole sequence (the bytes after it are decoded on their own).
QString DecoderUTF8(QByteArrayView texte);
// RFC 2152.
QString DecoderUTF7(QByteArrayView texte);
