// Filtering overhead: N corpus messages fetched by a real POP3 client (poplib)
// directly from a private dovecot and through `kelvarin` with everything on:
// the lists (plain and expressions, none matching most mail), a DNSBL server
// on a private dnsmasq whose answers the warm-up puts in the cache, the
// Bayesian score, learning and the archive. Alternating runs; prints each run,
// the medians and the ratio (goal: 1.15).
//
// Usage: bench_filtrage [N=500] [runs=5]   (KELVARIN_EXE chooses the program)
#include "tests/support/dnsmasq_peer.h"
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
             sortie.path(), QStringLiteral("--no-list")});
    if (!p.waitForFinished(900000) || p.exitCode() != 0) {
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

bool ecrire(const QString& chemin, const QByteArray& contenu) {
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly) && f.write(contenu) == contenu.size();
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
    QString erreur;
    TDnsmasqPeer dns;
    if (!dns.demarrer(&erreur) || dns.port() != 53) {
        std::fprintf(stderr, "dnsmasq on port 53: %s\n", qPrintable(erreur));
        return 1;
    }
    qint64 octets = 0;
    TDovecotPeer dovecot;
    dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
    for (const QByteArray& m : messages) {
        dovecot.ajouterMessage(QStringLiteral("alice"), m);
        octets += m.size();
    }
    if (!dovecot.demarrer(&erreur)) {
        std::fprintf(stderr, "dovecot: %s\n", qPrintable(erreur));
        return 1;
    }

    TKelvarinProcess kelvarin;
    const QString donnees = kelvarin.Home() + QStringLiteral("Donnees/");
    QDir().mkpath(donnees);
    const QByteArray entete = "; Une ligne commen\xe7"
                              "ant par ; est en commentaire\r\n"
                              "; Premi\xe8re ligne : indique la version (NE PAS MODIFIER)\r\n"
                              "VERSION=1\r\n";
    bool ok = ecrire(donnees + QStringLiteral("dns.qdl"),
                     entete + "1\tTestBL\t" + dns.zone() + "\t0\t0\t0\t0\t0\t\t0\t0\r\n");
    // A few patterns in every list, as a user would have them.
    const QList<QPair<const char*, QByteArray>> listes = {
        {"listenoire-mail.qdl", "*@spam.example\r\n*@bulk.example\r\n"},
        {"listenoire-mail-re.qdl", "^promo[0-9]+@\r\n"},
        {"listeblanche-mail.qdl", "ami@friends.example\r\n*@work.example\r\n"},
        {"listenoire-sujet.qdl", "*viagra*\r\n*casino*\r\n"},
        {"listenoire-sujet-re.qdl", "(?i)free\\s+money\r\n"},
        {"listeblanche-sujet.qdl", "[projet]*\r\n"},
        {"listenoire-entete.qdl", "X-Mailer: BulkMailer*\r\n"},
        {"listeblanche-entete.qdl", "X-Liste: interne*\r\n"},
        {"listenoire-ip.qdl", "198.51.100.66\r\n"},
        {"listeblanche-ip.qdl", "192.0.2.1\r\n"}};
    for (const auto& [fichier, contenu] : listes)
        ok = ok && ecrire(donnees + QString::fromLatin1(fichier), contenu);
    if (!ok) {
        std::fprintf(stderr, "cannot write the data files\n");
        return 1;
    }
    kelvarin.EcrireIni({{"PortMail", QByteArray::number(dovecot.port())},
                        {"DNSAuto", "0"},
                        {"AdresseDNS", dns.adresse().toString().toLatin1()}});
    if (!kelvarin.Demarrer(&erreur)) {
        std::fprintf(stderr, "kelvarin: %s\n", qPrintable(erreur));
        return 1;
    }
    const QString direct = QStringLiteral("alice");
    const QString proxy = QStringLiteral("alice@127.0.0.1");

    std::printf("bench_filtrage: %d corpus messages, %.1f MB, %d runs each, alternating\n", n,
                double(octets) / 1e6, tours);
    // The warm-up looks every relay up (the later runs use the cache), creates
    // the account, its archive and the knowledge base.
    QElapsedTimer chauffe;
    chauffe.start();
    if (fetch(dovecot.port(), direct, n) < 0 || fetch(kelvarin.PortEcoute(), proxy, n) < 0)
        return 1;
    std::printf("warm-up (with DNSBL lookups): %.1f s\n", double(chauffe.elapsed()) / 1e3);
    std::vector<double> d, p;
    for (int i = 0; i < tours; ++i) {
        const double td = fetch(dovecot.port(), direct, n);
        const double tp = fetch(kelvarin.PortEcoute(), proxy, n);
        if (td < 0 || tp < 0) return 1;
        d.push_back(td);
        p.push_back(tp);
        std::printf("  run %d: direct %8.1f ms   filtered %8.1f ms\n", i + 1, td, tp);
    }
    const double md = mediane(d), mp = mediane(p);
    std::printf("median direct:   %.1f ms (%.0f messages/s, %.1f MB/s)\n", md, n * 1000.0 / md,
                double(octets) / 1e3 / md);
    std::printf("median filtered: %.1f ms (%.0f messages/s, %.1f MB/s)\n", mp, n * 1000.0 / mp,
                double(octets) / 1e3 / mp);
    std::printf("ratio filtered/direct: %.3f (goal <= 1.15)\n", mp / md);
    std::fflush(stdout);
    kelvarin.Arreter();
    // Each line after the three of the header is one cached DNSBL result.
    QFile cache(donnees + QStringLiteral("recherche.qdl"));
    const int resultats =
        cache.open(QIODevice::ReadOnly) ? int(cache.readAll().count('\n')) - 3 : 0;
    std::printf("cached DNSBL results: %d\n", std::max(0, resultats));
    std::printf(
        "archived: %s, knowledge base: %lld bytes\n",
        QDir(kelvarin.Home() + QStringLiteral("Dossiers/1")).entryList(QDir::Files).isEmpty()
            ? "no"
            : "yes",
        static_cast<long long>(QFile(donnees + QStringLiteral("bayes.qdl")).size()));
    return 0;
}
