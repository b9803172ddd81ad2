// Relay overhead: the same N corpus messages fetched by a real POP3 client
// (poplib) directly from a private dovecot and through `kelvarin`, in
// alternating runs. Prints each run, the medians and the ratio (goal: 1.10).
//
// Usage: bench_proxy [N=500] [runs=5]   (KELVARIN_EXE chooses the program)
#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace testsupport;

namespace {

// One fetch of the whole mailbox; returns milliseconds, or -1 on failure.
double fetch(quint16 port, const QString& login, int attendus) {
    QTemporaryDir sortie;
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("python3"),
            {QStringLiteral(KELVARIN_SOURCE_DIR "/tests/e2e/pop3_fetch.py"),
             QStringLiteral("127.0.0.1"), QString::number(port), login, QStringLiteral("secret"),
             sortie.path()});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "fetch failed: %s\n",
                     p.readAllStandardOutput().right(500).constData());
        return -1;
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const int recus = int(QDir(sortie.path()).entryList(QDir::Files).size());
    if (recus != attendus) {
        std::fprintf(stderr, "fetch got %d messages of %d\n", recus, attendus);
        return -1;
    }
    return ms;
}

double mediane(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    IsolerReseau(argc, argv);
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    const int tours = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    const QList<QByteArray> messages = messagesCorpus(n);
    if (messages.size() != n) {
        std::fprintf(stderr, "corpus: %lld messages of %d (scripts/fetch-corpus.sh)\n",
                     static_cast<long long>(messages.size()), n);
        return 1;
    }
    qint64 octets = 0;
    TDovecotPeer dovecot;
    dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
    for (const QByteArray& m : messages) {
        dovecot.ajouterMessage(QStringLiteral("alice"), m);
        octets += m.size();
    }
    QString erreur;
    if (!dovecot.demarrer(&erreur)) {
        std::fprintf(stderr, "dovecot: %s\n", qPrintable(erreur));
        return 1;
    }
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
    const QString direct = QStringLiteral("alice");
    const QString proxy = QStringLiteral("alice@127.0.0.1");

    std::printf("bench_proxy: %d corpus messages, %.1f MB, %d runs each, alternating\n", n,
                double(octets) / 1e6, tours);
    // One warm-up each: page cache, dovecot's index, the first account and
    // archive creation.
    if (fetch(dovecot.port(), direct, n) < 0 || fetch(kelvarin.PortEcoute(), proxy, n) < 0)
        return 1;
    std::vector<double> d, p;
    for (int i = 0; i < tours; ++i) {
        const double td = fetch(dovecot.port(), direct, n);
        const double tp = fetch(kelvarin.PortEcoute(), proxy, n);
        if (td < 0 || tp < 0) return 1;
        d.push_back(td);
        p.push_back(tp);
        std::printf("  run %d: direct %8.1f ms   proxy %8.1f ms\n", i + 1, td, tp);
    }
    const double md = mediane(d), mp = mediane(p);
    std::printf("median direct: %.1f ms (%.0f messages/s, %.1f MB/s)\n", md, n * 1000.0 / md,
                double(octets) / 1e3 / md);
    std::printf("median proxy:  %.1f ms (%.0f messages/s, %.1f MB/s)\n", mp, n * 1000.0 / mp,
                double(octets) / 1e3 / mp);
    std::printf("ratio proxy/direct: %.3f (goal <= 1.10)\n", mp / md);
    std::fflush(stdout);
    kelvarin.Arreter();
    return 0;
}
