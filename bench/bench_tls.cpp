// Relay overhead over TLS: the same N corpus messages fetched by a real POP3
// client (poplib) directly from a private dovecot over TLS (POP3S), and
// through `kelvarin`, which reaches the same dovecot over STLS; alternating
// runs. Prints each run, the medians and the ratio.
//
// Usage: bench_tls [N=500] [runs=5]   (KELVARIN_EXE chooses the program)
#include "tests/support/autorite_test.h"
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

    TAutoriteTest ca;
    const TAutoriteTest::TCertificat cert =
        ca.signe(QStringLiteral("localhost"), {QStringLiteral("DNS:localhost")});
    if (!ca.valide() || !cert.ok) {
        std::fprintf(stderr, "certificates: %s\n", qPrintable(ca.erreur()));
        return 1;
    }
    TDovecotPeer dovecot;
    dovecot.activerTls(cert.certificat, cert.cle);
    const qint64 octets = preparerBoiteCorpus(dovecot, n);
    if (octets < 0) return 1;
    QString erreur;
    TKelvarinProcess kelvarin;
    QDir().mkpath(kelvarin.Home() + QStringLiteral("Donnees"));
    // The relay alone: the account exists with its IP and Bayesian filters off.
    QFile comptes(kelvarin.CheminDonnees(QStringLiteral("comptesspam.qdl")));
    if (!comptes.open(QIODevice::WriteOnly)) return 1;
    comptes.write("VERSION=1\r\n1\tlocalhost\talice\t0\t0\t0\t\t3\t\t\r\n");
    comptes.close();
    kelvarin.EcrireIni({{"PortMail", QByteArray::number(dovecot.port())},
                        {"SecuriteAmont", "1"},
                        {"CertificatsAmont", QFile::encodeName(ca.ca())},
                        {"NumeroCompteMini", "1"},
                        {"SpamSiPasSujetFrom", "0"}});
    if (!kelvarin.Demarrer(&erreur)) {
        std::fprintf(stderr, "kelvarin: %s\n", qPrintable(erreur));
        return 1;
    }
    std::printf("bench_tls: %d corpus messages, %.1f MB, %d runs each, alternating\n", n,
                double(octets) / 1e6, tours);
    TComparaisonReleves c;
    c.portDirect = dovecot.portPop3s();
    c.portProxy = kelvarin.PortEcoute();
    c.loginDirect = QStringLiteral("alice");
    c.loginProxy = QStringLiteral("alice@localhost");
    c.optionsDirect = {QStringLiteral("--host=localhost"), QStringLiteral("--ssl=") + ca.ca()};
    c.messages = n;
    c.octets = octets;
    c.tours = tours;
    c.libelle = "proxy over TLS";
    c.objectif = 1.10;
    if (!comparerReleves(c)) return 1;
    kelvarin.Arreter();
    return 0;
}
