#pragma once
// The upstream POP3 client of one session: one operation at a time, every line
// from the server reported, retrieved messages reported line by line with their
// header fields. Sockets only buffer here; parsing lives in analyse_pop3.h.

#include "proxy/analyse_pop3.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;

enum class TRequetePOP3 : uint8_t {
    rqAucune,
    rqLogin, // connect, USER, PASS chained
    rqStat,
    rqList,
    rqUidl,
    rqRetr,
    rqTop,
    rqDele,
    rqNoop,
    rqRSet,
    rqLast,
    rqQuit
};

// Protocol state of the upstream connection.
enum class TEtatPOP3 : uint8_t { epDeconnecte, epAttenteUser, epAttentePass, epTransaction };

class TClientPOP3 : public QObject {
public:
    // Error codes of the request-done event.
    enum : int { erAucune = 0, erReponseNegative = 1, erConnexion = 2 };

    explicit TClientPOP3(QObject* parent = nullptr);
    ~TClientPOP3() override;

    QByteArray Host;
    QByteArray Port;
    QByteArray UserName;
    QByteArray PassWord;
    int MsgNum = 0;
    int MsgLines = 0;
    int Tag = 0;
    // Bounds on what one server can make us hold.
    qsizetype LongueurLigneMax = 32 * 1024 * 1024;
    qint64 TailleReponseMax = qint64(512) * 1024 * 1024;

    const QByteArray& LastResponse() const { return m_derniereLigne; }
    const QString& ErrorMessage() const { return m_erreur; }
    qint64 MsgCount() const { return m_nbMessages; } // of the last STAT answer
    qint64 MsgSize() const { return m_taille; }      // of the last STAT or LIST line
    TRequetePOP3 RequestType() const { return m_requete; }
    const pop3::TChampsEntete& Entete() const { return m_entete; }
    bool HeaderFlag() const { return m_enEntete; }
    qint64 HeaderSize() const { return m_tailleEntete; }
    TEtatPOP3 Etat() const { return m_etat; }
    bool Occupe() const { return m_requete != TRequetePOP3::rqAucune; }
    bool Connecte() const;

    // Each starts one operation; false (and ErrorMessage) when it cannot start.
    bool Login();
    bool Stat();
    bool List();
    bool Uidl();
    bool Retr();
    bool Top();
    bool Dele();
    bool Noop();
    bool RSet();
    bool Last();
    bool Quit();
    // Closes the connection at once, with no request-done event.
    void Abort();

    std::function<void(TRequetePOP3 requete, int erreur)> OnRequestDone;
    std::function<void(const QByteArray& ligne)> OnLigneServeur; // before processing
    std::function<void()> OnDebutMessage;
    std::function<void(const QByteArray& ligne)> OnLigneMessage;
    std::function<void()> OnFinEntete;
    std::function<void()> OnFinMessage;

private:
    enum class TPhaseLogin : uint8_t { plConnexion, plBienvenue, plUser, plPass };

    bool verifierDemarrage(const char* commande, bool transactionRequise);
    bool demarrer(TRequetePOP3 requete, const QByteArray& ligne, bool multiLigne);
    void envoyer(const QByteArray& ligne);
    void terminer(int erreur);
    void fermerPuisTerminer(int erreur);
    void perdue(const QString& raison);
    void surConnexion();
    void surDonnees();
    void lireDonnees();
    void surDeconnexion();
    void traiterLigne(const QByteArray& ligne);
    void traiterLigneLogin(const QByteArray& ligne);
    void traiterLigneDonnees(const QByteArray& ligne);

    QTcpSocket* m_socket;
    QByteArray m_entree;
    QByteArray m_ligne;          // the line being handled
    qsizetype m_dejaCherche = 0; // bytes of m_entree's last partial line known to hold no LF
    QByteArray m_derniereLigne;
    QString m_erreur;
    qint64 m_nbMessages = 0;
    qint64 m_taille = 0;
    TRequetePOP3 m_requete = TRequetePOP3::rqAucune;
    TEtatPOP3 m_etat = TEtatPOP3::epDeconnecte;
    TPhaseLogin m_phase = TPhaseLogin::plConnexion;
    bool m_multiLigne = false;  // the current answer has several lines
    bool m_dansDonnees = false; // its status line was "+OK": data lines follow
    qint64 m_octetsReponse = 0;
    pop3::TChampsEntete m_entete;
    bool m_enEntete = false;
    qint64 m_tailleEntete = 0;
    quint64 m_generation = 0; // bumped by Abort, so stale work stops
};
