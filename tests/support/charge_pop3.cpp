#include "tests/support/charge_pop3.h"

#include "core/record_fields.h"
#include "tests/support/dnsmasq_peer.h"
#include "tests/support/kelvarin_process.h"
#include "tests/support/releve_pop3.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr qsizetype kLectureMax = 256 * 1024;

void echouer(TClientCharge& c, const QByteArray& raison) {
    if (c.fd >= 0) ::close(c.fd);
    c.fd = -1;
    c.erreur = raison;
    c.etat = TClientCharge::Echec;
}

void envoyer(TClientCharge& c, const QByteArray& ligne) {
    const QByteArray octets = ligne + "\r\n";
    qsizetype fait = 0;
    while (fait < octets.size()) {
        const ssize_t n =
            ::send(c.fd, octets.constData() + fait, size_t(octets.size() - fait), MSG_NOSIGNAL);
        if (n > 0) {
            fait += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            // A command is a few bytes: the send buffer takes it almost at once.
            pollfd p{c.fd, POLLOUT, 0};
            ::poll(&p, 1, 1000);
        } else {
            echouer(c, "send: " + QByteArray(std::strerror(errno)));
            return;
        }
    }
}

void retrSuivant(TClientCharge& c) {
    const int dernier = c.dernier > 0 ? std::min(c.dernier, c.nbMessages) : c.nbMessages;
    if (c.courant + 1 > dernier) {
        c.etat = TClientCharge::Quit;
        envoyer(c, "QUIT");
        return;
    }
    ++c.courant;
    c.etat = TClientCharge::Retr;
    c.dansMessage = false;
    c.message.clear();
    envoyer(c, "RETR " + QByteArray::number(c.courant));
}

// One line of the server, without its line end.
void traiterLigne(TClientCharge& c, QByteArrayView ligne) {
    using E = TClientCharge;
    if (c.etat == E::Retr && c.dansMessage) {
        if (ligne == ".") {
            ++c.recus;
            if (c.OnMessage) c.OnMessage(c, c.courant, c.message);
            retrSuivant(c);
            return;
        }
        if (ligne.startsWith('.')) ligne = ligne.sliced(1);
        c.message.append(ligne);
        c.message.append("\r\n");
        return;
    }
    if (!ligne.startsWith("+OK")) {
        echouer(c, "state " + QByteArray::number(int(c.etat)) + ": " + ligne.toByteArray());
        return;
    }
    switch (c.etat) {
    case E::Accueil:
        c.etat = E::User;
        envoyer(c, "USER " + c.login);
        break;
    case E::User:
        c.etat = E::Pass;
        envoyer(c, "PASS " + c.motDePasse);
        break;
    case E::Pass:
        c.etat = E::Stat;
        envoyer(c, "STAT");
        break;
    case E::Stat: {
        const QList<QByteArray> mots = ligne.toByteArray().split(' ');
        c.nbMessages = mots.size() > 1 ? mots.at(1).toInt() : 0;
        c.courant = c.premier - 1;
        if (c.neLitJamais && c.nbMessages >= c.premier) {
            // Asks for everything at once: the proxy must not fetch more
            // than the client takes.
            const int dernier = c.dernier > 0 ? std::min(c.dernier, c.nbMessages) : c.nbMessages;
            QByteArray lot;
            for (int k = c.premier; k <= dernier; ++k)
                lot += "RETR " + QByteArray::number(k) + (k < dernier ? "\r\n" : "");
            c.courant = c.premier;
            c.etat = E::Retr;
            envoyer(c, lot);
            break;
        }
        retrSuivant(c);
        break;
    }
    case E::Retr:
        c.dansMessage = true;
        break;
    case E::Quit:
        ::close(c.fd);
        c.fd = -1;
        c.etat = E::Fini;
        break;
    default:
        break;
    }
}

