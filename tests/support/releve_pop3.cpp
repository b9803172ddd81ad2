#include "tests/support/releve_pop3.h"

#include "tests/support/dovecot_peer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

QByteArray jugeSansFiltres(const QByteArray& direct) {
    static const QByteArray kLignes = "X-Kelvarin: test IP d\xe9sactiv\xe9\r\n"
                                      "X-Kelvarin : test bayesien d\xe9sactiv\xe9\r\n";
    return jugeAvecLignes(direct, kLignes);
}

QByteArray jugeAvecLignes(const QByteArray& direct, const QByteArray& lignes) {
    QByteArray r = direct;
    if (r.startsWith("\r\n")) return r.insert(0, lignes);
    const qsizetype vide = r.indexOf("\r\n\r\n");
    if (vide >= 0) return r.insert(vide + 2, lignes);
    if (!r.isEmpty() && !r.endsWith('\n')) r += "\r\n";
    return r + lignes;
}

namespace {

const QString kScript = QStringLiteral(KELVARIN_SOURCE_DIR "/tests/e2e/pop3_fetch.py");

double mediane(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A blocking POP3 conversation on one socket, for the raw client.
class TConversationBrute {
public:
    explicit TConversationBrute(quint16 port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (m_fd < 0) return;
        const int un = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &un, sizeof un);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        m_tampon.resize(1 << 20);
    }
    ~TConversationBrute() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool ouverte() const { return m_fd >= 0; }

    bool envoyer(const QByteArray& commande) {
        const QByteArray ligne = commande + "\r\n";
        qsizetype fait = 0;
        while (fait < ligne.size()) {
            const ssize_t n =
                ::send(m_fd, ligne.constData() + fait, size_t(ligne.size() - fait), MSG_NOSIGNAL);
            if (n <= 0) return false;
            fait += n;
        }
        return true;
    }
    // One answer: its status line, and with `multi` the lines up to "."
    // (only counted). False on "-ERR" or a closed connection.
    bool reponse(bool multi, QByteArray* statut = nullptr) {
        qsizetype fin = -1;
        while ((fin = m_recu.indexOf("\r\n")) < 0)
            if (!lire()) return false;
        if (statut) *statut = m_recu.first(fin);
        const bool ok = m_recu.startsWith("+OK");
        if (!ok || !multi) {
            m_recu.remove(0, fin + 2);
            return ok;
        }
        // The end is the first CR LF "." CR LF from the status line's CR LF.
        qsizetype depuis = fin;
        for (;;) {
            const qsizetype point = m_recu.indexOf("\r\n.\r\n", depuis);
            if (point >= 0) {
                m_recu.remove(0, point + 5);
                return true;
            }
            depuis = std::max(fin, m_recu.size() - 4);
            if (!lire()) return false;
        }
    }

private:
    bool lire() {
        const ssize_t n = ::recv(m_fd, m_tampon.data(), size_t(m_tampon.size()), 0);
        if (n <= 0) return false;
        m_recu.append(m_tampon.constData(), n);
        return true;
    }

    int m_fd = -1;
    QByteArray m_tampon;
    QByteArray m_recu;
};

} // namespace

double releverBrut(quint16 port, const QString& login, int attendus) {
    QElapsedTimer t;
    t.start();
    TConversationBrute c(port);
    QByteArray stat;
    if (!c.ouverte() || !c.reponse(false) || !c.envoyer("USER " + login.toLatin1()) ||
        !c.reponse(false) || !c.envoyer("PASS secret") || !c.reponse(false) || !c.envoyer("STAT") ||
        !c.reponse(false, &stat)) {
        std::fprintf(stderr, "raw fetch: login failed\n");
        return -1;
    }
    const int nombre = stat.split(' ').value(1).toInt();
    if (nombre != attendus) {
        std::fprintf(stderr, "raw fetch: %d messages of %d\n", nombre, attendus);
        return -1;
    }
    for (int i = 1; i <= nombre; ++i) {
        if (!c.envoyer("RETR " + QByteArray::number(i)) || !c.reponse(true)) {
            std::fprintf(stderr, "raw fetch: RETR %d failed\n", i);
            return -1;
        }
    }
    if (!c.envoyer("QUIT") || !c.reponse(false)) {
        std::fprintf(stderr, "raw fetch: QUIT failed\n");
        return -1;
    }
    return double(t.nsecsElapsed()) / 1e6;
}

QByteArrayList TReleve::avec(const QByteArray& prefixe) const {
    QByteArrayList r;
    for (const QByteArray& l : lignes)
        if (l.startsWith(prefixe + ' ')) r.append(l.mid(prefixe.size() + 1));
    return r;
}

