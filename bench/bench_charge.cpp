// Load: 100 mail clients at once, each fetching its own mailbox of N corpus
// messages, directly from a private dovecot and through `kelvarin` with every
// filter on (lists, a DNSBL server on a private dnsmasq, the Bayesian filter,
// the archive). Each mailbox is the same corpus with a header line naming its
// owner, so a message delivered to the wrong session shows; each message
// through the proxy must equal the direct one apart from the X-Kelvarin lines.
// Prints the times, their ratio, and the program's peak memory per session.
// Then two clients sit on a large message, one reading a byte a second and
// one reading nothing, while an ordinary client fetches: prints what they
// cost in memory.
//
// Usage: bench_charge [N=300] [clients=100] [large message MB=8]
//        (KELVARIN_EXE chooses the program)
#include "tests/support/charge_pop3.h"
#include "tests/support/dnsmasq_peer.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/kelvarin_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace testsupport;

namespace {

QByteArray loginDe(int i) {
    return "u" + QByteArray::number(i).rightJustified(3, '0');
}

struct TBilan {
    double ms = 0;
    int fini = 0, messages = 0, ecarts = 0;
    qint64 octets = 0;
    QByteArray premiereErreur, premierEcart;
};

// One run of every client against `port`; `suffixe` follows the login
// ("@127.0.0.1" through the proxy). Each message is checked against the
// reference mailbox with the owner's line put in.
TBilan executer(quint16 port, int nbClients, const QByteArray& suffixe,
                const QList<QByteArray>& reference, bool juge) {
    const QByteArray prefixeReference = "X-Boite: " + loginDe(0) + "\r\n";
    TBilan b;
    std::vector<TClientCharge> clients(static_cast<size_t>(nbClients));
    for (int i = 0; i < nbClients; ++i) {
        clients[size_t(i)].login = loginDe(i) + suffixe;
        clients[size_t(i)].OnMessage = [&, i](TClientCharge&, int numero, const QByteArray& m) {
            const QByteArray& ref = reference.value(numero - 1);
            const QByteArray attendu =
                "X-Boite: " + loginDe(i) + "\r\n" + ref.mid(prefixeReference.size());
            QByteArray ecart;
            const bool ok = juge ? memeMessageJuge(m, attendu, &ecart) : m == attendu;
            if (!ok && b.ecarts++ == 0)
                b.premierEcart = loginDe(i) + " message " + QByteArray::number(numero) + ": " +
                                 (juge ? ecart : QByteArray("differs from the reference"));
        };
    }
    QElapsedTimer t;
    t.start();
    executerCharge(port, clients, 3600 * 1000);
    b.ms = double(t.nsecsElapsed()) / 1e6;
    for (const TClientCharge& c : clients) {
        b.messages += c.recus;
        b.octets += c.octets;
        if (c.etat == TClientCharge::Fini && c.recus == reference.size())
            ++b.fini;
        else if (b.premiereErreur.isEmpty())
            b.premiereErreur = c.login + ": " + QByteArray::number(c.recus) + " messages, " +
                               (c.erreur.isEmpty() ? QByteArray("incomplete") : c.erreur);
    }
    return b;
}

bool afficher(const char* libelle, const TBilan& b, int nbClients, int n) {
    std::printf("%-16s %9.1f ms  %3d/%d clients complete, %d/%d messages, %.1f MB, "
                "%d differing\n",
                libelle, b.ms, b.fini, nbClients, b.messages, nbClients * n, double(b.octets) / 1e6,
                b.ecarts);
    if (!b.premiereErreur.isEmpty()) std::printf("  first failure: %s\n", b.premiereErreur.data());
    if (!b.premierEcart.isEmpty()) std::printf("  first difference: %s\n", b.premierEcart.data());
    std::fflush(stdout);
    return b.fini == nbClients && b.ecarts == 0;
}

} // namespace

