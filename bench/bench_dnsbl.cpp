// Lookups for 10,000 distinct addresses against a loopback dnsmasq: prints the
// lookups per second and the pool's peak socket count, with sockets freed after
// each lookup and with sockets kept for reuse.
#include "spamsearch/cherche_spams.h"
#include "tests/support/dnsmasq_peer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kNbAdresses = 10000;

struct TResultat {
    int finis = 0;
    int listes = 0;
    int abandons = 0;
    qint64 ms = 0;
    int pic = 0;
};

TResultat mesurer(const testsupport::TDnsmasqPeer& dns, bool freeSocket) {
    QTemporaryDir rep;
    QDir().mkpath(rep.path() + QStringLiteral("/Donnees"));
    QFile f(rep.path() + QStringLiteral("/Donnees/dns.qdl"));
    if (f.open(QIODevice::WriteOnly))
        f.write("VERSION=1\r\n1\tbench\tbl.test\t0\t0\t0\t0\t1\t127.0.0.2\t\t0\t0\r\n");
    f.close();

    TChercheSPAMs c;
    c.OnInitRepertoire = [&](TChercheSPAMs&, QString& t, QString&) { t = rep.path(); };
    c.setActive(true);
    c.setDNSPrincipal(dns.adresse().toString().toLatin1());
    c.setPortDNS(dns.port());
    c.setFreeSocket(freeSocket);
    c.setTimeOutRecherche(2000);
    c.setNbTentativeRecherche(1);

    TResultat r;
    QEventLoop boucle;
    c.OnReponseDNS = [&](TChercheSPAMs&, TUneRechercheDNS& x, bool) {
        ++r.finis;
        if (x.Etat == erSpam) ++r.listes;
        if (x.Etat == erAbandon) ++r.abandons;
        if (r.finis == kNbAdresses) boucle.quit();
    };
    QElapsedTimer chrono;
    chrono.start();
    for (int i = 0; i < kNbAdresses; ++i) {
        // 10.x.y.z in text order of the reversed name; every 100th is listed.
        const TAdresseIP ip = HoteVersIP(0x0A000000u | quint32(i));
        c.ResultatIP(ip, true);
    }
    c.LancerRecherches();
    QTimer garde; // bounded: the benchmark always ends
    garde.setSingleShot(true);
    QObject::connect(&garde, &QTimer::timeout, &boucle, &QEventLoop::quit);
    garde.start(120000);
    boucle.exec();
    r.ms = chrono.elapsed();
    r.pic = c.PicSocketDNS();
    c.setActive(false);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testsupport::TDnsmasqPeer dns;
    for (int i = 0; i < kNbAdresses; i += 100) {
        const quint32 h = 0x0A000000u | quint32(i);
        dns.ajouter(QByteArray::number(h & 0xFF) + '.' + QByteArray::number((h >> 8) & 0xFF) + '.' +
                        QByteArray::number((h >> 16) & 0xFF) + ".10.bl.test",
                    "127.0.0.2");
    }
    QString erreur;
    if (!dns.demarrer(&erreur)) {
        std::fprintf(stderr, "dnsmasq: %s\n", qPrintable(erreur));
        return 1;
    }
    double debits[2] = {0, 0};
    for (int mode = 0; mode < 2; ++mode) {
        const bool freeSocket = mode == 0;
        const TResultat r = mesurer(dns, freeSocket);
        debits[mode] = r.ms > 0 ? 1000.0 * r.finis / double(r.ms) : 0;
        std::printf("FreeSocket=%s: %d lookups in %lld ms = %.0f lookups/s; peak sockets %d; "
                    "listed %d; abandoned %d\n",
                    freeSocket ? "true " : "false", r.finis, static_cast<long long>(r.ms),
                    debits[mode], r.pic, r.listes, r.abandons);
        if (r.finis != kNbAdresses) {
            std::fprintf(stderr, "only %d of %d lookups ended\n", r.finis, kNbAdresses);
            return 1;
        }
    }
    if (debits[0] > 0) std::printf("ratio reuse/free: %.2f\n", debits[1] / debits[0]);
    return 0;
}
