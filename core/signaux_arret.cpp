#include "core/signaux_arret.h"

#include "core/trace.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_tube[2] = {-1, -1};

extern "C" void surSignal(int numero) {
    const int sauve = errno;
    const unsigned char octet = static_cast<unsigned char>(numero);
    [[maybe_unused]] const ssize_t n = ::write(g_tube[0], &octet, 1);
    errno = sauve;
}
} // namespace

TSignauxArret::TSignauxArret(QObject* parent) : QObject(parent) {
    if (g_tube[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_tube) != 0) {
        TraceException(u"TSignauxArret", u"socketpair");
        return;
    }
    ::fcntl(g_tube[0], F_SETFL, O_NONBLOCK);
    ::fcntl(g_tube[1], F_SETFL, O_NONBLOCK);
    m_notificateur = new QSocketNotifier(g_tube[1], QSocketNotifier::Read, this);
    connect(m_notificateur, &QSocketNotifier::activated, this, [this] {
        unsigned char octet = 0;
        int dernier = 0;
        while (::read(g_tube[1], &octet, 1) == 1)
            dernier = octet;
        if (dernier && OnArret) OnArret(dernier);
    });
    struct sigaction sa = {};
    sa.sa_handler = surSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

TSignauxArret::~TSignauxArret() {
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}
