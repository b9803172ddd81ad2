#pragma once
// Rewriting and delivery of a judged message: subject marks, HTML
// neutralisation, the X-Kelvarin lines, dot-stuffing, the notice that replaces
// a deleted spam, and the fictive (re-emitted) branch. A pure function of
// bytes: the session passes what it holds and sends what comes back.

#include "core/config.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>

enum TNiveauSpam : uint8_t { nsBon = 0, nsSpamIP = 1, nsSpamBayes = 2, nsSpam = 3 };

// The user's decimal separator in Windows-1252 (the probability in the subject).
QByteArray SeparateurDecimalSysteme();

// "##0.0" then "%", left-padded with spaces to 5 characters: 5 gives " 5.0%".
QByteArray FormaterProbabilite(double p, QByteArrayView separateur);

struct TMessageAReecrire {
    QByteArray Flux; // the message as received: CR LF lines, ".." already reduced to "."
    TNiveauSpam Niveau = nsBon;
    bool SpamIP = false; // marks of the verdict, for the trace
    bool SpamBayes = false;
    double Probabilite = -1;   // percent; -1 when not scored
    QByteArray TexteXKelvarin; // zero or more complete lines, each ending with CR LF
    bool TestBayes = false;
    bool CommandeTOP = false;   // TOP (else RETR): never replaced by the notice
    bool EnvoiFictif = false;   // re-emitted message: copied whole, no marks, no trace
    bool SupprimerSpam = false; // effective value for the session's account
    // Status line held back until the verdict, without CR LF; empty when none.
    // Sent first (except in the notice, which sends its own).
    QByteArray ReponseRetenue;
    // Raw header values as the upstream client parsed them, and the account's
    // internal name: the notice shows them.
    QByteArray From;
    QByteArray To;
    QByteArray Subject;
    QByteArray NomCompte;
    QByteArray SeparateurDecimal = SeparateurDecimalSysteme();
};

struct TMessageReecrit {
    // Exactly what goes to the client: the status line when one is sent, the
    // message dot-stuffed, then CR LF "." CR LF.
    QByteArray Octets;
    // Trace lines in order ("< corps message ...", the status line sent);
    // empty for a fictive message.
    QStringList Traces;
};

// Reads ModifSujet, AjoutInfoBayesien, EnleveHTML, the subject marks and
// SujetSupprime from the settings; nothing global.
TMessageReecrit ReecrireMessage(const TMessageAReecrire& message, const TConfig& config);
