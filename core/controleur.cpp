#include "core/controleur.h"

#include "core/cp1252.h"
#include "core/dns_machine.h"
#include "core/settings.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QDir>

#include <exception>

TControleur::TControleur(const TRepertoires& repertoires, QObject* parent)
    : QObject(parent), m_reps(repertoires) {
    m_timerQuit.setSingleShot(true);
    m_timerQuit.setInterval(4000);
    m_timerSauve.setSingleShot(true);
    m_timerSauve.setInterval(5000);
    connect(&m_timerQuit, &QTimer::timeout, this,
            [this] { Etape(QStringLiteral("TimerQuit"), Branchements.TimerQuitEcoule); });
    connect(&m_timerSauve, &QTimer::timeout, this, [this] { Sauvegarde(); });
}

TControleur::~TControleur() {
    Arreter();
}

void TControleur::Etape(const QString& nom, const std::function<void()>& action) {
    if (!action) return;
    m_journal.append(nom);
    Garde(nom, action);
}

bool TControleur::OuvrirReglages() {
    const bool ouvert = m_ini.Ouvrir(m_reps.Ini());
    if (Branchements.ChoisirLangue) {
        Etape(QStringLiteral("ChoisirLangue"), [this] { Branchements.ChoisirLangue(m_ini); });
    }
    return ouvert;
}

bool TControleur::Demarrer() {
    const bool ouvert = OuvrirReglages();

    const auto etape = [this](const QString& texte) {
        if (OnEtape) OnEtape(texte);
    };
    etape(QStringLiteral("Création écran..."));
    TTrace::instance().effacer();
    TraceFormat(-1, Res("princ24", u"Démarrage. Version=%s"), VersionProgramme());

    etape(QStringLiteral("Préparation..."));
    Etape(QStringLiteral("ActiverChercheSPAMs"), Branchements.ActiverChercheSPAMs);
    Etape(QStringLiteral("ActiverComptes"), Branchements.ActiverComptes);

    etape(QStringLiteral("Filtrage bayesien..."));
    Etape(QStringLiteral("CreerBaseBayes"), Branchements.CreerBaseBayes);

    etape(QStringLiteral("Lecture config..."));
    LireReglages();
    ConfigurerRecherche();

    etape(QStringLiteral("Préparation..."));
    QDir().mkpath(m_reps.Tmp());
    if (Branchements.PreparerDecodeurs) {
        Etape(QStringLiteral("PreparerDecodeurs"),
              [this] { Branchements.PreparerDecodeurs(m_reps.Encodage(), m_reps.Tmp()); });
    }

    etape(QStringLiteral("Fin..."));
    QMetaObject::invokeMethod(this, &TControleur::DemarrageDiffere, Qt::QueuedConnection);
    return ouvert;
}

void TControleur::DemarrageDiffere() {
    if (m_demarre || m_arrete) return;
    m_demarre = true;
    const TConfig& c = Config();
    Etape(QStringLiteral("AjouterIcone"), Branchements.AjouterIcone);
    if (Branchements.ReglerModeBayes) {
        Etape(QStringLiteral("ReglerModeBayes"),
              [this, &c] { Branchements.ReglerModeBayes(c.ModeBayes); });
    }
    if (m_versionInterneLue < 2) {
        Etape(QStringLiteral("ConvertirMemoMail"), Branchements.ConvertirMemoMail);
    }
    OuvrirEcoute();
    Etape(QStringLiteral("ChercheNouvelleVersion"), Branchements.ChercheNouvelleVersion);
}

void TControleur::Sauvegarde() {
    Trace(Res("princ77", u"Timer : sauvegarde"));
    Etape(QStringLiteral("SauverComptes"), Branchements.SauverComptes);
    Etape(QStringLiteral("SauverBase"), Branchements.SauverBase);
    Etape(QStringLiteral("ReessaiNouvelleVersion"), Branchements.ReessaiNouvelleVersion);
    if (Branchements.LibererBaseSiCachee) {
        const bool cachee = FenetreCachee ? FenetreCachee() : true;
        Etape(QStringLiteral("LibererBaseSiCachee"),
              [this, cachee] { Branchements.LibererBaseSiCachee(cachee); });
    }
}

