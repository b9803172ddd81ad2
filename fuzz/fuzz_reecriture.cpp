// The rewriting of a judged message, at every level and with every option that
// changes it: whatever the message holds, the client reads back one answer
// that ends exactly at its terminator.
#include "fuzz/commun.h"
#include "proxy/analyse_pop3.h"
#include "proxy/reecriture.h"
#include "tests/support/reponse_pop3.h"

#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::TEntree finEntree;
    if (size < 2) return 0;
    const uint8_t o = data[0], p = data[1];
    TMessageAReecrire m;
    m.Flux = fuzz::Octets(data + 2, size - 2);
    m.Niveau = TNiveauSpam(o & 3);
    m.SpamIP = o & 4;
    m.SpamBayes = o & 8;
    m.TestBayes = o & 16;
    m.CommandeTOP = o & 32;
    m.EnvoiFictif = o & 64;
    m.SupprimerSpam = o & 128;
    m.Probabilite = p < 200 ? p / 2.0 : -1;
    if (p & 1) m.TexteXKelvarin = "X-Kelvarin: liste noire (ip)\r\n";
    if (p & 2) m.ReponseRetenue = "+OK message follows";
    m.NomCompte = "compte";
    pop3::TChampsEntete champs;
    for (QByteArray ligne : m.Flux.split('\n')) {
        if (ligne.endsWith('\r')) ligne.chop(1);
        if (ligne.isEmpty()) break;
        champs.ajouterLigne(ligne);
    }
    m.From = champs.From;
    m.To = champs.To;
    m.Subject = champs.Subject;
    TConfig config;
    config.ModifSujet = p & 4;
    config.AjoutInfoBayesien = p & 8;
    config.EnleveHTML = p & 16;

    const TMessageReecrit r = ReecrireMessage(m, config);
    qsizetype debut = 0;
    if (r.Octets.startsWith('+') || r.Octets.startsWith('-')) {
        const qsizetype fin = r.Octets.indexOf("\r\n");
        if (fin < 0) __builtin_trap();
        debut = fin + 2;
    }
    const std::optional<QByteArray> lu = testsupport::lireReponsePOP(r.Octets, debut);
    if (!lu) fuzz::Echec("rewritten answer does not end at its terminator", m.Flux, r.Octets);
    return 0;
}
