#pragma once
// The engine's long-lived components, the ones the design hangs on its main
// window: spam search, accounts, listener and sessions, knowledge base and its
// two token documents, charsets and the two MIME decoders, the two archive
// views and the re-emission queue. The constructor plugs each into the
// controller's steps and wires their events; the controller decides when.

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "bayes/reconstruction_bayes.h"
#include "integration/verification_version.h"
#include "mime/encodage_decodage.h"
#include "mime/mon_mime_decode.h"
#include "proxy/evenements_moteur.h"
#include "proxy/messages_fictifs.h"
#include "spamsearch/cherche_spams.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class TControleur;
class TMonWSocket;
class TServeurProxy;
struct TConfig;
class TVerdict;

// Where the engine meets the outside world, for the tests and benchmarks that
// run the program's own assembly on loopback. The upstream POP3 server comes
// from each login ("user@host|port"), the home from the controller's
// directories, the DNS server's address from the settings.
struct TPointsAcces {
    quint16 PortDNS = 53;
    // A client that sends nothing for this long is closed.
    int DelaiInactiviteMs = 10 * 60 * 1000;
    // A closing client that does not take its pending output is cut after this.
    int DelaiFermetureMs = 3000;
    // The upstream port that is TLS from its first byte (POP3S).
    quint16 PortTlsImplicite = 995;
    // The machine's DNS server, read again at each accept when it is automatic
    // or none is set.
    std::function<QByteArray()> ServeurDNSMachine;
    // The version server's base address when the settings name none
    // (AdresseVersion in [Init]); empty: the program's own server.
    QString AdresseVersion;
};

class TMoteur : public QObject {
public:
    explicit TMoteur(TControleur& controleur, const TPointsAcces& points = {},
                     QObject* parent = nullptr);
    ~TMoteur() override;
    TMoteur(const TMoteur&) = delete;
    TMoteur& operator=(const TMoteur&) = delete;

    TControleur& Controleur() { return m_controleur; }
    // The settings the controller reads, applies and writes. The components
    // get a reference and read it when they act, so Apply holds at once.
    TConfig& Reglages() { return m_reglages; }

    // What the views connect to; first, so it outlives every component.
    TEvenementsMoteur Evenements;

    // Declared in the order they must outlive each other: the sessions hold
    // accounts, the archives keep the accounts' numbers.
    TGestionComptesBis GestionComptesBis1;
    TChercheSPAMs ChercheSPAMs1;
    TEncodageDecodage EncodageDecodage1;
    TMonMimeDecode MonMimeDecodeReception; // the proxy's messages
    TMonMimeDecode MonMimeDecodeAffichage; // the review page
    TMonDossierBis MonDossierBisSynchro;   // proxy side: archiving, re-emission
    TMonDossierBis MonDossierBis1;         // review side
    TMessagesFictifs MessagesFictifs;
    TVerificationVersion VerificationVersion;

    // Created at the "Filtrage bayesien..." step, released at shutdown.
    TFiltreBayes* FiltreBayes() { return m_bayes.get(); }
    TServeurProxy& ServeurProxy() { return *m_serveur; }

    // Queues a re-emission of an archived message of the account (review page).
    // False when the account or the message is unknown, or it is queued already.
    bool Reemettre(qint32 compte, qint32 numeroMessage);
    // The account by its number (null: none).
    PUnCompteBis CompteNumero(qint32 numero) const;
    // Reads the archived text of a message through the proxy-side archive.
    bool LireArchive(qint32 compte, qint32 numeroMessage, QByteArray& texte, QString& erreur);

    // Extra work at each step, for components plugged in later (the full
    // rebuild, the window): called after the engine's own work.
    std::function<bool()> OnCalculEnCours;

    // The "RAZ bayes" button: the knowledge base rebuilt from every archive,
    // the listener closed meanwhile. Ignored before start-up and after shutdown.
    TReconstructionBayes::TResultat BtnBayesienTotalClick(bool avecQuestion);
    // Created with the knowledge base, released before it (null outside).
    TReconstructionBayes* ReconstructionBayes() { return m_reconstruction.get(); }
    // Number of client sessions not closed yet.
    int NbSessionsOuvertes() const;

    // The window's part in the rebuild. Without handlers (headless) the answer
    // is yes, the progress goes to the trace and nothing is shown.
    std::function<bool(const QString& chQuestion)> OnQuestion;
    std::function<void(bool bOccupe)> OnOccupe;
    std::function<void(const QString& chLigne1, const QString& chLigne2)> OnAvancement;
    std::function<void()> OnFinAvancement;
    std::function<void()> OnViderAffichage;
    // The review page reads an account again: the one the proxy side just
    // saved at a session's end, or -1 (after the rebuild) whatever it shows.
    std::function<void(qint32 compte)> OnRafraichirAffichage;

private:
    void brancher();
    void brancherServeur();
    void brancherReconstruction();
    void brancherVersion();
    void relireDNSMachine();
    // A session is done with its account: its records reach the disk before
    // the review page reads that account again, and it is let go unless
    // another session fetches the same account.
    void finSessionArchive(TMonWSocket& session, bool quit);
    // No session can add to the archive any more: every account saved and closed.
    void fermerArchive();

    TControleur& m_controleur;
    TConfig& m_reglages; // the process-wide settings, where the controller keeps them
    TPointsAcces m_points;
    std::unique_ptr<TFiltreBayes> m_bayes;
    std::unique_ptr<TReconstructionBayes> m_reconstruction; // refers to m_bayes
    std::unique_ptr<TVerdict> m_verdict;
    std::unique_ptr<TServeurProxy> m_serveur;
};
