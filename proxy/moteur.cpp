#include "proxy/moteur.h"

#include "core/config.h"
#include "core/controleur.h"
#include "core/cp1252.h"
#include "core/dns_machine.h"
#include "core/regles_fenetre.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "i18n/traduction.h"
#include "proxy/mon_wsocket.h"
#include "proxy/serveur_proxy.h"
#include "proxy/verdict.h"
#include "spamsearch/regexp_filtre.h"

#include <exception>
#include <vector>

TMoteur::TMoteur(TControleur& controleur, const TPointsAcces& points, QObject* parent)
    : QObject(parent), VerificationVersion(Config()), m_controleur(controleur),
      m_reglages(Config()), m_points(points),
      m_serveur(std::make_unique<TServeurProxy>(GestionComptesBis1, m_reglages)) {
    if (!m_points.ServeurDNSMachine)
        m_points.ServeurDNSMachine = [] { return PremierServeurDNS(); };
    ChercheSPAMs1.setPortDNS(m_points.PortDNS);
    m_serveur->DelaiInactiviteMs = m_points.DelaiInactiviteMs;
    m_serveur->DelaiFermetureMs = m_points.DelaiFermetureMs;
    m_serveur->PortTlsImplicite = m_points.PortTlsImplicite;
    brancher();
    brancherServeur();
    brancherVersion();
    // A warning goes to the views; with none (headless) to the trace.
    m_controleur.OnAvertissement = [this](const QString& texte) {
        if (Evenements.AvertissementEcoute())
            emit Evenements.Avertissement(texte);
        else
            Trace(texte);
    };
    // The listener hands the verdict to each session it creates.
    m_verdict = std::make_unique<TVerdict>(ChercheSPAMs1, MonMimeDecodeReception,
                                           MonDossierBisSynchro, m_reglages);
    TVerdict& v = *m_verdict;
    v.FiltreBayes = [this] { return m_bayes.get(); };
    v.OnBip = [this] {
        if (m_serveur->OnBip) m_serveur->OnBip();
    };
    v.OnRafraichirTestsIP = [this] { emit Evenements.TestsIPModifies(); };
    v.NumerosSessions = [this] { return m_serveur->NumerosSessions(); };
    v.Session = [this](int numero) -> TSessionJugee* { return m_serveur->Session(numero); };
    v.Brancher(ChercheSPAMs1);
    // The DNSBL and IP-test pages follow every answer, time-out and reduction.
    const auto reponse = ChercheSPAMs1.OnReponseDNS;
    ChercheSPAMs1.OnReponseDNS = [this, reponse](TChercheSPAMs& c, TUneRechercheDNS& x,
                                                 bool partiel) {
        if (reponse) reponse(c, x, partiel);
        emit Evenements.TestsIPModifies();
    };
    const auto timeOut = ChercheSPAMs1.OnTimeOut;
    ChercheSPAMs1.OnTimeOut = [this, timeOut](TChercheSPAMs& c, TUneRechercheDNS& x) {
        if (timeOut) timeOut(c, x);
        emit Evenements.TestsIPModifies();
    };
    ChercheSPAMs1.OnReduireListeSpams = [this](TChercheSPAMs&) {
        emit Evenements.TestsIPReduits();
    };
    ChercheSPAMs1.OnRecherchesTerminees = [this](TChercheSPAMs&) {
        emit Evenements.TestsIPReduits();
    };
    m_serveur->Verdict = m_verdict.get();
}

TMoteur::~TMoteur() {
    // An engine dropped before the controller's shutdown still saves in order;
    // after it, this does nothing.
    m_controleur.Arreter();
    VerificationVersion.Arreter();
    // The hooks point into this engine.
    m_controleur.Branchements = TBranchements();
    // Sessions first: they hand their accounts back, and use the verdict.
    m_serveur.reset();
    m_verdict.reset();
    MonDossierBisSynchro.Fermer();
    MonDossierBis1.Fermer();
    m_reconstruction.reset();
    m_bayes.reset();
}

