#pragma once
// Password masking for the trace: with CoderMDP set, the secret part of a
// client command never reaches the trace or the debug log.

#include <QByteArray>
#include <QByteArrayView>

// The command line (without its CR LF) as it is to be traced:
// "PASS secret" -> "PASS s*****", "RPOP secret" likewise, and for AUTH the text
// after the mechanism name ("AUTH PLAIN dGVzdA==" -> "AUTH PLAIN d*******").
// An empty argument leaves the command word and its space. Any other command
// is returned unchanged. The command word keeps its case.
QByteArray MasquerMotDePasse(QByteArrayView ligneCommande);
