#pragma once
// The controller: owns the long-lived objects and the timers, runs start-up,
// the deferred start and shutdown in their order, and wires the components'
// events to each other. It never draws anything.
//
// The components (listener and sessions, spam search, accounts, knowledge base,
// archive) plug in through the hooks of TBranchements: each hook is one named
// step at its place in the sequence, and an empty hook is skipped. A failing
// step is traced and the sequence goes on.

#include "core/config.h"
#include "core/repertoires.h"
#include "core/settings.h"
#include "core/stockage_config.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

struct TBranchements {
    // Once the settings file is open (OuvrirReglages): the interface language
    // from LanguageDefaut and LanguageForce, before any text is shown.
    std::function<void(TStockageConfig& ini)> ChoisirLangue;
    // Creation, "Préparation...": the spam search component is (re)activated,
    // which loads the lists, the DNSBL servers and the IP test cache; then the
    // accounts manager, which loads the accounts.
    std::function<void()> ActiverChercheSPAMs;
    std::function<void()> ActiverComptes;
    // Creation, "Filtrage bayesien...": the knowledge base on Donnees/bayes.qdl
    // with its ignore lists, and the two token documents.
    std::function<void()> CreerBaseBayes;
    // Creation, "Lecture config...", after the settings are read (and again on
    // Cancel): FreeSocket to the DNS engine, NumeroCompteMini to the accounts
    // manager, NumeroDNSMini to the DNSBL table.
    std::function<void(const TConfig&)> ConfigVersComposants;
    // Then, and after each Apply: the DNS engine's settings (ConfigRecherche):
    // the DNS server to use (the machine's when automatic or unset), NbSocket,
    // DureeStockage, TimeOutRecherche, NbTentativeRecherche.
    std::function<void(const TConfig&, const QByteArray& adresseDNS)> ConfigRecherche;
    // Creation, last "Préparation...": charset directory and temporary directory
    // (created by the controller) for the two MIME decoders.
    std::function<void(const QString& encodage, const QString& tmp)> PreparerDecodeurs;

    // Deferred start, in order.
    std::function<void()> AjouterIcone;
    std::function<void(int modeBayes)> ReglerModeBayes;
    std::function<void()> ConvertirMemoMail; // when VersionInterne is below 2
    // Opens the listener on PortEcoute; false with the error text when it cannot.
    std::function<bool(const QByteArray& port, QString& erreur)> OuvrirEcoute;
    std::function<void()> ChercheNouvelleVersion;

    // Apply and Cancel: nothing happens while a full Bayesian rebuild runs.
    std::function<bool()> CalculEnCours;
    // Apply, when PortEcoute changed: close the listener and open it on the new
    // port (OuvrirEcoute is called next).
    std::function<void()> FermerEcoute;
    // Cancel: the two ignore lists of the Bayesian filter are read again.
    std::function<void()> RechargerListesIgnorees;

    // TimerQuit elapsed: close the sessions that sent QUIT.
    std::function<void()> TimerQuitEcoule;
    // TimerSauve, after its trace line, in order.
    std::function<void()> SauverComptes;
    std::function<void()> SauverBase;
    std::function<void()> ReessaiNouvelleVersion;
    // The knowledge base is dropped from memory while the window is hidden
    // (always, headless) once it is saved.
    std::function<void(bool fenetreCachee)> LibererBaseSiCachee;

    // Shutdown, in order (see Arreter()).
    std::function<void()> RetirerIcone;
    std::function<void()> DesactiverComptes;      // saves the accounts file
    std::function<void()> DesactiverChercheSPAMs; // saves its files
    std::function<int()> NumeroCompteMini;        // for SauverConfig
    std::function<int()> NumeroDNSMini;
    std::function<void()> LibererBase;     // saves the knowledge base when modified
    std::function<void()> LibererSessions; // listener closed, sessions released
    std::function<void()> LibererReemissions;
};

class TControleur : public QObject {
public:
    explicit TControleur(const TRepertoires& repertoires, QObject* parent = nullptr);
    ~TControleur() override;

    TBranchements Branchements;

    // A warning to show (a message box with a window; traced when headless).
    std::function<void(const QString&)> OnAvertissement;
    // The splash text of each creation step.
    std::function<void(const QString&)> OnEtape;
    // Whether the main window is hidden (headless: always).
    std::function<bool()> FenetreCachee;

    // Opens the settings file and chooses the interface language (the splash
    // does it before the main window is built); Demarrer does it too.
    bool OuvrirReglages();
    // Opens the settings file, reads the settings, runs the creation steps and
    // posts the deferred start. False when the settings store could not be
    // opened (the program then runs on the defaults and writes nothing).
    bool Demarrer();
    // Shutdown with its saves in order; runs once.
    void Arreter();

    // The Apply button: the typed values checked into the settings, the
    // listener reopened when PortEcoute changed (princ29 on failure), the DNS
    // engine configured, the settings written. False when ignored (busy).
    // `listes` hands the list editors' texts to their components, after the
    // typed values and before the DNS engine is configured.
    bool Appliquer(const TSaisieOptions& saisie, const std::function<void()>& listes = nullptr);
    // The Cancel button: the settings read again from the file.
    bool Annuler();

    bool DemarrageDiffereFait() const { return m_demarre; }
    bool Destruction() const { return m_destruction; }
    QTimer& TimerQuit() { return m_timerQuit; }
    QTimer& TimerSauve() { return m_timerSauve; }
    TStockageConfig& Ini() { return m_ini; }
    const TRepertoires& Reps() const { return m_reps; }
    int VersionInterneLue() const { return m_versionInterneLue; }

    // Wiring for the listener's events.
    void DemarrerTimerQuit() { m_timerQuit.start(); }
    void ArreterTimerQuit() { m_timerQuit.stop(); }
    void SessionTerminee() { m_timerSauve.start(); } // also after a rebuild, "Réduire"
    void CommandeClient() { m_timerSauve.stop(); }

    // The TimerSauve work (also callable directly).
    void Sauvegarde();
    // Writes the settings file (after Apply, at shutdown, after the start-up
    // conversion).
    void EcrireReglages();
    // Opens the listener on PortEcoute; on failure princ29 is shown (or traced)
    // and the program goes on without it.
    void OuvrirEcoute();

    // The steps in the order they ran, for tests and the debug log.
    const QStringList& Journal() const { return m_journal; }

private:
    void DemarrageDiffere();
    void LireReglages();
    void ConfigurerRecherche();
    void Etape(const QString& nom, const std::function<void()>& action);

    TRepertoires m_reps;
    TStockageConfig& m_ini =
        StockageConfig(); // the process store: windows and dialogs write through it too
    QTimer m_timerQuit;
    QTimer m_timerSauve;
    bool m_demarre = false;
    bool m_arrete = false;
    bool m_destruction = false;
    int m_versionInterneLue = 2;
    QStringList m_journal;
};
