#pragma once
// The full rebuild of the knowledge base from every account's archive, and the
// one-time conversion at start-up (import of the older "MemoMail" store, then
// the rebuild). Both run inline; the window, the listener and the settings are
// reached only through the hooks below.
//
// The rebuilt base is built apart from the live one: "bayes.qdl" and the base in
// memory stay as they were until the rebuilt base is saved in their place, and
// any failure on the way leaves them untouched.

#include <QByteArray>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class TFiltreBayes;
class TGestionComptesBis;
class TMonBayesDB;
class TMonDossierBis;
class TMonMimeDecode;
struct TUnCompteBis;

class TReconstructionBayes {
public:
    enum TResultat {
        rrFait,   // the rebuilt base replaced the previous one
        rrIgnore, // a rebuild was already running
        rrRefuse, // mail is being retrieved (princ99 shown)
        rrAnnule, // the user answered no
        rrErreur  // interrupted: the previous base is back, DerniereErreur() says why
    };

    // `dossierSynchro` is the proxy's archive component (an open account means
    // a retrieval is running); `dossierAffichage` is the review page's, which
    // the walk opens account by account.
    TReconstructionBayes(TFiltreBayes& filtre, TGestionComptesBis& comptes,
                         TMonDossierBis& dossierSynchro, TMonDossierBis& dossierAffichage,
                         TMonMimeDecode& decodeur);
    ~TReconstructionBayes();
    TReconstructionBayes(const TReconstructionBayes&) = delete;
    TReconstructionBayes& operator=(const TReconstructionBayes&) = delete;

    // The "RAZ bayes" button (`avecQuestion`: asks princ101 first) or the program
    // (no question).
    TResultat BtnBayesienTotalClick(bool avecQuestion);
    // Start-up, when the setting VersionInterne is below 2: imports the older
    // store when VersionInterne is below 1, rebuilds, then VersionInterne = 2
    // and the settings are written.
    TResultat ConvertirMemoMail();
    // The import alone; returns the number of messages archived.
    int ImporterMemoMail(const QString& repertoireMemoMail);

    QString DerniereErreur() const { return m_erreur; }

    // The learned messages are merged into the rebuilt base every this many.
    int TailleLot = 2000;
    // The second progress line shows the message position every this many.
    int PasAvancement = 200;
    // Where the older store "MemoMail" lies (the installation directory).
    QString RepertoireInstallation;

    // Number of client sessions open: the rebuild is refused while any is.
    std::function<int()> NbSessionsOuvertes;
    // A yes/no question; no handler means yes.
    std::function<bool(const QString& chQuestion)> OnQuestion;
    // The rebuild cannot run now: beep and show the text.
    std::function<void(const QString& chMessage)> OnRefus;
    // Busy (hourglass, options, review page filters and tabs disabled) or idle again.
    std::function<void(bool bOccupe)> OnOccupe;
    // The progress window "Conversion" shows two lines; the handler may let
    // pending events run (the user interface is held off by CalculEnCours).
    std::function<void(const QString& chLigne1, const QString& chLigne2)> OnAvancement;
    // The progress window closes.
    std::function<void()> OnFinAvancement;
    // The listening socket is closed during the rebuild so that no session starts;
    // true when it was listening. Only then is it opened again after (at start-up
    // the conversion runs before the listener was ever opened).
    std::function<bool()> FermerEcoute;
    std::function<void()> OuvrirEcoute;
    // The review grid is emptied at the start, the review page refreshed at the end.
    std::function<void()> ViderAffichage;
    std::function<void()> RafraichirAffichage;
    // The save timer is started at the end, as after a session.
    std::function<void()> DemarrerTimerSauve;
    // The settings file is written (after the start-up conversion).
    std::function<void()> EcrireReglages;

private:
    class TErreur;
    void reconstruire();
    void apprendreCompte(TUnCompteBis& compte, int position, int nombre, TMonBayesDB& lot,
                         TMonBayesDB& nouvelle, int& compteur);
    void fusionner(TMonBayesDB& lot, TMonBayesDB& nouvelle);
    void remplacerBase(TMonBayesDB& nouvelle);
    void avancement(const QString& ligne1, const QString& ligne2);

    TFiltreBayes& m_filtre;
    TGestionComptesBis& m_comptes;
    TMonDossierBis& m_synchro;
    TMonDossierBis& m_affichage;
    TMonMimeDecode& m_decodeur;
    QString m_erreur;
    QString m_ligne1;         // the progress window's first line, kept for the merge lines
    QSet<qint32> m_supprimes; // deleted on the review page, account m_compteSupprimes
    qint32 m_compteSupprimes = -1;
    QByteArray m_texte; // message read from the archive
    QByteArray m_texteBayes;
    QByteArray m_sujet; // subject of the message, decoded
};
