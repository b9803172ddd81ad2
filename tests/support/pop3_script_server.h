#pragma once
// A small POP3 server on 127.0.0.1 port 0 for protocol edge cases: a mailbox in
// memory, the commands it received, and hooks that let a test answer a command
// its own way (wrong answers, a close in the middle of a message, delays).
// Also a line client for tests that must keep the event loop running.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace testsupport {

class TServeurPOP3Script : public QObject {
    Q_OBJECT
public:
    explicit TServeurPOP3Script(QObject* parent = nullptr);
    ~TServeurPOP3Script() override;

    bool demarrer(); // 127.0.0.1, port 0
    quint16 port() const;
    void arreter();                          // stops listening and drops every connection
    void diffuser(const QByteArray& octets); // to every open connection

    QByteArray login = "alice";
    QByteArray motDePasse = "secret";
    QByteArray bienvenue = "+OK script ready";
    // Messages as the server holds them (CR LF lines); dot-stuffed when sent.
    QList<QByteArray> messages;
    // Every command line received, over all connections.
    QList<QByteArray> commandes;
    int nbConnexions() const { return m_nbConnexions; }

    // Called for each command; returns true when it answered by itself.
    std::function<bool(QTcpSocket& client, const QByteArray& ligne)> OnCommande;

    static void envoyer(QTcpSocket& client, const QByteArray& octets);
    // The message as RETR sends it: dot-stuffed, then "." CR LF.
    static QByteArray enLigne(const QByteArray& message);

private:
    void surConnexion();
    void traiter(QTcpSocket& client, const QByteArray& ligne);

    QTcpServer* m_serveur;
    QList<QTcpSocket*> m_clients;
    int m_nbConnexions = 0;
};

// A POP3 client for tests: waits by running the event loop, never by blocking it.
class TClientLignes : public QObject {
    Q_OBJECT
public:
    explicit TClientLignes(QObject* parent = nullptr);
    ~TClientLignes() override;

    bool connecter(quint16 port, int delaiMs = 5000);
    void envoyer(const QByteArray& octets); // as is
    // One line without its CR LF; null when none came in time.
    QByteArray ligne(int delaiMs = 5000);
    // Sends the command and CR LF and returns the first answer line.
    QByteArray commande(const QByteArray& texte, int delaiMs = 5000);
    // The lines of a multi-line answer up to "." (excluded), as raw bytes with
    // their CR LF; null when the "." never came.
    QByteArray jusquAuPoint(int delaiMs = 10000);
    // Waits until the peer closes the connection.
    bool attendreFermeture(int delaiMs = 5000);
    bool connecte() const;
    // Nothing more arrives within the delay.
    bool silence(int delaiMs = 300);
    // Forgets what arrived and was not read yet.
    void vider() { m_entree.clear(); }
    QTcpSocket& socket() { return *m_socket; }
    void abandonner(); // drop the connection at once (RST)

private:
    bool attendre(const std::function<bool()>& condition, int delaiMs);
    QTcpSocket* m_socket;
    QByteArray m_entree;
};

} // namespace testsupport
