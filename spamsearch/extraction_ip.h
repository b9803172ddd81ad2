#pragma once
// Relay addresses of a message, taken from its Received header lines while the
// header arrives: the session names the field of each line (NomChampEntete) and
// scans the Received ones (ExtraireIPLigne).
#include "spamsearch/adresse_ip.h"

#include <QByteArray>
#include <array>
#include <functional>

constexpr int kMaxAdressesRelais = 10;

struct TAdressesRelais {
    std::array<TAdresseIP, kMaxAdressesRelais> adresses{};
    int nb = 0;

    void vider() { nb = 0; }
    bool contient(TAdresseIP ip) const;
    TAdresseIP operator[](int i) const { return adresses[size_t(i)]; }
};

// Scans one physical line of a Received field. Takes at most one new address:
// the first bracketed "(a.b.c.d)" or "[a.b.c.d]" that converts, that
// estIPInternet accepts and that is not yet in the list (a known one ends the
// scan). Returns true when an address was added.
bool ExtraireIPLigne(QByteArrayView ligne, TAdressesRelais& relais,
                     const std::function<bool(TAdresseIP)>& estIPInternet);

// The name of the field a header line belongs to: trimmed, lower case, taken
// from a line that has a colon and does not begin with a blank or a tab;
// continuation lines (and lines without a colon) keep the previous name.
QByteArray NomChampEntete(QByteArrayView ligne, const QByteArray& precedent);
