#pragma once
// The listening socket and the client sessions it owns: numbering, accept,
// release through a queued call, and the rules of the quit and save timers
// (the timers themselves belong to the controller, reached through events).

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QTcpServer;
class TGestionComptesBis;
struct TConfig;
class TMessagesFictifs;
class TMonWSocket;
class TVerdict;

class TServeurProxy : public QObject {
public:
    static constexpr int kDelaiInactiviteDefautMs = 10 * 60 * 1000;

    // `reglages` are the live settings: what Apply writes there holds from the
    // next command or message of every session on.
    TServeurProxy(TGestionComptesBis& comptes, const TConfig& reglages, QObject* parent = nullptr);
    ~TServeurProxy() override;

    // Where an ordinary user listens when the system refuses a port below 1024.
    static constexpr quint16 kPortRepli = 1110;

    // Listens on AdresseEcoute of the settings and the port (number or service
    // name), or on kPortRepli when the system refuses a port below 1024 (traced;
    // PortLocal() tells). On failure returns false with the princ29 text in `erreur`.
    bool Ouvrir(const QByteArray& port, QString* erreur = nullptr);
    void Fermer();
    bool Ecoute() const;
    quint16 PortLocal() const;

    // A client that sends nothing for this long is closed (tests shorten it).
    int DelaiInactiviteMs = kDelaiInactiviteDefautMs;
    // A session being closed whose client does not take the pending output is
    // cut after this long: a hung client must not hold its session forever.
    int DelaiFermetureMs = 3000;
    // The upstream port that is TLS from the first byte (POP3S); tests move it.
    quint16 PortTlsImplicite = 995;

    int NbSessions() const { return int(m_sessions.size()); }
    TMonWSocket* Session(int numero) const; // by number; null when gone
    TMonWSocket* SessionIndex(int index) const;
    // The numbers of the sessions, in order: a walk that may end sessions
    // looks each up again by number.
    std::vector<int> NumerosSessions() const;
    TGestionComptesBis& Comptes() { return m_comptes; }
    const TConfig& Reglages() const { return m_reglages; }

    // Judges the messages the sessions retrieve (none: they go out unmarked);
    // each session is handed it when it is created.
    TVerdict* Verdict = nullptr;

    // TimerQuit has fired: close the sessions that sent QUIT.
    void TimerQuitEcoule();
    // Closes every session (shutdown).
    void FermerSessions();
    // Another open session than `session`, of account `compte` (-1: of any account).
    bool AutreSessionOuverte(const TMonWSocket& session, qint32 compte = -1) const;

    // Events for the controller.
    std::function<void()> OnDemarrerTimerQuit;
    std::function<void()> OnArreterTimerQuit;
    std::function<void()> OnSessionTerminee; // start TimerSauve
    std::function<void()> OnCommandeClient;  // stop TimerSauve, animate the icon
    std::function<void()> OnConnexionAcceptee;
    std::function<void()> OnComptesModifies; // a login found or created an account
    std::function<void()> OnFermerArchive;   // no session left: the proxy's archive is closed
    // A session is done with its account's archive: QUIT, or closed.
    std::function<void(TMonWSocket& session, bool quit)> OnArchiveSession;
    std::function<void()> OnBip;
    std::function<void(int numero)> OnSessionLiberee;
    std::function<void(int numero, bool spam)> OnMessageJuge; // counted for the account
    // The queue of re-emitted messages (none: nothing is re-emitted), and the
    // archived text of one of them; false with the reason when unreadable.
    TMessagesFictifs* MessagesFictifs = nullptr;
    std::function<bool(qint32 compte, qint32 id, QByteArray& texte, QString& erreur)> OnLireFictif;

private:
    void surNouvelleConnexion();
    void sessionFermee(TMonWSocket& session);
    void detruireSocket(int numero);
    bool sessionQuiAttendQuitter() const;

    TGestionComptesBis& m_comptes;
    const TConfig& m_reglages;
    QTcpServer* m_ecoute;
    std::vector<std::unique_ptr<TMonWSocket>> m_sessions;
    int m_dernierNumero = 0;
};