void traiterEntree(TClientCharge& c) {
    qsizetype debut = 0;
    while (c.etat != TClientCharge::Echec && c.etat != TClientCharge::Fini) {
        const qsizetype lf = c.entree.indexOf('\n', debut);
        if (lf < 0) break;
        qsizetype fin = lf;
        if (fin > debut && c.entree.at(fin - 1) == '\r') --fin;
        traiterLigne(c, QByteArrayView(c.entree).sliced(debut, fin - debut));
        debut = lf + 1;
    }
    c.entree.remove(0, debut);
}

bool connecter(TClientCharge& c, quint16 port) {
    c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (c.fd < 0) {
        echouer(c, "socket: " + QByteArray(std::strerror(errno)));
        return false;
    }
    const int un = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &un, sizeof un);
    if (c.neLitJamais) {
        // A small window, so the system's buffers cannot take in for the
        // client what it never reads: the proxy's own limits must hold.
        const int fenetre = 64 * 1024;
        ::setsockopt(c.fd, SOL_SOCKET, SO_RCVBUF, &fenetre, sizeof fenetre);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 && errno != EINPROGRESS) {
        echouer(c, "connect: " + QByteArray(std::strerror(errno)));
        return false;
    }
    c.etat = TClientCharge::Accueil;
    return true;
}

// Whether the client wants to read now; `attente` is lowered to when a
// throttled one may read again.
bool veutLire(TClientCharge& c, qint64 maintenant, int& attente) {
    if (c.neLitJamais && c.etat == TClientCharge::Retr) return false;
    if (c.octetsParSeconde <= 0 || c.etat != TClientCharge::Retr) {
        c.dernierCredit = maintenant;
        return true;
    }
    c.credit = std::min<double>(c.credit + double(maintenant - c.dernierCredit) *
                                               c.octetsParSeconde / 1000.0,
                                std::max(1, c.octetsParSeconde));
    c.dernierCredit = maintenant;
    if (c.credit >= 1) return true;
    attente = std::min(attente, int((1 - c.credit) * 1000 / c.octetsParSeconde) + 1);
    return false;
}

} // namespace

bool executerCharge(quint16 port, std::vector<TClientCharge>& clients, int delaiMs,
                    const std::function<bool()>& continuer) {
    QElapsedTimer horloge;
    horloge.start();
    for (TClientCharge& c : clients) {
        if (c.etat != TClientCharge::Connexion) continue;
        if (!connecter(c, port)) continue;
        c.dernierCredit = horloge.elapsed();
    }
    std::vector<pollfd> attentes;
    std::vector<TClientCharge*> qui;
    QByteArray tampon(kLectureMax, Qt::Uninitialized);
    for (;;) {
        if (continuer && !continuer()) return true;
        const qint64 maintenant = horloge.elapsed();
        if (maintenant > delaiMs) return false;
        attentes.clear();
        qui.clear();
        int attente = 200;
        for (TClientCharge& c : clients) {
            if (c.termine() || c.fd < 0) continue;
            // Readiness to read also reports a connection that failed.
            if (!veutLire(c, maintenant, attente)) continue;
            attentes.push_back({c.fd, POLLIN, 0});
            qui.push_back(&c);
        }
        if (std::none_of(clients.begin(), clients.end(), [](const TClientCharge& c) {
                return !c.termine() && c.fd >= 0 && !(c.neLitJamais && c.etat == c.Retr);
            }))
            return true;
        const int n = ::poll(attentes.data(), nfds_t(attentes.size()), attente);
        if (n < 0 && errno != EINTR) return false;
        for (size_t i = 0; n > 0 && i < attentes.size(); ++i) {
            if (!attentes[i].revents) continue;
            TClientCharge& c = *qui[i];
            qsizetype voulu = kLectureMax;
            const bool limite = c.octetsParSeconde > 0 && c.etat == TClientCharge::Retr;
            if (limite) voulu = std::min<qsizetype>(voulu, qsizetype(c.credit));
            const ssize_t lu = ::recv(c.fd, tampon.data(), size_t(voulu), 0);
            if (lu > 0) {
                c.octets += lu;
                if (limite) c.credit -= double(lu);
                c.entree.append(tampon.constData(), lu);
                traiterEntree(c);
            } else if (lu == 0) {
                echouer(c, "closed in state " + QByteArray::number(int(c.etat)) + " at message " +
                               QByteArray::number(c.courant));
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                echouer(c, "recv: " + QByteArray(std::strerror(errno)));
            }
        }
    }
}

