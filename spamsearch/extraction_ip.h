#pragma once
// Relay addresses of a message, taken from its Received header lines while the
// header arrives.
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

// Follows the header of one message line by line and fills its relay list.
class TExtracteurRelais {
public:
    explicit TExtracteurRelais(std::function<bool(TAdresseIP)> estIPInternet)
        : m_estIPInternet(std::move(estIPInternet)) {}

    void debutMessage() {
        m_relais.vider();
        m_champ.clear();
    }
    // One header line, without its line end.
    void ligneEntete(QByteArrayView ligne);
    const TAdressesRelais& relais() const { return m_relais; }
    const QByteArray& champCourant() const { return m_champ; }

private:
    std::function<bool(TAdresseIP)> m_estIPInternet;
    TAdressesRelais m_relais;
    QByteArray m_champ;
};
