#pragma once
// One running copy per user and home: a lock file held for the process's life
// and a local server on which a second copy signals the first before it exits.

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

class TInstanceUnique : public QObject {
public:
    // The message a second copy sends.
    static constexpr const char* kMessage = "WM_MESSAGE_PARAM_KELVARIN";

    // The lock and server names derive from the user and the canonical home.
    explicit TInstanceUnique(const QString& repertoireTravail, QObject* parent = nullptr);
    ~TInstanceUnique() override;

    // True when another copy holds the lock: it has been signalled (when it
    // could be reached within the delay) and this process must end. False: this
    // copy is the first; it now holds the lock and listens for signals.
    bool InstanceDejaLancee(int delaiMs = 3000);

    const QString& NomServeur() const { return m_nom; }
    const QString& CheminVerrou() const { return m_cheminVerrou; }

    // A second copy signalled this one.
    std::function<void()> OnSignalInstance;

private:
    bool Signaler(int delaiMs);
    void Ecouter();

    QString m_nom;
    QString m_cheminVerrou;
    std::unique_ptr<QLockFile> m_verrou;
    QLocalServer* m_serveur = nullptr;
};
