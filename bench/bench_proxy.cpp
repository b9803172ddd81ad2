// Relay overhead: the same N corpus messages fetched by a real POP3 client
// (poplib) directly from a private dovecot and through `kelvarin`, in
// alternating runs, then by a raw client that reads as fast as the socket
// gives (poplib's own cost hides the proxy's). Prints each run, the medians
// and both ratios (goal with poplib: 1.10).
//
// Usage: bench_proxy [N=500] [runs=5]   (KELVARIN_EXE chooses the program)
#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/releve_pop3.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>

using namespace testsupport;

int main(int argc, char** argv) {
    IsolerReseau(argc, argv);
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const int tours = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    TDovecotPeer dovecot;
    const qint64 octets = preparerBoiteCorpus(dovecot, n);
    if (octets < 0) return 1;
    QString erreur;
    TKelvarinProcess kelvarin;
    QDir().mkpath(kelvarin.Home() + QStringLiteral("Donnees"));
    // The relay alone: the account exists with its IP and Bayesian filters off
    // (flags 1 + 2), so nothing is scored or looked up; bench_filtrage measures
    // the same fetch with every filter on.
    QFile comptes(kelvarin.CheminDonnees(QStringLiteral("comptesspam.qdl")));
    if (!comptes.open(QIODevice::WriteOnly)) return 1;
    comptes.write("VERSION=1\r\n1\t127.0.0.1\talice\t0\t0\t0\t\t3\t\t\r\n");
    comptes.close();
    kelvarin.EcrireIni({{"PortMail", QByteArray::number(dovecot.port())},
                        {"NumeroCompteMini", "1"},
                        {"SpamSiPasSujetFrom", "0"}});
    if (!kelvarin.Demarrer(&erreur)) {
        std::fprintf(stderr, "kelvarin: %s\n", qPrintable(erreur));
        return 1;
    }
    std::printf("bench_proxy: %d corpus messages, %.1f MB, %d runs each, alternating\n", n,
                double(octets) / 1e6, tours);
    // The warm-up fills the page cache and dovecot's index, and creates the
    // account and its archive.
    TComparaisonReleves c;
    c.portDirect = dovecot.port();
    c.portProxy = kelvarin.PortEcoute();
    c.loginDirect = QStringLiteral("alice");
    c.loginProxy = QStringLiteral("alice@127.0.0.1");
    c.messages = n;
    c.octets = octets;
    c.tours = tours;
    c.libelle = "proxy";
    c.objectif = 1.10;
    c.brut = true;
    if (!comparerReleves(c)) return 1;
    kelvarin.Arreter();
    return 0;
}
