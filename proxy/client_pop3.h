#pragma once
// The upstream POP3 client of one session: one operation at a time, every line
// from the server reported, retrieved messages reported line by line with their
// header fields. Sockets only buffer here; parsing lives in analyse_pop3.h.
// The connection is encrypted on the POP3S port, or upgraded by STLS when the
// server offers it; the certificate is always verified, and the password never
// leaves on a connection that the settings require to be encrypted.

#include "proxy/analyse_pop3.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>

#include <functional>

class QSslError;
class QSslSocket;
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

// What the settings ask of the upstream connection (SecuriteAmont).
enum TSecuriteAmont : int {
    saOpportuniste = 0, // TLS on the POP3S port, else STLS when offered, else plain text
    saTlsExige = 1,     // the login never goes over a connection that is not encrypted
    saTexteClair = 2    // plain text only
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
    int SecuriteAmont = saOpportuniste;
    // Trusted beside the system's authorities (a home server's own).
    QList<QSslCertificate> CertificatsAmont;
    // The port on which the connection is TLS from its first byte.
    quint16 PortTlsImplicite = 995;
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
    bool Chiffre() const;

    // The certificates of a PEM file; false with the reason when the file
    // cannot be read or holds none.
    static bool ChargerCertificats(const QString& chemin, QList<QSslCertificate>& certificats,
                                   QString& erreur);

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
    enum class TPhaseLogin : uint8_t {
        plConnexion,
        plBienvenue,
        plCapa,        // CAPA before STLS
        plStls,        // STLS sent
        plChiffrement, // TLS handshake after STLS
        plCapaTls,     // CAPA again, over TLS
        plUser,
        plPass
    };

    bool verifierDemarrage(const char* commande, bool transactionRequise);
    bool demarrer(TRequetePOP3 requete, const QByteArray& ligne, bool multiLigne);
    void envoyer(const QByteArray& ligne);
    void terminer(int erreur);
    void fermerPuisTerminer(int erreur);
    void perdue(const QString& raison);
    void surConnexion();
    void surDonnees();
    void lireDonnees();
    void lireMorceau(qint64 disponible);
    void surDeconnexion();
    void traiterLigne(const QByteArray& ligne);
    void traiterLigneLogin(const QByteArray& ligne);
    void finCapa();
    void envoyerUser();
    void surChiffre();
    void surErreursTls(const QList<QSslError>& erreurs);
    // Gives the login up before the password leaves, with the reason.
    void refuserLogin(const QString& raison);
    void oublierEntree(); // bytes received before the TLS handshake are not the server's
    void traiterLigneDonnees(const QByteArray& ligne);

    QTcpSocket* m_socket;
    QSslSocket* m_tls = nullptr; // the same socket; none without a TLS backend
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
    bool m_tlsImplicite = false;
    bool m_dansCapa = false; // between the "+OK" of CAPA and its "."
    bool m_stlsOffert = false;
    QString m_erreurTls; // the certificate's faults, when the handshake fails
};
