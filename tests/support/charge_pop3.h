#pragma once
// Many POP3 mail clients at once in one thread, on raw non-blocking sockets
// and one poll loop, for the load tests and the load benchmark: each logs in,
// asks STAT, fetches its messages one by one and leaves. A client may read as
// fast as the socket gives, be held to a few bytes a second, or stop reading
// once it asked for its first message.

#include <QByteArray>
#include <QElapsedTimer>

#include <functional>
#include <vector>

namespace testsupport {

struct TClientCharge {
    enum TEtat { Connexion, Accueil, User, Pass, Stat, Retr, Quit, Fini, Echec };

    QByteArray login;
    QByteArray motDePasse = "secret";
    int premier = 1; // first message fetched
    int dernier = 0; // last one; 0: the STAT count
    // 0: as fast as the socket gives; otherwise the bytes read per second
    // once a message is asked for (the login goes at full speed).
    int octetsParSeconde = 0;
    // Sends a RETR for every message at once, then reads nothing more.
    bool neLitJamais = false;
    // Each complete message: undotted, CR LF lines, without the status line
    // and the final ".". A message cut by the end of the connection never
    // comes here.
    std::function<void(TClientCharge&, int numero, const QByteArray& message)> OnMessage;

    TEtat etat = Connexion;
    int nbMessages = -1; // from STAT
    int recus = 0;       // complete messages
    qint64 octets = 0;   // bytes read
    QByteArray erreur;   // why it ended in Echec
    bool termine() const { return etat == Fini || etat == Echec; }

    // Inner state of the loop.
    int fd = -1;
    int courant = 0;
    bool dansMessage = false;
    QByteArray entree;
    QByteArray message;
    double credit = 0;
    qint64 dernierCredit = 0;
};

// Connects every client not yet connected to 127.0.0.1:port and runs them
// until all have ended, `continuer` (asked after every round) says stop, or
// the delay runs out; clients still running keep their connection for a
// later call. True unless the delay ran out.
bool executerCharge(quint16 port, std::vector<TClientCharge>& clients, int delaiMs,
                    const std::function<bool()>& continuer = {});
// Closes the connections still open (their clients end in Echec).
void fermerCharge(std::vector<TClientCharge>& clients);

// A "Vm...:" figure of /proc/PID/status in kB; -1 when it cannot be read.
qint64 memoireProcessusKo(qint64 pid, const char* champ);

// Whether `proxy` is `direct` as delivered by the proxy with the filters on
// and the subject left alone: the X-Kelvarin lines at the end of its header,
// nothing else changed. `ecart` says where they part.
bool memeMessageJuge(const QByteArray& proxy, const QByteArray& direct,
                     QByteArray* ecart = nullptr);

class TKelvarinProcess;
class TDnsmasqPeer;

// A few patterns in every list, as a user would have them, and one DNSBL
// server on `dns`, written into the program's data folder.
bool ecrireListesFiltre(const TKelvarinProcess& kelvarin, const TDnsmasqPeer& dns, QString* erreur);

// The program's home with every filter on, as a user would have it: the lists
// above, the Bayesian filter, the archive; subjects and HTML left alone so
// that a message can be compared with a direct fetch. Upstream at 127.0.0.1
// `portMail`.
bool preparerKelvarinFiltre(TKelvarinProcess& kelvarin, const TDnsmasqPeer& dns, quint16 portMail,
                            QString* erreur);

// `n` corpus messages, each with "X-Boite: <login>" first in its header, so
// that a message delivered to the wrong session shows.
QList<QByteArray> boiteMarquee(const QList<QByteArray>& corpus, const QByteArray& login);

} // namespace testsupport
