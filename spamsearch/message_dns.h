#pragma once
// DNS messages of a DNSBL lookup: the query and the reading of its answer.
// Pure functions of bytes; every offset is checked against the datagram.
#include "spamsearch/adresse_ip.h"

#include <QByteArray>
#include <QByteArrayView>

namespace messagedns {

constexpr int kTailleMaxReponse = 512;
constexpr int kMaxEnregistrements = 50;

// A standard query: the identifier, opcode 0, recursion desired, one question
// for the name, type A, class IN. Empty when the name cannot be encoded (an
// empty or over-long label, a name over 255 bytes).
QByteArray construireRequete(quint16 identifiant, QByteArrayView nom);

enum class TLecture {
    Ignoree, // not the answer to this query: keep waiting
    Reponse  // the answer: its code and first address are filled in
};

struct TReponseDNS {
    int codeRetour = 0;             // RCODE
    int nbReponses = 0;             // answer records read (at most kMaxEnregistrements)
    int nbAdresses = 0;             // A records of class IN among them
    TAdresseIP premiereAdresse = 0; // first A record of the answer section
};

// Reads a datagram received for the query `identifiant` on `nom`. A datagram
// that is too short, not a response, or whose identifier or question differ, is
// ignored. A truncated or malformed answer section is read up to where it stops
// making sense.
TLecture lireReponse(QByteArrayView datagramme, quint16 identifiant, QByteArrayView nom,
                     TReponseDNS& reponse);

} // namespace messagedns