void TMoteur::brancher() {
    const TRepertoires& reps = m_controleur.Reps();
    GestionComptesBis1.OnInitRepertoire = [reps](TGestionComptesBis&, QString& travail,
                                                 QString& installation) {
        reps.InitRepertoire(travail, installation);
    };
    ChercheSPAMs1.OnInitRepertoire = [reps](TChercheSPAMs&, QString& travail,
                                            QString& installation) {
        reps.InitRepertoire(travail, installation);
    };
    // The expression lists are consulted only with this handler; an invalid
    // expression simply does not match.
    ChercheSPAMs1.OnTestRegExp = [](TChercheSPAMs&, const QByteArray& valeur,
                                    const QByteArray& expression, bool& verifier) {
        verifier = CorrespondRegExp(valeur, expression);
    };
    ChercheSPAMs1.OnServeurRetire = [this](TChercheSPAMs&, qint32) {
        // Queued: the table is being changed under this call.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_verdict) m_verdict->RevoirSessionsEnAttente();
            },
            Qt::QueuedConnection);
    };
    MonMimeDecodeReception.setEncodageDecodage(&EncodageDecodage1);
    MonMimeDecodeAffichage.setEncodageDecodage(&EncodageDecodage1);

    TBranchements& b = m_controleur.Branchements;
    b.ActiverChercheSPAMs = [this] {
        ChercheSPAMs1.setActive(false);
        ChercheSPAMs1.setActive(true);
    };
    b.ActiverComptes = [this] {
        // Deactivating saves: a manager that never loaded would write an empty
        // accounts file over the real one.
        if (GestionComptesBis1.Active()) GestionComptesBis1.setActive(false);
        GestionComptesBis1.setActive(true);
        MonDossierBisSynchro.setRepertoireDossiers(GestionComptesBis1.RepertoireDossiers());
        // Sessions of several accounts at once take turns with the archive.
        MonDossierBisSynchro.GarderComptes = true;
        MonDossierBis1.setRepertoireDossiers(GestionComptesBis1.RepertoireDossiers());
    };
    b.CreerBaseBayes = [this] {
        m_reconstruction.reset();
        m_bayes = std::make_unique<TFiltreBayes>(GestionComptesBis1.RepertoireDonnees());
        m_bayes->OnEtatBase = [this](TFiltreBayes::TEtatBase e) { emit Evenements.EtatBase(e); };
        m_reconstruction = std::make_unique<TReconstructionBayes>(
            *m_bayes, GestionComptesBis1, MonDossierBisSynchro, MonDossierBis1,
            MonMimeDecodeAffichage);
        brancherReconstruction();
    };
    b.ConfigVersComposants = [this](const TConfig& c) {
        ChercheSPAMs1.setFreeSocket(c.FreeSocket);
        GestionComptesBis1.setNumeroCompteMini(c.NumeroCompteMini);
        ChercheSPAMs1.setNumeroDNSMini(c.NumeroDNSMini);
    };
    b.ConfigRecherche = [this](const TConfig& c, const QByteArray& adresseDNS) {
        ChercheSPAMs1.setDNSPrincipal(adresseDNS);
        ChercheSPAMs1.setNbMaxSocketDNS(c.NbSocket);
        ChercheSPAMs1.setNbHeureMemoIP(c.DureeStockage);
        ChercheSPAMs1.setTimeOutRecherche(quint32(std::max(0, c.TimeOutRecherche)));
        ChercheSPAMs1.setNbTentativeRecherche(c.NbTentativeRecherche);
    };
    b.ChoisirLangue = [this](TStockageConfig& ini) {
        TTraduction& t = Traduction();
        t.DefinirRepertoires(m_controleur.Reps().Language(), m_controleur.Reps().Encodage());
        t.ChoixAuDemarrage(ini.LireBool("Init", "LanguageDefaut", true),
                           cp1252::versUnicode(ini.LireChaine("Init", "LanguageForce", "")));
    };
    b.PreparerDecodeurs = [this](const QString& encodage, const QString& tmp) {
        EncodageDecodage1.ChargerCharsets(encodage);
        MonMimeDecodeReception.setRepDestination(tmp);
        MonMimeDecodeAffichage.setRepDestination(tmp);
    };
    b.ReglerModeBayes = [this](int mode) {
        if (!m_bayes) return;
        m_bayes->ReglerCalculBayes(m_reglages.CalculBayes);
        m_bayes->ReglerModeBayes(mode);
    };
    b.ConvertirMemoMail = [this] {
        if (m_reconstruction) m_reconstruction->ConvertirMemoMail();
    };
    b.OuvrirEcoute = [this](const QByteArray& port, QString& erreur) {
        return m_serveur->Ouvrir(port, &erreur);
    };
    b.FermerEcoute = [this] { m_serveur->Fermer(); };
    b.CalculEnCours = [this] {
        if (m_bayes && m_bayes->CalculEnCours) return true;
        return OnCalculEnCours && OnCalculEnCours();
    };
    b.RechargerListesIgnorees = [this] {
        if (m_bayes) m_bayes->Base().ChargerListesIgnorees();
    };
    b.TimerQuitEcoule = [this] { m_serveur->TimerQuitEcoule(); };
    b.SauverComptes = [this] {
        if (GestionComptesBis1.Active()) GestionComptesBis1.Sauver();
    };
    b.SauverBase = [this] {
        if (m_bayes) m_bayes->SauverBase();
    };
    b.LibererBaseSiCachee = [this](bool cachee) {
        if (cachee && m_bayes) m_bayes->DechargerBase();
    };

    b.DesactiverComptes = [this] {
        if (GestionComptesBis1.Active()) GestionComptesBis1.setActive(false);
    };
    b.DesactiverChercheSPAMs = [this] { ChercheSPAMs1.setActive(false); };
    b.NumeroCompteMini = [this] { return int(GestionComptesBis1.NumeroCompteMini()); };
    b.NumeroDNSMini = [this] { return int(ChercheSPAMs1.NumeroDNSMini()); };
    b.LibererBase = [this] {
        m_reconstruction.reset();
        m_bayes.reset();
    };
    b.LibererSessions = [this] {
        m_serveur->Fermer();
        m_serveur->FermerSessions();
        // The archives are saved once no session can add to them.
        MonDossierBisSynchro.Fermer();
        MonDossierBis1.Fermer();
    };
    b.LibererReemissions = [this] { MessagesFictifs.Vider(); };
}

