#include "tests/support/releve_pop3.h"

#include "tests/support/dovecot_peer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

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

} // namespace

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

bool comparerReleves(const TComparaisonReleves& c) {
    QElapsedTimer chauffe;
    chauffe.start();
    const QStringList direct = c.options + c.optionsDirect;
    if (releverBoite(c.portDirect, c.loginDirect, c.messages, direct) < 0 ||
        releverBoite(c.portProxy, c.loginProxy, c.messages, c.options) < 0)
        return false;
    std::printf("warm-up: %.1f s\n", double(chauffe.elapsed()) / 1e3);
    std::vector<double> d, p;
    for (int i = 0; i < c.tours; ++i) {
        const double td = releverBoite(c.portDirect, c.loginDirect, c.messages, direct);
        const double tp = releverBoite(c.portProxy, c.loginProxy, c.messages, c.options);
        if (td < 0 || tp < 0) return false;
        d.push_back(td);
        p.push_back(tp);
        std::printf("  run %d: direct %8.1f ms   %s %8.1f ms\n", i + 1, td, c.libelle, tp);
    }
    const double md = mediane(d), mp = mediane(p);
    const double n = c.messages, mo = double(c.octets) / 1e3;
    std::printf("median direct: %.1f ms (%.0f messages/s, %.1f MB/s)\n", md, n * 1000.0 / md,
                mo / md);
    std::printf("median %s: %.1f ms (%.0f messages/s, %.1f MB/s)\n", c.libelle, mp, n * 1000.0 / mp,
                mo / mp);
    std::printf("ratio %s/direct: %.3f (goal <= %.2f)\n", c.libelle, mp / md, c.objectif);
    std::fflush(stdout);
    return true;
}

} // namespace testsupport