std::unique_ptr<QProcess> lancerReleve(quint16 port, const QString& login, const QString& sortie,
                                       const QString& motDePasse, const QStringList& options) {
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral("python3"),
             QStringList{kScript, QStringLiteral("127.0.0.1"), QString::number(port), login,
                         motDePasse, sortie} +
                 options);
    return p;
}

TReleve terminerReleve(QProcess& p, const QString& sortie, int delaiMs) {
    TReleve r;
    if (!p.waitForFinished(delaiMs)) p.kill(), p.waitForFinished();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.lignes = p.readAllStandardOutput().split('\n');
    r.lignes.removeAll(QByteArray());
    const QByteArray erreurs = p.readAllStandardError();
    if (!erreurs.isEmpty()) r.lignes.append("STDERR " + erreurs);
    for (int n = 1;; ++n) {
        QFile f(sortie + QStringLiteral("/%1.eml").arg(n));
        if (!f.open(QIODevice::ReadOnly)) break;
        r.messages.append(f.readAll());
    }
    return r;
}

TReleve releve(quint16 port, const QString& login, const QString& motDePasse,
               const QStringList& options) {
    QTemporaryDir sortie;
    auto p = lancerReleve(port, login, sortie.path(), motDePasse, options);
    return terminerReleve(*p, sortie.path());
}

qint64 preparerBoiteCorpus(TDovecotPeer& dovecot, int n) {
    const QList<QByteArray> messages = messagesCorpus(n);
    if (messages.size() != n) {
        std::fprintf(stderr, "corpus: %lld messages of %d (scripts/fetch-corpus.sh)\n",
                     static_cast<long long>(messages.size()), n);
        return -1;
    }
    qint64 octets = 0;
    dovecot.ajouterUtilisateur(QStringLiteral("alice"), QStringLiteral("secret"));
    for (const QByteArray& m : messages) {
        dovecot.ajouterMessage(QStringLiteral("alice"), m);
        octets += m.size();
    }
    QString erreur;
    if (!dovecot.demarrer(&erreur)) {
        std::fprintf(stderr, "dovecot: %s\n", qPrintable(erreur));
        return -1;
    }
    return octets;
}

double releverBoite(quint16 port, const QString& login, int attendus, const QStringList& options) {
    QTemporaryDir sortie;
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("python3"),
            QStringList{kScript, QStringLiteral("127.0.0.1"), QString::number(port), login,
                        QStringLiteral("secret"), sortie.path()} +
                options);
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

namespace {

// Warm-up, then alternating runs of `releve` on both ports; prints each run,
// the medians and the ratio.
template <typename F>
bool comparer(const TComparaisonReleves& c, const char* client, double objectif, F&& releve) {
    QElapsedTimer chauffe;
    chauffe.start();
    if (releve(c.portDirect, c.loginDirect, true) < 0 ||
        releve(c.portProxy, c.loginProxy, false) < 0)
        return false;
    std::printf("%s client, warm-up: %.1f s\n", client, double(chauffe.elapsed()) / 1e3);
    std::vector<double> d, p;
    for (int i = 0; i < c.tours; ++i) {
        const double td = releve(c.portDirect, c.loginDirect, true);
        const double tp = releve(c.portProxy, c.loginProxy, false);
        if (td < 0 || tp < 0) return false;
        d.push_back(td);
        p.push_back(tp);
        std::printf("  run %d: direct %8.1f ms   %s %8.1f ms\n", i + 1, td, c.libelle, tp);
    }
    const double md = mediane(d), mp = mediane(p);
    const double n = c.messages, mo = double(c.octets) / 1e3;
    std::printf("median direct (%s): %.1f ms (%.3f ms per message, %.1f MB/s)\n", client, md,
                md / n, mo / md);
    std::printf("median %s (%s): %.1f ms (%.3f ms per message, %.1f MB/s)\n", c.libelle, client, mp,
                mp / n, mo / mp);
    if (objectif > 0)
        std::printf("ratio %s/direct (%s): %.3f (goal <= %.2f)\n", c.libelle, client, mp / md,
                    objectif);
    else
        std::printf("ratio %s/direct (%s): %.3f\n", c.libelle, client, mp / md);
    std::fflush(stdout);
    return true;
}

} // namespace

bool comparerReleves(const TComparaisonReleves& c) {
    const QStringList direct = c.options + c.optionsDirect;
    if (!comparer(c, "poplib", c.objectif, [&](quint16 port, const QString& login, bool d) {
            return releverBoite(port, login, c.messages, d ? direct : c.options);
        }))
        return false;
    if (!c.brut) return true;
    return comparer(c, "raw", c.objectifBrut, [&](quint16 port, const QString& login, bool) {
        return releverBrut(port, login, c.messages);
    });
}

} // namespace testsupport