void TMoteur::brancherServeur() {
    TServeurProxy& s = *m_serveur;
    s.OnDemarrerTimerQuit = [this] { m_controleur.DemarrerTimerQuit(); };
    s.OnArreterTimerQuit = [this] { m_controleur.ArreterTimerQuit(); };
    s.OnSessionTerminee = [this] { m_controleur.SessionTerminee(); };
    s.OnArchiveSession = [this](TMonWSocket& session, bool quit) {
        finSessionArchive(session, quit);
    };
    s.OnCommandeClient = [this] {
        m_controleur.CommandeClient();
        emit Evenements.CommandeClient();
    };
    s.OnConnexionAcceptee = [this] {
        relireDNSMachine();
        emit Evenements.SessionOuverte();
    };
    s.OnComptesModifies = [this] { emit Evenements.SessionChangee(); };
    s.OnSessionLiberee = [this](int numero) { emit Evenements.SessionFermee(numero); };
    s.OnMessageJuge = [this](int session, bool spam) {
        emit Evenements.MessageJuge(session, spam);
    };
    s.OnBip = [this] { emit Evenements.Bip(); };
    s.OnFermerArchive = [this] { fermerArchive(); };
    s.MessagesFictifs = &MessagesFictifs;
    s.OnLireFictif = [this](qint32 compte, qint32 id, QByteArray& texte, QString& erreur) {
        return LireArchive(compte, id, texte, erreur);
    };
}

