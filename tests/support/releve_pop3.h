#pragma once
// Fetches of a whole mailbox by the real POP3 client (poplib): what one run
// brought back, for the end-to-end suites, and timed runs for the benchmarks
// that compare a direct fetch with one through the proxy.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace testsupport {

// What one run of the client script brought back.
struct TReleve {
    int code = -1; // the script's exit code; -1 when it had to be killed
    // Its answer lines ("GREETING ...", "PASS ...", "STAT ...", "LIST ...",
    // "UIDL ...", "QUIT ...", "ERROR ..."), then "STDERR ..." when it wrote any.
    QByteArrayList lignes;
    QList<QByteArray> messages; // each RETR in order, CR LF lines

    // The lines of one kind, without their prefix and its space.
    QByteArrayList avec(const QByteArray& prefixe) const;
    QByteArray texte() const { return lignes.join('\n'); }
};

// Starts the client script on 127.0.0.1; it writes the messages to `sortie`.
// `options` go to the script ("--no-list", "--dele").
std::unique_ptr<QProcess> lancerReleve(quint16 port, const QString& login, const QString& sortie,
                                       const QString& motDePasse = QStringLiteral("secret"),
                                       const QStringList& options = {});
// Waits for the script started by lancerReleve (killed after the delay).
TReleve terminerReleve(QProcess& p, const QString& sortie, int delaiMs = 180000);
// Both in one, with a temporary folder.
TReleve releve(quint16 port, const QString& login,
               const QString& motDePasse = QStringLiteral("secret"),
               const QStringList& options = {});

// A message as the proxy delivers it at level 0 for an account with both
// filters off: the verdict's two lines end its header.
QByteArray jugeSansFiltres(const QByteArray& direct);
// The same with the given X-Kelvarin lines (complete lines, CR LF each).
QByteArray jugeAvecLignes(const QByteArray& direct, const QByteArray& lignes);

class TDovecotPeer;

// Puts `n` corpus messages in alice's mailbox (password "secret") and starts
// the server; returns the mailbox's size in bytes, or -1 after saying why.
qint64 preparerBoiteCorpus(TDovecotPeer& dovecot, int n);

// One fetch of every message; milliseconds, or -1 when it failed or did not
// bring `attendus` messages. `options` go to the client script.
double releverBoite(quint16 port, const QString& login, int attendus,
                    const QStringList& options = {});
// The same fetch by a client of this process on a plain blocking socket,
// which reads each answer as fast as the socket gives it and keeps nothing:
// what remains is the server's own delay. Plain text only.
double releverBrut(quint16 port, const QString& login, int attendus);

struct TComparaisonReleves {
    quint16 portDirect = 0;
    quint16 portProxy = 0;
    QString loginDirect;
    QString loginProxy;
    int messages = 0;
    qint64 octets = 0;
    int tours = 5;
    QStringList options;
    QStringList optionsDirect;     // for the direct runs only ("--ssl=CAFILE", ...)
    const char* libelle = "proxy"; // how the runs through the proxy are named
    double objectif = 1.10;        // the ratio aimed at, printed beside the result
    // Runs the raw client too (plain text only), with its own goal (none: 0).
    bool brut = false;
    double objectifBrut = 0;
};

// One warm-up fetch each (timed and printed), then `tours` alternating runs;
// prints each run, the medians and the ratio; then the same with the raw
// client when asked. False when a fetch failed.
bool comparerReleves(const TComparaisonReleves& c);

} // namespace testsupport
