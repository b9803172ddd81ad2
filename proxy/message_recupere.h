#pragma once
// The message a session retrieves with RETR or TOP, from the request to its
// delivery: what arrived, what its header said, and how far its judgement is.
// The session fills it, the verdict works on it.

#include "accounts/un_compte_bis.h"
#include "accounts/un_message_mem.h"
#include "spamsearch/extraction_ip.h"

#include <QByteArray>

#include <cstdint>

// Code of a client command.
enum TCommandeSession : uint8_t { cmAutre = 0, cmLogin = 1, cmQuit = 5, cmRetr = 10, cmTop = 11 };

struct TMessageRecupere {
    // RETR or TOP, fixed when it is asked for: the verdict and the delivery
    // never read a later command.
    TCommandeSession Commande = cmAutre;
    // The session's account when it was asked for.
    PUnCompteBis Compte = nullptr;
    // The text as received: one line and CR LF per server line.
    QByteArray Flux;
    // Its status line, held until the verdict when spam may become a notice.
    QByteArray ReponseRetenue;
    // A re-emitted archived message: nothing is judged.
    bool EnvoiFictif = false;

    // Taken from the header while it arrives.
    TAdressesRelais AdressesIP;       // relay addresses
    QByteArray ChampEntete;           // field of the last header line, lower case
    uint8_t VerdictListe = 0;         // preset by the header lists
    QByteArray From, To, Cc, Subject; // raw values, as the upstream client parsed them

    // The judgement.
    bool AttenteDNS = false;      // complete, waiting for DNSBL answers
    bool VerdictFait = false;     // judged and handed to the delivery
    TUnMessageMem MessageEnCours; // the record archived with the verdict
    qint64 Taille = 0;            // its own size, before the 32-bit record field
};