void TMoteur::brancherReconstruction() {
    TReconstructionBayes* r = m_reconstruction.get();
    if (!r) return;
    r->RepertoireInstallation = m_controleur.Reps().Installation;
    r->NbSessionsOuvertes = [this] { return NbSessionsOuvertes(); };
    r->OnQuestion = [this](const QString& question) { return !OnQuestion || OnQuestion(question); };
    r->OnRefus = [this](const QString& texte) {
        // The rebuild has traced the text already.
        if (m_serveur->OnBip) m_serveur->OnBip();
        if (m_controleur.OnAvertissement) m_controleur.OnAvertissement(texte);
    };
    r->OnOccupe = [this](bool occupe) {
        if (OnOccupe) OnOccupe(occupe);
        emit Evenements.Occupe(occupe);
    };
    r->OnAvancement = [this](const QString& ligne1, const QString& ligne2) {
        Trace(ligne2.isEmpty() ? ligne1 : ligne1 + QStringLiteral(" : ") + ligne2);
        if (OnAvancement) OnAvancement(ligne1, ligne2);
        emit Evenements.AvancementReconstruction(ligne1, ligne2);
    };
    r->OnFinAvancement = [this] {
        if (OnFinAvancement) OnFinAvancement();
        emit Evenements.FinReconstruction();
    };
    r->FermerEcoute = [this] {
        const bool ecoute = m_serveur->Ecoute();
        m_serveur->Fermer();
        return ecoute;
    };
    r->OuvrirEcoute = [this] { m_controleur.OuvrirEcoute(); };
    r->ViderAffichage = [this] {
        if (OnViderAffichage) OnViderAffichage();
    };
    r->RafraichirAffichage = [this] {
        if (OnRafraichirAffichage) OnRafraichirAffichage(-1);
    };
    r->DemarrerTimerSauve = [this] { m_controleur.SessionTerminee(); };
    r->EcrireReglages = [this] { m_controleur.EcrireReglages(); };
}

void TMoteur::brancherVersion() {
    TVerificationVersion& v = VerificationVersion;
    v.AdresseBase = [this] {
        // Set by hand for a private mirror or a test server; never written.
        const QByteArray ini = m_controleur.Ini().LireChaine("Init", "AdresseVersion", "");
        if (!ini.trimmed().isEmpty()) return cp1252::versUnicode(ini.trimmed());
        return m_points.AdresseVersion;
    };
    v.Destruction = [this] { return m_controleur.Destruction(); };
    v.OnBip = [this] { emit Evenements.Bip(); };
    v.OnNouvelleVersion = [this](const QByteArray& version) {
        const QString texte = cp1252::versUnicode(version);
        if (Evenements.NouvelleVersionEcoute()) {
            emit Evenements.NouvelleVersion(texte);
            return;
        }
        // Headless: the news and where to fetch it, in the trace.
        Trace(Format(Res("version01", u"Une nouvelle version de Kelvarin est disponible (%s) : %s"),
                     {texte, LienSite(QStringLiteral("version"))}));
    };
    TBranchements& b = m_controleur.Branchements;
    b.ChercheNouvelleVersion = [this] { VerificationVersion.ChercheNouvelleVersion(); };
    b.ReessaiNouvelleVersion = [this] { VerificationVersion.ReessaiNouvelleVersion(); };
}

void TMoteur::fermerArchive() {
    TMonDossierBis& archive = MonDossierBisSynchro;
    if (!archive.Occupe()) return;
    QList<qint32> tenus;
    for (int i = 0; i < GestionComptesBis1.Count(); ++i)
        if (const PUnCompteBis c = GestionComptesBis1.Compte(i); c && archive.Contient(c->Numero))
            tenus << c->Numero;
    // Closed only once saved: a rebuild may then run, and records that
    // could not be written stay in memory for the next try.
    if (archive.Fermer()) archive.Ouvrir(nullptr);
    if (OnRafraichirAffichage)
        for (const qint32 c : tenus)
            OnRafraichirAffichage(c);
}

