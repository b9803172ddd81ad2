#include "bayes/filtre_bayes.h"

#include "bayes/texte_bayes.h"
#include "core/config.h"
#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QDir>

#include <exception>

TFiltreBayes::TFiltreBayes(const QString& repDonnees)
    : DocReception(nullptr), DocAffichage(nullptr),
      m_base(std::make_unique<TMonBayesDB>(QDir(repDonnees).filePath(QStringLiteral("bayes.qdl")),
                                           repDonnees)) {
    DocReception.Base = m_base.get();
    DocAffichage.Base = m_base.get();
}

TFiltreBayes::~TFiltreBayes() = default;

void TFiltreBayes::ChargerBase() {
    // A base whose file could not be read is tried again at each need.
    if ((m_base->NbMots() > 0 && !m_base->FichierIllisible()) || CalculEnCours) return;
    Trace(Res("princ123", u"Chargement base de connaissance"));
    if (OnEtatBase) OnEtatBase(ebChargement);
    m_base->Charger();
    if (OnEtatBase) OnEtatBase(ebRepos);
}

bool TFiltreBayes::SauverBase() {
    if (!m_base->Modifie || CalculEnCours) return true;
    Trace(Res("princ121", u"Sauvegarde base de connaissance"));
    if (OnEtatBase) OnEtatBase(ebSauvegarde);
    QString erreur;
    const bool ok = m_base->Sauver(&erreur);
    if (OnEtatBase) OnEtatBase(ebRepos);
    if (!ok) TraceException(u"SauverBase", erreur);
    return ok;
}

bool TFiltreBayes::DechargerBase() {
    if (!SauverBase()) return false;
    // A base still marked modified has not reached the disk: keep it in memory.
    if (CalculEnCours || m_base->Modifie || m_base->NbMots() == 0) return false;
    Trace(Res("princ122", u"Suppression base de connaissance en mémoire"));
    m_base->Vider();
    return true;
}

void TFiltreBayes::ReglerModeBayes(int mode) {
    DocReception.NbMeilleurs = 15;
    DocAffichage.NbMeilleurs = 15;
    if (mode >= 0 && mode <= 11) MeilleursMots = mode > 5;
    ModeBayes = mode;
    Config().ModeBayes = mode;
    if (OnModeBayes) OnModeBayes(mode >= 0 && mode <= 11 ? mode : -1);
}

void TFiltreBayes::ReglerCalculBayes(int calcul) {
    CalculBayes = bayes::calculBayesValide(calcul);
    DocReception.Calcul = DocAffichage.Calcul = static_cast<bayes::TCalculBayes>(CalculBayes);
    Config().CalculBayes = CalculBayes;
}

void TFiltreBayes::AppliquerTexte(TBayesDoc& doc, QByteArrayView texte, int32_t finEntetes,
                                  int32_t finTexte, QByteArrayView sujet, bool apprendre,
                                  bool estSpam) {
    ChargerBase();
    try {
        doc.Analyser(texte, finEntetes, PrefixeSujet(sujet), finTexte);
        if (apprendre) m_base->Apprendre(doc, estSpam);
    } catch (const std::exception& e) {
        TraceFormat(-1, Res("princ30", u"Exception : AppliquerBayes : %s"),
                    QString::fromUtf8(e.what()));
    }
}

void TFiltreBayes::EvaluerDoc(TBayesDoc& doc, bool garder) {
    if (MeilleursMots)
        doc.EvaluerMeilleurs(*m_base, ModeBayes, garder);
    else
        doc.Evaluer(*m_base, ModeBayes);
}