void fermerCharge(std::vector<TClientCharge>& clients) {
    for (TClientCharge& c : clients)
        if (!c.termine()) echouer(c, "closed by the test");
}

qint64 memoireProcessusKo(qint64 pid, const char* champ) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray cle = QByteArray(champ) + ':';
    for (const QByteArray& ligne : f.readAll().split('\n')) {
        if (!ligne.startsWith(cle)) continue;
        return ligne.mid(cle.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool memeMessageJuge(const QByteArray& proxy, const QByteArray& direct, QByteArray* ecart) {
    // The proxy's lines close its header: the last lines before the empty
    // line, or of the message when it has none.
    qsizetype finEntete = proxy.startsWith("\r\n") ? 0 : proxy.indexOf("\r\n\r\n");
    finEntete = finEntete < 0 ? proxy.size() : finEntete + 2;
    qsizetype debutLignes = finEntete;
    while (debutLignes > 0) {
        const qsizetype precedente =
            debutLignes < 3 ? -1 : proxy.lastIndexOf("\r\n", debutLignes - 3);
        const qsizetype debut = precedente < 0 ? 0 : precedente + 2;
        if (!proxy.sliced(debut).startsWith("X-Kelvarin")) break;
        debutLignes = debut;
    }
    const QByteArray lignes = proxy.sliced(debutLignes, finEntete - debutLignes);
    const QByteArray attendu = jugeAvecLignes(direct, lignes) + "\r\n";
    if (lignes.isEmpty() || proxy != attendu) {
        if (ecart) {
            qsizetype i = 0;
            while (i < proxy.size() && i < attendu.size() && proxy[i] == attendu[i])
                ++i;
            *ecart = "differs at byte " + QByteArray::number(i) + " of " +
                     QByteArray::number(proxy.size()) + " (expected " +
                     QByteArray::number(attendu.size()) + "): \"" + proxy.mid(i, 60) +
                     "\" instead of \"" + attendu.mid(i, 60) + "\"";
        }
        return false;
    }
    return true;
}

bool ecrireListesFiltre(const TKelvarinProcess& kelvarin, const TDnsmasqPeer& dns,
                        QString* erreur) {
    const QString donnees = kelvarin.Home() + QStringLiteral("Donnees/");
    QDir().mkpath(donnees);
    const QByteArray entete = fichierqdl::entete(1);
    const QList<QPair<const char*, QByteArray>> fichiers = {
        {"dns.qdl", entete + "1\tTestBL\t" + dns.zone() + "\t0\t0\t0\t0\t0\t\t0\t0\r\n"},
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
    for (const auto& [nom, contenu] : fichiers) {
        QFile f(donnees + QString::fromLatin1(nom));
        if (!f.open(QIODevice::WriteOnly) || f.write(contenu) != contenu.size()) {
            if (erreur) *erreur = QStringLiteral("cannot write ") + f.fileName();
            return false;
        }
    }
    return true;
}

bool preparerKelvarinFiltre(TKelvarinProcess& kelvarin, const TDnsmasqPeer& dns, quint16 portMail,
                            QString* erreur) {
    if (!ecrireListesFiltre(kelvarin, dns, erreur)) return false;
    kelvarin.EcrireIni({{"PortMail", QByteArray::number(portMail)},
                        {"DNSAuto", "0"},
                        {"AdresseDNS", dns.adresse().toString().toLatin1()},
                        {"ModifSujet", "0"},
                        {"EnleveHTML", "0"}});
    return true;
}

QList<QByteArray> boiteMarquee(const QList<QByteArray>& corpus, const QByteArray& login) {
    QList<QByteArray> r;
    r.reserve(corpus.size());
    for (const QByteArray& m : corpus)
        r.append("X-Boite: " + login + "\n" + m);
    return r;
}

} // namespace testsupport
