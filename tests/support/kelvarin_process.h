#pragma once
// The built `kelvarin` executable run headless in a temporary home, for the
// end-to-end tests and the benchmarks: the test writes its kelvarin.ini,
// starts it, waits until it listens, and stops it with SIGTERM.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// The version server of every test home: a closed loopback port, so that no
// test ever asks the program's real server.
inline constexpr const char* kAdresseVersionTest = "http://127.0.0.1:9/";

class TKelvarinProcess {
public:
    TKelvarinProcess();
    ~TKelvarinProcess(); // SIGTERM, then SIGKILL if it does not end
    TKelvarinProcess(const TKelvarinProcess&) = delete;
    TKelvarinProcess& operator=(const TKelvarinProcess&) = delete;

    // KELVARIN_EXE when set (ctest sets it), else the build's "kelvarin".
    static QString Executable();

    QString Home() const { return m_home.path() + QLatin1Char('/'); }
    QString CheminDonnees(const QString& nom) const {
        return Home() + QStringLiteral("Donnees/") + nom;
    }

    // kelvarin.ini with a section [Init] of these keys (CR LF lines). The
    // listening port is chosen free on 127.0.0.1 unless given; AdresseVersion
    // is kAdresseVersionTest unless given.
    void EcrireIni(const QList<QPair<QByteArray, QByteArray>>& cles, quint16 portEcoute = 0);
    quint16 PortEcoute() const { return m_portEcoute; }

    // Starts the program and waits (bounded) until its port accepts a
    // connection. false with the reason and the program's output otherwise.
    bool Demarrer(QString* erreur, int delaiMs = 20000);
    // SIGTERM and wait; returns the exit code (-1: had to be killed).
    int Arreter(int delaiMs = 15000);
    bool Actif() const { return m_process.state() != QProcess::NotRunning; }
    qint64 Pid() const { return m_process.processId(); }
    // SIGKILL, as a crash would end it, and wait; Demarrer() starts it again.
    void Tuer();
    // Everything the program wrote so far (its trace lines), from Home() "sortie.txt".
    QByteArray Sortie();

private:
    QTemporaryDir m_home;
    QProcess m_process;
    quint16 m_portEcoute = 0;
};

// Re-runs the calling test program inside a network namespace that holds only
// the loopback interface (as root, when `unshare` is there), so nothing it
// starts can reach another host. Call first in main(); returns only in the
// isolated copy, or when isolation is not possible (a line says so).
void IsolerReseau(int argc, char** argv);

} // namespace testsupport
