#pragma once
// Windows-1252 text: the one place where bytes become text and back.
// Messages, patterns, tokens and data files stay bytes (QByteArray) everywhere else.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace cp1252 {

// Byte to Unicode code point (0x81, 0x8D, 0x8F, 0x90 and 0x9D map to themselves).
char16_t versUnicode(unsigned char c);
QString versUnicode(QByteArrayView octets);

// Unicode to bytes; what the code page cannot represent becomes '?'.
unsigned char depuisUnicode(char16_t c);
QByteArray depuisUnicode(QStringView texte);
inline QByteArray depuisLatin(const char* s) {
    return depuisUnicode(QString::fromUtf8(s));
}

// The code page's own case mapping (A-Z, accented capitals, Š Œ Ž Ÿ).
unsigned char minuscule(unsigned char c);
unsigned char majuscule(unsigned char c);
QByteArray minuscules(QByteArrayView octets);
QByteArray majuscules(QByteArrayView octets);
void enMinuscules(QByteArray& octets);

// Case-insensitive compare and search, with the code page's case mapping.
bool egauxSansCasse(QByteArrayView a, QByteArrayView b);
// The order of minuscules(a) against minuscules(b) (<0, 0, >0), without building either.
int comparerSansCasse(QByteArrayView a, QByteArrayView b);
bool commenceParSansCasse(QByteArrayView texte, QByteArrayView debut);
qsizetype chercherSansCasse(QByteArrayView texte, QByteArrayView motif, qsizetype depuis = 0);

} // namespace cp1252