void TMoteur::finSessionArchive(TMonWSocket& session, bool quit) {
    // QUIT from the last session closes the archive, as the end of all sessions does.
    if (quit && !m_serveur->AutreSessionOuverte(session)) {
        fermerArchive();
        return;
    }
    const qint32 compte = session.CompteSession ? session.CompteSession->Numero : -1;
    TMonDossierBis& archive = MonDossierBisSynchro;
    if (!archive.Contient(compte)) return;
    if (m_serveur->AutreSessionOuverte(session, compte)) {
        archive.SauverCompte(compte);
    } else {
        archive.FermerCompte(compte);
    }
    if (OnRafraichirAffichage) OnRafraichirAffichage(compte);
}

void TMoteur::relireDNSMachine() {
    TConfig& c = m_reglages;
    if (!c.DNSAuto && !c.AdresseDNS.isEmpty()) return;
    // The machine may have changed networks since the last mail check.
    const QByteArray dns = m_points.ServeurDNSMachine();
    if (dns == c.AdresseDNS) return;
    c.AdresseDNS = dns;
    ChercheSPAMs1.setDNSPrincipal(dns);
}

TReconstructionBayes::TResultat TMoteur::BtnBayesienTotalClick(bool avecQuestion) {
    if (!m_reconstruction || m_controleur.Destruction()) return TReconstructionBayes::rrIgnore;
    return m_reconstruction->BtnBayesienTotalClick(avecQuestion);
}

int TMoteur::NbSessionsOuvertes() const {
    int n = 0;
    for (int i = 0; i < m_serveur->NbSessions(); ++i)
        if (const TMonWSocket* s = m_serveur->SessionIndex(i); s && s->Ouverte()) ++n;
    return n;
}

PUnCompteBis TMoteur::CompteNumero(qint32 numero) const {
    for (int i = 0; i < GestionComptesBis1.Count(); ++i) {
        PUnCompteBis c = GestionComptesBis1.Compte(i);
        if (c && c->Numero == numero) return c;
    }
    return nullptr;
}

bool TMoteur::LireArchive(qint32 compte, qint32 numeroMessage, QByteArray& texte, QString& erreur) {
    texte.clear();
    PUnCompteBis c = CompteNumero(compte);
    if (!c) {
        erreur = QStringLiteral("compte %1 inconnu").arg(compte);
        return false;
    }
    MonDossierBisSynchro.Ouvrir(c);
    if (MonDossierBisSynchro.Compte() != compte) {
        erreur = QStringLiteral("archive du compte %1 fermée").arg(compte);
        return false;
    }
    const PUnMessageMem m = MonDossierBisSynchro.ChercherNumero(numeroMessage);
    if (!m || m->Supprime) {
        erreur = QStringLiteral("message %1 absent de l'archive").arg(numeroMessage);
        return false;
    }
    if (!MonDossierBisSynchro.LireTexte(*m, texte, false, &erreur) || texte.isEmpty()) {
        texte.clear();
        if (erreur.isEmpty())
            erreur = QStringLiteral("texte du message %1 illisible").arg(numeroMessage);
        return false;
    }
    return true;
}

bool TMoteur::Reemettre(qint32 compte, qint32 numeroMessage) {
    PUnCompteBis c = CompteNumero(compte);
    if (!c) return false;
    // The review side's view of the archive, where the user chose the message.
    if (MonDossierBis1.Compte() != compte) MonDossierBis1.Ouvrir(c);
    if (MonDossierBis1.Compte() != compte) return false;
    const PUnMessageMem m = MonDossierBis1.ChercherNumero(numeroMessage);
    if (!m) return false;
    return MessagesFictifs.Ajouter(compte, numeroMessage, m->Taille);
}