int main(int argc, char** argv) {
    IsolerReseau(argc, argv);
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
    const int nbClients = argc > 2 ? std::clamp(atoi(argv[2]), 1, 999) : 100;
    const qsizetype tailleGros = qsizetype(argc > 3 ? std::clamp(atoi(argv[3]), 1, 256) : 8) << 20;

    QString erreur;
    TDnsmasqPeer dns;
    if (!dns.demarrer(&erreur) || dns.port() != 53) {
        std::fprintf(stderr, "dnsmasq on port 53: %s\n", qPrintable(erreur));
        return 1;
    }
    const QList<QByteArray> corpus = messagesCorpus(n);
    if (corpus.size() != n) {
        std::fprintf(stderr, "corpus: %lld messages of %d (scripts/fetch-corpus.sh)\n",
                     static_cast<long long>(corpus.size()), n);
        return 1;
    }
    qint64 octets = 0;
    for (const QByteArray& m : corpus)
        octets += m.size();
    TDovecotPeer dovecot;
    for (int i = 0; i < nbClients; ++i) {
        const QByteArray login = loginDe(i);
        dovecot.ajouterUtilisateur(QString::fromLatin1(login), QStringLiteral("secret"));
        dovecot.ajouterMessages(QString::fromLatin1(login), boiteMarquee(corpus, login));
    }
    {
        // The large message, then as much again behind it, for the clients that sit.
        const QByteArray ligne = QByteArray(72, 'g') + '\n';
        QByteArray gros = "From: gros@example.test\nSubject: gros\n\n";
        while (gros.size() < tailleGros)
            gros += ligne;
        dovecot.ajouterUtilisateur(QStringLiteral("gros"), QStringLiteral("secret"));
        dovecot.ajouterMessages(QStringLiteral("gros"), {gros, gros});
    }
    if (!dovecot.demarrer(&erreur)) {
        std::fprintf(stderr, "dovecot: %s\n", qPrintable(erreur));
        return 1;
    }
    TKelvarinProcess kelvarin;
    if (!preparerKelvarinFiltre(kelvarin, dns, dovecot.port(), &erreur) ||
        !kelvarin.Demarrer(&erreur)) {
        std::fprintf(stderr, "kelvarin: %s\n", qPrintable(erreur));
        return 1;
    }
    const qint64 pid = kelvarin.Pid();
    const qint64 repos = memoireProcessusKo(pid, "VmRSS");
    std::printf("bench_charge: %d clients at once, each its own mailbox of %d corpus messages "
                "(%.1f MB), every filter on\n",
                nbClients, n, double(octets) / 1e6);
    std::printf("program at rest: %lld kB resident\n", repos);

    // The reference mailbox, fetched alone; the first run also warms dovecot's indexes.
    QList<QByteArray> reference;
    {
        std::vector<TClientCharge> un(1);
        un[0].login = loginDe(0);
        un[0].OnMessage = [&](TClientCharge&, int, const QByteArray& m) { reference.append(m); };
        executerCharge(dovecot.port(), un, 600000);
        if (un[0].etat != TClientCharge::Fini || reference.size() != n) {
            std::fprintf(stderr, "reference fetch failed: %s\n", un[0].erreur.constData());
            return 1;
        }
    }
    bool ok = afficher("direct warm-up", executer(dovecot.port(), nbClients, {}, reference, false),
                       nbClients, n);
    // The first run through the proxy creates the accounts and looks every relay up.
    const TBilan froid = executer(kelvarin.PortEcoute(), nbClients, "@127.0.0.1", reference, true);
    ok = afficher("proxy, cold", froid, nbClients, n) && ok;
    const qint64 picFroid = memoireProcessusKo(pid, "VmHWM");
    const TBilan direct = executer(dovecot.port(), nbClients, {}, reference, false);
    ok = afficher("direct", direct, nbClients, n) && ok;
    const TBilan proxy = executer(kelvarin.PortEcoute(), nbClients, "@127.0.0.1", reference, true);
    ok = afficher("proxy", proxy, nbClients, n) && ok;
    const qint64 pic = memoireProcessusKo(pid, "VmHWM");

    std::printf("ratio proxy/direct: %.2f (cold run: %.2f)\n", proxy.ms / direct.ms,
                froid.ms / direct.ms);
    std::printf("proxy: %.0f messages/s, %.1f MB/s\n", double(proxy.messages) * 1000 / proxy.ms,
                double(proxy.octets) / 1e3 / proxy.ms);
    std::printf("peak memory: %lld kB (cold run %lld kB), %lld kB above rest: %.0f kB per "
                "session\n",
                pic, picFroid, pic - repos, double(pic - repos) / nbClients);
    std::printf("nothing lost, nothing mixed: %s\n", ok ? "yes" : "NO");
    std::fflush(stdout);

    // Two clients sit on the large message while an ordinary one fetches.
    const qint64 avant = memoireProcessusKo(pid, "VmRSS");
    std::vector<TClientCharge> assis(2);
    assis[0].login = assis[1].login = "gros@127.0.0.1";
    assis[0].octetsParSeconde = 1;
    assis[1].neLitJamais = true;
    QElapsedTimer attente;
    attente.start();
    // Until the program holds both copies, or a minute.
    executerCharge(kelvarin.PortEcoute(), assis, 60000, [&] {
        return assis[0].etat < TClientCharge::Retr || assis[1].etat < TClientCharge::Retr ||
               memoireProcessusKo(pid, "VmRSS") - avant < 2 * tailleGros / 1024;
    });
    assis.emplace_back().login = loginDe(0) + "@127.0.0.1";
    const qint64 debut = attente.elapsed();
    executerCharge(kelvarin.PortEcoute(), assis, 600000, [&] { return !assis[2].termine(); });
    const qint64 sur = memoireProcessusKo(pid, "VmRSS");
    std::printf("two clients sitting on a %lld kB message (a byte a second / never reading): "
                "%lld kB more resident, %.1f times the message each; meanwhile another client "
                "fetched %d of %d messages in %lld ms; the slow one has read %lld bytes\n",
                static_cast<long long>(tailleGros / 1024), sur - avant,
                double(sur - avant) * 1024 / 2 / double(tailleGros), assis[2].recus, n,
                attente.elapsed() - debut, assis[0].octets);
    ok = ok && assis[2].etat == TClientCharge::Fini && !assis[0].termine() && !assis[1].termine();
    fermerCharge(assis);
    std::fflush(stdout);
    kelvarin.Arreter();
    return ok ? 0 : 1;
}
