// Filtering overhead: N corpus messages fetched by a real POP3 client (poplib)
// directly from a private dovecot and through `kelvarin` with everything on:
// the lists (plain and expressions, none matching most mail), a DNSBL server
// on a private dnsmasq whose answers the warm-up puts in the cache, the
// Bayesian score, learning and the archive. Alternating runs, with poplib and
// then with a raw client that reads as fast as the socket gives; prints each
// run, the medians and both ratios (goals: 1.15 and 2.0).
//
// Usage: bench_filtrage [N=500] [runs=5]   (KELVARIN_EXE chooses the program)
#include "tests/support/charge_pop3.h"
#include "tests/support/dnsmasq_peer.h"
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

    QString erreur;
    TDnsmasqPeer dns;
    if (!dns.demarrer(&erreur) || dns.port() != 53) {
        std::fprintf(stderr, "dnsmasq on port 53: %s\n", qPrintable(erreur));
        return 1;
    }
    TDovecotPeer dovecot;
    const qint64 octets = preparerBoiteCorpus(dovecot, n);
    if (octets < 0) return 1;

    TKelvarinProcess kelvarin;
    const QString donnees = kelvarin.Home() + QStringLiteral("Donnees/");
    if (!ecrireListesFiltre(kelvarin, dns, &erreur)) {
        std::fprintf(stderr, "%s\n", qPrintable(erreur));
        return 1;
    }
    kelvarin.EcrireIni({{"PortMail", QByteArray::number(dovecot.port())},
                        {"DNSAuto", "0"},
                        {"AdresseDNS", dns.adresse().toString().toLatin1()}});
    if (!kelvarin.Demarrer(&erreur)) {
        std::fprintf(stderr, "kelvarin: %s\n", qPrintable(erreur));
        return 1;
    }
    std::printf("bench_filtrage: %d corpus messages, %.1f MB, %d runs each, alternating\n", n,
                double(octets) / 1e6, tours);
    // The warm-up looks every relay up (the later runs use the cache), creates
    // the account, its archive and the knowledge base.
    TComparaisonReleves c;
    c.portDirect = dovecot.port();
    c.portProxy = kelvarin.PortEcoute();
    c.loginDirect = QStringLiteral("alice");
    c.loginProxy = QStringLiteral("alice@127.0.0.1");
    c.messages = n;
    c.octets = octets;
    c.tours = tours;
    c.libelle = "filtered";
    c.objectif = 1.15;
    c.brut = true;
    c.objectifBrut = 2.0;
    c.options = {QStringLiteral("--no-list")};
    if (!comparerReleves(c)) return 1;
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
