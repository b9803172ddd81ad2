#pragma once
// SIGINT and SIGTERM end the program through the same clean shutdown as
// quitting: the handler only writes a byte to a pipe, and the event loop
// raises OnArret when it reads it.

#include <QObject>

#include <functional>

class QSocketNotifier;

class TSignauxArret : public QObject {
public:
    explicit TSignauxArret(QObject* parent = nullptr);
    ~TSignauxArret() override;

    bool Installe() const { return m_notificateur != nullptr; }
    // The signal number that arrived.
    std::function<void(int)> OnArret;

private:
    QSocketNotifier* m_notificateur = nullptr;
};
