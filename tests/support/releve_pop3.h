#pragma once
// Timed fetches of a whole mailbox by the real POP3 client (poplib), for the
// benchmarks that compare a direct fetch with one through the proxy.

#include <QString>
#include <QStringList>

namespace testsupport {

class TDovecotPeer;

// Puts `n` corpus messages in alice's mailbox (password "secret") and starts
// the server; returns the mailbox's size in bytes, or -1 after saying why.
qint64 preparerBoiteCorpus(TDovecotPeer& dovecot, int n);

// One fetch of every message; milliseconds, or -1 when it failed or did not
// bring `attendus` messages. `options` go to the client script.
double releverBoite(quint16 port, const QString& login, int attendus,
                    const QStringList& options = {});

struct TComparaisonReleves {
    quint16 portDirect = 0;
    quint16 portProxy = 0;
    QString loginDirect;
    QString loginProxy;
    int messages = 0;
    qint64 octets = 0;
    int tours = 5;
    QStringList options;
    const char* libelle = "proxy"; // how the runs through the proxy are named
    double objectif = 1.10;        // the ratio aimed at, printed beside the result
};

// One warm-up fetch each (timed and printed), then `tours` alternating runs;
// prints each run, the medians and the ratio. False when a fetch failed.
bool comparerReleves(const TComparaisonReleves& c);

} // namespace testsupport