void TControleur::EcrireReglages() {
    const TConfig& c = Config();
    const int comptes =
        Branchements.NumeroCompteMini ? Branchements.NumeroCompteMini() : c.NumeroCompteMini;
    const int dns = Branchements.NumeroDNSMini ? Branchements.NumeroDNSMini() : c.NumeroDNSMini;
    SauverConfig(m_ini, c, comptes, dns);
}

void TControleur::Arreter() {
    if (m_arrete) return;
    m_arrete = true;
    m_destruction = true;
    m_timerQuit.stop();
    m_timerSauve.stop();
    Etape(QStringLiteral("RetirerIcone"), Branchements.RetirerIcone);
    Etape(QStringLiteral("DesactiverComptes"), Branchements.DesactiverComptes);
    Etape(QStringLiteral("DesactiverChercheSPAMs"), Branchements.DesactiverChercheSPAMs);
    Etape(QStringLiteral("SauverConfig"), [this] { EcrireReglages(); });
    Etape(QStringLiteral("LibererBase"), Branchements.LibererBase);
    Etape(QStringLiteral("LibererSessions"), Branchements.LibererSessions);
    Etape(QStringLiteral("LibererReemissions"), Branchements.LibererReemissions);
    m_ini.Fermer();
}

void TControleur::LireReglages() {
    TConfig& c = Config();
    Etape(QStringLiteral("LireConfig"), [this, &c] {
        LireConfig(m_ini, c);
        LireAutresCles(m_ini, c);
        m_versionInterneLue = c.VersionInterne;
    });
    if (Branchements.ConfigVersComposants) {
        Etape(QStringLiteral("ConfigVersComposants"),
              [this, &c] { Branchements.ConfigVersComposants(c); });
    }
}

void TControleur::ConfigurerRecherche() {
    TConfig& c = Config();
    // The machine's server replaces an automatic or empty one in memory.
    const QByteArray dns = AdresseDNSEffective(c, [] { return PremierServeurDNS(); });
    if (c.DNSAuto || c.AdresseDNS.isEmpty()) c.AdresseDNS = dns;
    if (!Branchements.ConfigRecherche) return;
    Etape(QStringLiteral("ConfigRecherche"),
          [this, &c, dns] { Branchements.ConfigRecherche(c, dns); });
}

void TControleur::OuvrirEcoute() {
    if (!Branchements.OuvrirEcoute) return;
    const TConfig& c = Config();
    Etape(QStringLiteral("OuvrirEcoute"), [this, &c] {
        QString erreur;
        if (Branchements.OuvrirEcoute(c.PortEcoute, erreur)) return;
        // The program keeps running without a listener; applying a new port retries.
        const QString texte =
            Format(Res("princ29", u"Impossible d'ouvrir le port %s\r\nKelvarin non actif."),
                   {cp1252::versUnicode(c.PortEcoute)});
        if (!erreur.isEmpty()) Trace(QStringLiteral("OuvrirEcoute : ") + erreur);
        if (OnAvertissement)
            OnAvertissement(texte);
        else
            Trace(texte);
    });
}

bool TControleur::Appliquer(const TSaisieOptions& saisie, const std::function<void()>& listes) {
    if (Branchements.CalculEnCours && Branchements.CalculEnCours()) return false;
    TConfig& c = Config();
    const TResultatAppliquer r = AppliquerSaisie(saisie, c, [] { return PremierServeurDNS(); });
    if (r.PortEcouteChange) {
        Etape(QStringLiteral("FermerEcoute"), Branchements.FermerEcoute);
        OuvrirEcoute();
    }
    Etape(QStringLiteral("AppliquerListes"), listes);
    ConfigurerRecherche();
    Etape(QStringLiteral("SauverConfig"), [this] { EcrireReglages(); });
    return true;
}

bool TControleur::Annuler() {
    if (Branchements.CalculEnCours && Branchements.CalculEnCours()) return false;
    Etape(QStringLiteral("RechargerListesIgnorees"), Branchements.RechargerListesIgnorees);
    LireReglages();
    ConfigurerRecherche();
    return true;
}
