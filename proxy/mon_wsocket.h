#pragma once
// One mail-client connection: reads its POP3 commands, answers the login itself,
// relays every other command through its own upstream client, and collects
// each retrieved message whole before it is delivered.

#include "accounts/un_compte_bis.h"
#include "accounts/un_message_mem.h"
#include "proxy/analyse_pop3.h"
#include "proxy/client_pop3.h"
#include "proxy/message_recupere.h"
#include "proxy/messages_fictifs.h"
#include "proxy/verdict.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QTcpSocket;
class QTimer;
class TServeurProxy;

class TMonWSocket : public QObject, public TSessionJugee {
public:
    // `verdict` judges the retrieved messages (none: they go out unmarked).
    TMonWSocket(TServeurProxy& serveur, TVerdict* verdict, int numero, QTcpSocket* connexion,
                int delaiInactiviteMs, int delaiFermetureMs);
    ~TMonWSocket() override;

    int Numero() const override { return m_numero; }
    QTcpSocket* Socket() const { return m_socket; }
    bool Ouverte() const override { return !m_fermee; }
    // Sends the text and CR LF to the client (and "< " + text to the trace).
    void EnvoiClient(const QByteArray& texte, bool tracer = true);
    // Closes the connection (TimerQuit, idle, shutdown); the closed step
    // follows. Pending output gets a short grace period, then the connection
    // is cut.
    void Fermer();
    // The message being retrieved, or the last one.
    TMessageRecupere& Message() override { return m_message; }
    const TMessageRecupere& Message() const { return m_message; }
    // The verdict is in: rewrite the current message and send it.
    void Livrer(const TResultatVerdict& verdict) override;

    // Session state.
    bool Abandon = false;
    bool CommandeEnAttente = false;
    bool RelaisReponse = false;
    TCommandeSession Commande = cmAutre;
    PUnCompteBis CompteSession = nullptr;
    qint32 NbFictifs = 0;
    qint64 TailleFictifs = 0; // 64 bits: many large re-emissions must not wrap
    TClientPOP3* Client;
    bool Quitter = false;

    // Events for the listener.
    std::function<void()> OnBip;
    std::function<void()> OnCommandeClient;
    std::function<void()> OnComptesModifies; // a login found or created an account
    std::function<void()> OnQuit;            // QUIT received: start TimerQuit, close the archive
    std::function<void(TMonWSocket&)> OnFermee;
    std::function<void(bool spam)> OnMessageJuge; // counted for the account

    // Client lines read and not yet executed.
    qsizetype NbLignesEnAttente() const { return m_lignes.size(); }

private:
    void surDonneesClient();
    // Executes the waiting lines in order while the previous answer is out,
    // reading more from the socket as room allows.
    void lireCommandes();
    void reprendre();
    // Queues one reprendre after an answer has ended; calls made before it
    // runs share it.
    void programmerReprise();
    void decouper(QByteArrayView recu);
    bool peutExecuter(const QByteArray& ligne) const;
    void surFermeture();
    void executer(const QByteArray& ligneBrute);
    void relayer(const pop3::TCommandeClient& c, TCommandeSession code,
                 bool (TClientPOP3::*operation)());
    void loginEtape1(const QByteArray& argument);
    void loginEtape2(const QByteArray& argument);
    void quitter();
    // Re-emitted messages: the ones counted at PASS, presented after the real ones.
    bool presenterFictifs(const QByteArray& ligne);
    void retrFictif(int k);
    void retenirCompte(PUnCompteBis compte);

    // Upstream events.
    void surRequeteFinie(TRequetePOP3 requete, int erreur);
    void surLigneServeur(const QByteArray& ligne);
    void surDebutMessage();
    void surLigneMessage(const QByteArray& ligne);
    void surFinEntete();
    void surFinMessage();
    // The message is complete: the verdict plugs in here.
    void messageComplet();
    void livrer();
    void livrerMessage(const TResultatVerdict& verdict); // rewrite, count, send

    TServeurProxy& m_serveur;
    const TConfig& m_reglages; // the listener's, live
    TVerdict* m_verdict;
    TMessageRecupere m_message;
    int m_numero;
    QTcpSocket* m_socket;
    QTimer* m_inactivite;
    int m_delaiFermetureMs;
    QList<QByteArray> m_lignes;       // whole client lines waiting for their turn
    bool m_livraisonAttendue = false; // a complete message waits for its verdict
    bool m_repriseProgrammee = false;
    quint32 m_activiteAmont = 0; // server lines received, for the idle check
    quint32 m_activiteVue = 0;
    QByteArray m_entree;      // client bytes up to the next LF
    QByteArray m_debordement; // sample of what was cut from a long line
    bool m_tropLong = false;
    bool m_fermee = false;
    bool m_loginReussi = false;
    bool m_ligneEnvoyee = false;          // a line went to the client for the current command
    bool m_relaisAvant = false;           // RelaisReponse before the command being executed
    QHash<qint64, qint64> m_taillesListe; // message number -> size seen in a LIST answer
    QList<TMessageFictif> m_fictifs;      // the re-emissions counted at PASS
    qint64 m_nbReels = 0;                 // highest real number since PASS
    bool m_supprimerSpam = false;         // SupprimerSpam as it was when RETR/TOP began
};
