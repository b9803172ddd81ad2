#pragma once
// Pure parsers of the POP3 proxy: the client's command line, the login argument,
// the server's STAT and LIST answers, the header fields of a retrieved message,
// and the port given as a number or a service name. No sockets here.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace pop3 {

// Longest part of a client line that is ever read as a command.
constexpr qsizetype kLongueurCommandeMax = 127;

struct TCommandeClient {
    QByteArray ligne;    // the line as executed (cut at NUL, CR or LF, at most 127 bytes)
    QByteArray mot;      // command word, upper case
    QByteArray argument; // everything after the first space
    QByteArray ignore;   // bytes that were not executed (after a NUL or CR, or past 127)
};

// One client line without its LF.
TCommandeClient analyserCommande(QByteArrayView ligne);

// Decimal argument: text that is not a number, and negative numbers, give 0.
// Saturates at the int range.
int lireNombre(QByteArrayView texte);

// The decimal number at the start of `texte` after blanks, saturated; `pos`
// moves past it. Returns -1 when there are no digits.
qint64 lireNombre64(QByteArrayView texte, qsizetype& pos);

// "+OK 3 1200" -> 3, 1200. Missing numbers give 0. Sizes are 64-bit and saturate.
void analyserReponseStat(QByteArrayView ligne, qint64& nombre, qint64& taille);
// "+OK 2 340" (LIST n) or "2 340" (a line of the full list) -> 2, 340.
bool analyserLigneListe(QByteArrayView ligne, qint64& numero, qint64& taille);

// The login argument of USER in the format chosen by FormatParametre
// (0 user@server, 1 server/port/user, 2 both: slash when a "/" is present).
struct TLogin {
    bool ok = false;
    QByteArray serveur;
    QByteArray port; // empty when not given
    QByteArray utilisateur;
};
TLogin analyserLogin(QByteArrayView argument, int formatParametre);

// A port given as a number or a service name ("pop3" = 110); 0 when unknown.
quint16 resoudrePort(QByteArrayView port);

// Header fields of a message being retrieved, updated line by line while in
// the header part.
struct TChampsEntete {
    QByteArray From, To, Subject, Date, MessageId, ReplyTo, InReplyTo, ReturnPath, Cc;
    QByteArray MotCle; // keyword of the current header line, trimmed and lower case
    void effacer() { *this = TChampsEntete(); }
    void ajouterLigne(QByteArrayView ligne);
    QByteArray* champ(QByteArrayView motCle);
};

} // namespace pop3
