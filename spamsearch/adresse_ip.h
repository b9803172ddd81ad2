#pragma once
// IPv4 addresses of relays and the single-pattern matcher of the filter lists.
#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

// First octet in the least significant byte; 0 means "no address".
using TAdresseIP = quint32;

// "a.b.c.d", first octet first.
QByteArray IPVersChaine(TAdresseIP ip);
// "d.c.b.a": the reversed form used in DNSBL query names.
QByteArray IPVersChaineInverse(TAdresseIP ip);
// Reads digits and dots from the start and stops at any other byte. Exactly four
// parts are needed; an empty part reads as 0; a part above 255 (or any other
// failure) gives 0. Never overflows, whatever the number of digits.
TAdresseIP ChaineVersIP(QByteArrayView texte);
// The address as a number with the first octet most significant (for sorting, CIDR).
inline quint32 IPVersHote(TAdresseIP ip) {
    return ((ip & 0xFFu) << 24) | ((ip & 0xFF00u) << 8) | ((ip >> 8) & 0xFF00u) | (ip >> 24);
}
inline TAdresseIP HoteVersIP(quint32 hote) {
    return IPVersHote(hote);
}

// Matches one value against one pattern: a "cidr:a.b.c.d/n" pattern when
// cidrAutorise, else a wildcard pattern anchored at both ends ("*", "?", "#" digit,
// 0xB5 consonant, "\" escape). Runs in O(len(value) * len(pattern)) at worst.
bool CorrespondFiltre(QByteArrayView valeur, QByteArrayView motif, bool cidrAutorise);
