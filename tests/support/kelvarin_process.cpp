#include "tests/support/kelvarin_process.h"

#include "tests/support/dovecot_peer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace testsupport {

TKelvarinProcess::TKelvarinProcess() {
    // The trace goes to a file: a pipe that the test does not drain while it
    // waits on its clients would fill up and block the program.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(Home() + QStringLiteral("sortie.txt"));
}

TKelvarinProcess::~TKelvarinProcess() {
    Arreter();
}

QString TKelvarinProcess::Executable() {
    const QString env = qEnvironmentVariable("KELVARIN_EXE");
    if (!env.isEmpty()) return env;
    return QStringLiteral(KELVARIN_BINARY_DIR "/kelvarin");
}

void TKelvarinProcess::EcrireIni(const QList<QPair<QByteArray, QByteArray>>& cles,
                                 quint16 portEcoute) {
    m_portEcoute = portEcoute ? portEcoute : portLibre();
    QByteArray ini = "[Init]\r\nPortEcoute=" + QByteArray::number(m_portEcoute) + "\r\n";
    bool adresseVersion = false;
    for (const auto& [cle, valeur] : cles) {
        ini += cle + '=' + valeur + "\r\n";
        adresseVersion = adresseVersion || cle == "AdresseVersion";
    }
    if (!adresseVersion) ini += QByteArray("AdresseVersion=") + kAdresseVersionTest + "\r\n";
    QFile f(Home() + QStringLiteral("kelvarin.ini"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(ini);
}

bool TKelvarinProcess::Demarrer(QString* erreur, int delaiMs) {
    if (m_portEcoute == 0) EcrireIni({});
    const QString exe = Executable();
    if (!QFileInfo(exe).isExecutable()) {
        if (erreur) *erreur = QStringLiteral("no executable at ") + exe;
        return false;
    }
    m_process.start(exe, {QStringLiteral("--headless"), QStringLiteral("--home"), m_home.path(),
                          QStringLiteral("--trace")});
    if (!m_process.waitForStarted(10000)) {
        if (erreur)
            *erreur = QStringLiteral("cannot start ") + exe + QStringLiteral(": ") +
                      m_process.errorString();
        return false;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < delaiMs) {
        if (m_process.state() == QProcess::NotRunning) break;
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_portEcoute);
        if (s.waitForConnected(300)) {
            // Leave as a polite client would, so the probe is no error.
            if (s.waitForReadyRead(2000)) s.readAll();
            s.write("QUIT\r\n");
            s.waitForBytesWritten(1000);
            s.disconnectFromHost();
            return true;
        }
        QThread::msleep(100);
    }
    if (erreur) {
        *erreur = QStringLiteral("kelvarin did not accept connections on 127.0.0.1:%1 within %2 ms "
                                 "(state %3); output:\n")
                      .arg(m_portEcoute)
                      .arg(delaiMs)
                      .arg(int(m_process.state())) +
                  QString::fromLocal8Bit(Sortie());
    }
    return false;
}

int TKelvarinProcess::Arreter(int delaiMs) {
    if (m_process.state() == QProcess::NotRunning) {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(delaiMs)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return -1;
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void TKelvarinProcess::Tuer() {
    if (m_process.state() == QProcess::NotRunning) return;
    ::kill(pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished(10000);
}

QByteArray TKelvarinProcess::Sortie() {
    QFile f(Home() + QStringLiteral("sortie.txt"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void IsolerReseau(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("KELVARIN_RESEAU_ISOLE")) return;
    if (::geteuid() != 0 || ::access("/usr/bin/unshare", X_OK) != 0) {
        std::fprintf(stderr,
                     "network isolation not available: binding and targeting 127.0.0.1 only\n");
        return;
    }
    if (std::system("/usr/bin/unshare --net /bin/true >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "unshare refused: binding and targeting 127.0.0.1 only\n");
        return;
    }
    ::setenv("KELVARIN_RESEAU_ISOLE", "1", 1);
    // sh brings the loopback interface up, then becomes the test program.
    std::vector<char*> args{
        const_cast<char*>("unshare"), const_cast<char*>("--net"),
        const_cast<char*>("--"),      const_cast<char*>("/bin/sh"),
        const_cast<char*>("-c"),      const_cast<char*>("ip link set lo up && exec \"$0\" \"$@\"")};
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv("/usr/bin/unshare", args.data());
    std::fprintf(stderr, "unshare failed: running without network isolation\n");
}

} // namespace testsupport
