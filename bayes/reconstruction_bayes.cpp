#include "bayes/reconstruction_bayes.h"

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "bayes/filtre_bayes.h"
#include "bayes/texte_bayes.h"
#include "core/config.h"
#include "core/cp1252.h"
#include "core/date_time.h"
#include "core/safe_save.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "mime/champ_entete.h"
#include "mime/mon_mime_decode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <limits>

// An error that interrupts the rebuild; its text goes to the trace.
class TReconstructionBayes::TErreur : public std::exception {
public:
    explicit TErreur(QString texte) : m_texte(std::move(texte)) {}
    const char* what() const noexcept override { return "TReconstructionBayes"; }
    const QString& texte() const { return m_texte; }

private:
    QString m_texte;
};

namespace {

const QString kPlace = QStringLiteral("BtnBayesienTotalClick");

QString nombre(qint64 n) {
    return QString::number(n);
}

// "yyyymmddhhnnss" to a date-time; 0 when the characters do not form one.
TDateTime dateNom(const QString& texte) {
    if (texte.size() != 14) return 0;
    for (QChar c : texte)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return 0;
    const auto champ = [&texte](int debut, int longueur) {
        return texte.mid(debut, longueur).toInt();
    };
    const QDate date(champ(0, 4), champ(4, 2), champ(6, 2));
    const QTime heure(champ(8, 2), champ(10, 2), champ(12, 2));
    if (!date.isValid() || !heure.isValid()) return 0;
    return datetime::encoder(date.year(), date.month(), date.day(), heure.hour(), heure.minute(),
                             heure.second());
}

// The header facts an imported message's record keeps.
struct TEnteteImporte {
    qint64 taille = 2;
    QByteArray sujet;
    QByteArray emetteur;
};

TEnteteImporte lireEntete(const QByteArray& texte) {
    TEnteteImporte r;
    qsizetype debut = 0;
    while (debut < texte.size()) {
        qsizetype fin = texte.indexOf('\n', debut);
        const qsizetype suivant = fin < 0 ? texte.size() : fin + 1;
        if (fin < 0) fin = texte.size();
        QByteArrayView ligne(texte.constData() + debut, fin - debut);
        if (ligne.endsWith('\r')) ligne.chop(1);
        debut = suivant;
        if (ligne.isEmpty()) break;
        r.taille += ligne.size() + 2;
        const std::optional<TChampEntete> champ = SeparerChampEntete(ligne);
        if (!champ) continue;
        if (champ->Nom == "subject")
            r.sujet = champ->Valeur.trimmed().toByteArray();
        else if (champ->Nom == "from")
            r.emetteur = champ->Valeur.trimmed().toByteArray();
    }
    return r;
}

} // namespace

TReconstructionBayes::TReconstructionBayes(TFiltreBayes& filtre, TGestionComptesBis& comptes,
                                           TMonDossierBis& dossierSynchro,
                                           TMonDossierBis& dossierAffichage,
                                           TMonMimeDecode& decodeur)
    : m_filtre(filtre), m_comptes(comptes), m_synchro(dossierSynchro),
      m_affichage(dossierAffichage), m_decodeur(decodeur) {}

TReconstructionBayes::~TReconstructionBayes() = default;

void TReconstructionBayes::avancement(const QString& ligne1, const QString& ligne2) {
    m_ligne1 = ligne1;
    if (OnAvancement) OnAvancement(ligne1, ligne2);
}

TReconstructionBayes::TResultat TReconstructionBayes::BtnBayesienTotalClick(bool avecQuestion) {
    if (m_filtre.CalculEnCours) return rrIgnore;
    // Neither while the proxy writes an archive nor while any client is
    // connected: a session would learn into the base being replaced.
    const int sessions = NbSessionsOuvertes ? NbSessionsOuvertes() : 0;
    if (m_synchro.Occupe() || sessions > 0) {
        const QString texte =
            Res("princ99", u"Impossible de calculer les filtres pendant une synchronisation");
        Trace(texte);
        if (OnRefus) OnRefus(texte);
        return rrRefuse;
    }
    if (avecQuestion && OnQuestion &&
        !OnQuestion(Res("princ101", u"Réinitialiser les filtres bayesiens ?\r\nATTENTION : "
                                    u"l'opération peut être longue, et ne doit pas être annulée")))
        return rrAnnule;

    m_erreur.clear();
    m_filtre.CalculEnCours = true;
    TResultat resultat = rrFait;
    bool ecoute = false;
    try {
        if (OnOccupe) OnOccupe(true);
        if (FermerEcoute) ecoute = FermerEcoute();
        if (ViderAffichage) ViderAffichage();
        reconstruire();
    } catch (const TErreur& e) {
        m_erreur = e.texte();
        resultat = rrErreur;
    } catch (const std::exception& e) {
        m_erreur = TexteErreur(e);
        resultat = rrErreur;
    }
    if (resultat == rrErreur) TraceException(kPlace, m_erreur);

    // Whatever happened, the program comes back to its normal state.
    const auto etape = [](const std::function<void()>& action) {
        if (!action) return;
        try {
            action();
        } catch (const std::exception& e) {
            TraceException(kPlace, TexteErreur(e));
        }
    };
    etape(RafraichirAffichage);
    etape(DemarrerTimerSauve);
    etape(OnFinAvancement);
    if (ecoute) etape(OuvrirEcoute);
    m_filtre.CalculEnCours = false;
    if (OnOccupe) etape([this] { OnOccupe(false); });
    return resultat;
}

void TReconstructionBayes::reconstruire() {
    if (!m_decodeur.EncodageDecodage())
        throw TErreur(QStringLiteral("TMonMimeDecode : EncodageDecodage non défini"));
    TMonBayesDB& base = m_filtre.Base();
    // Working bases: they start empty and never write the file themselves.
    TMonBayesDB nouvelle(base.FileSpec, base.Repertoire, false);
    nouvelle.Temporaire = true;
    TMonBayesDB lot(base.FileSpec, base.Repertoire, false);
    lot.Temporaire = true;

    // Messages deleted on the review page are skipped even if the walk, opening
    // another account first, has to read that account's index again.
    m_supprimes.clear();
    m_compteSupprimes = m_affichage.Compte();
    for (int i = 0; i < m_affichage.NbMessage(); ++i) {
        if (const TUnMessageMem* m = m_affichage.Message(i); m && m->Supprime)
            m_supprimes.insert(m->Numero);
    }

    // The messages are counted across accounts: a batch spans them.
    int compteur = 0;
    const int nb = m_comptes.Count();
    for (int i = 0; i < nb; ++i) {
        if (TUnCompteBis* compte = m_comptes.Compte(i))
            apprendreCompte(*compte, i + 1, nb, lot, nouvelle, compteur);
    }
    avancement(m_ligne1, QStringLiteral("fusion des listes..."));
    fusionner(lot, nouvelle);
    remplacerBase(nouvelle);
}

void TReconstructionBayes::apprendreCompte(TUnCompteBis& compte, int position, int nombreComptes,
                                           TMonBayesDB& lot, TMonBayesDB& nouvelle, int& compteur) {
    const QString ligne1 = Format(Res("princ111", u"Calcul bayesiens %d/%d"),
                                  {nombre(position), nombre(nombreComptes)});
    avancement(ligne1, QString());
    QString erreur;
    if (!m_affichage.Ouvrir(&compte)) TraceException(kPlace, u"archive précédente non sauvegardée");
    // The previous account stays open while its records are not saved: its
    // messages must not be learned a second time under this account.
    if (m_affichage.Compte() != compte.Numero)
        throw TErreur(QStringLiteral("archive du compte %1 non sauvegardée, compte %2 non ouvert")
                          .arg(m_affichage.Compte())
                          .arg(compte.Numero));
    // An index that cannot be read would silently leave the account's mail out.
    if (m_affichage.IndexProtege())
        throw TErreur(QStringLiteral("index illisible : ") + m_affichage.CheminFixe());

    const QString formatMessage = Res("princ124", u"message %d/%d");
    TBayesDoc& doc = m_filtre.DocAffichage;
    const int nb = m_affichage.NbMessage();
    const int pas = std::max(1, PasAvancement);
    const int taille = std::max(1, TailleLot);
    for (int i = 0; i < nb; ++i) {
        if (i % pas == 0) avancement(ligne1, Format(formatMessage, {nombre(i + 1), nombre(nb)}));
        const TUnMessageMem* m = m_affichage.Message(i);
        // Deleted on the review page: it leaves the archive at the next save.
        if (!m || m->Supprime ||
            (compte.Numero == m_compteSupprimes && m_supprimes.contains(m->Numero)))
            continue;
        const auto lu = m_affichage.Fichiers().Lire(m->Numero, m->Reception, m_texte, 0, &erreur);
        if (lu == TGestionFichierMessage::TResultat::Erreur) throw TErreur(erreur);
        if (lu == TGestionFichierMessage::TResultat::Absent) {
            TraceFormat(-1, QStringLiteral("Exception : %s : compte %d, message %d introuvable"),
                        kPlace, compte.Numero, m->Numero);
            continue;
        }
        try {
            int32_t finTexte = 0, finEntetes = 0;
            m_filtre.ConstruireTexteBayes(m_decodeur, m_texte, finTexte, finEntetes, m_texteBayes);
            m_sujet.resize(0);
            m_decodeur.EncodageDecodage()->DecoderEnteteCp1252(m_decodeur.SujetBrut(), m_sujet);
            const QByteArray prefixe = PrefixeSujet(m_sujet);
            doc.Analyser(m_texteBayes, finEntetes, prefixe, finTexte);
        } catch (const std::exception& e) {
            // A message the decoder cannot take is left out, as on reception.
            TraceFormat(-1, Res("princ30", u"Exception : AppliquerBayes : %s"), TexteErreur(e));
            continue;
        }
        lot.Apprendre(doc, m->Spam);
        if (++compteur % taille == 0) {
            avancement(ligne1, QStringLiteral("fusion des listes..."));
            fusionner(lot, nouvelle);
            avancement(ligne1, Format(formatMessage, {nombre(i + 1), nombre(nb)}));
        }
    }
    m_affichage.FixeModifie = true;
    if (!m_affichage.Sauver(&erreur)) TraceException(kPlace, erreur);
}

void TReconstructionBayes::fusionner(TMonBayesDB& lot, TMonBayesDB& nouvelle) {
    nouvelle.Fusionner(lot);
    lot.Vider();
}

void TReconstructionBayes::remplacerBase(TMonBayesDB& nouvelle) {
    TMonBayesDB& base = m_filtre.Base();
    // The rebuilt base takes the live one's place; the previous content waits
    // in `nouvelle` until the file is written, and comes back if it cannot be.
    base.Echanger(nouvelle);
    base.Modifie = true;
    QString erreur;
    if (base.NbMots() > 0) {
        if (!base.Sauver(&erreur)) {
            base.Echanger(nouvelle);
            throw TErreur(erreur.isEmpty() ? base.FileSpec : erreur);
        }
        return;
    }
    // Nothing learned: no file, and no copy left that a later load would take.
    for (const QString& chemin : {base.FileSpec, sauvegarde::cheminBak(base.FileSpec)}) {
        if (QFileInfo::exists(chemin) && !QFile::remove(chemin)) {
            base.Echanger(nouvelle);
            throw TErreur(chemin + QStringLiteral(" : suppression impossible"));
        }
    }
    base.Modifie = false;
}

TReconstructionBayes::TResultat TReconstructionBayes::ConvertirMemoMail() {
    TConfig& config = Config();
    if (config.VersionInterne >= 2) return rrFait;
    if (OnOccupe) OnOccupe(true);
    const QString memoMail = QDir(RepertoireInstallation).filePath(QStringLiteral("MemoMail"));
    if (config.VersionInterne < 1 && QFileInfo(memoMail).isDir()) ImporterMemoMail(memoMail);
    const TResultat resultat = BtnBayesienTotalClick(false);
    // Written even after a failed rebuild: the import must never run twice, and
    // the button rebuilds again at will.
    config.VersionInterne = 2;
    if (OnOccupe) OnOccupe(false);
    if (EcrireReglages) EcrireReglages();
    if (OnFinAvancement) OnFinAvancement();
    return resultat;
}

int TReconstructionBayes::ImporterMemoMail(const QString& repertoireMemoMail) {
    if (m_filtre.CalculEnCours) {
        Trace(QStringLiteral("Exception : CBoxCompteChange : calcul en cours"));
        return 0;
    }
    // The progress lines let events run: no rebuild may start meanwhile.
    struct TCalcul {
        bool& drapeau;
        explicit TCalcul(bool& d) : drapeau(d) { drapeau = true; }
        ~TCalcul() { drapeau = false; }
    } calcul(m_filtre.CalculEnCours);
    const QDir dossier(repertoireMemoMail);
    const QString etape = Res("princ104", u"Etape %d/%d");
    int importes = 0;
    const int nb = m_comptes.Count();
    for (int c = 0; c < nb; ++c) {
        TUnCompteBis* compte = m_comptes.Compte(c);
        if (!compte) continue;
        avancement(Format(etape, {nombre(c + 1), nombre(nb)}), QString());
        m_synchro.Ouvrir(compte);
        if (m_synchro.Compte() != compte->Numero) {
            // The previous account's records could not be saved; they stay.
            TraceFormat(-1,
                        QStringLiteral("Exception : CBoxCompteChange : compte %d non importé, "
                                       "archive %d non sauvegardée"),
                        compte->Numero, m_synchro.Compte());
            continue;
        }
        if (m_synchro.IndexProtege()) {
            TraceFormat(-1,
                        QStringLiteral("Exception : CBoxCompteChange : compte %d, index illisible"),
                        compte->Numero);
            continue;
        }
        const QString prefixe = QString::number(compte->Numero) + QLatin1Char('-');
        QStringList noms = dossier.entryList({prefixe + QStringLiteral("*.txt")}, QDir::Files);
        // Ordered by the date that starts at the third character after the "-".
        const auto cle = [&prefixe](const QString& nom) { return nom.mid(prefixe.size() + 2, 14); };
        std::stable_sort(noms.begin(), noms.end(),
                         [&cle](const QString& a, const QString& b) { return cle(a) < cle(b); });
        for (const QString& nom : noms) {
            QFile f(dossier.filePath(nom));
            if (!f.open(QIODevice::ReadOnly)) {
                TraceException(u"CBoxCompteChange", f.errorString());
                continue;
            }
            const QByteArray texte = f.readAll();
            if (f.error() != QFileDevice::NoError) {
                TraceException(u"CBoxCompteChange", f.errorString());
                continue;
            }
            const QChar verdict = nom.size() > prefixe.size() ? nom.at(prefixe.size()) : QChar();
            const TEnteteImporte entete = lireEntete(texte);
            TUnMessageMem modele;
            modele.TestIP = compte->FiltreIP;
            modele.TestBayes = compte->FiltreBayes;
            modele.ListeBlanche = verdict == QLatin1Char('b');
            modele.ListeNoire = verdict == QLatin1Char('n');
            modele.Spam = modele.SpamIP =
                verdict == QLatin1Char('s') || verdict == QLatin1Char('n');
            modele.ProbaBayes = -1;
            modele.Reception = dateNom(cle(nom));
            modele.Taille =
                qint32(std::min<qint64>(texte.size(), std::numeric_limits<qint32>::max()));
            modele.Sujet = entete.sujet;
            modele.Emetteur = entete.emetteur;
            PUnMessageMem nouveau = nullptr;
            QString erreur;
            const bool ok = m_synchro.AjouterMessage(modele, texte, &nouveau, &erreur);
            if (!nouveau) {
                TraceException(u"CBoxCompteChange", erreur);
                continue;
            }
            // A header too long for the record's 16 bits reads whole instead.
            nouveau->TailleEntete =
                entete.taille <= std::numeric_limits<qint16>::max() ? qint16(entete.taille) : 0;
            if (!ok) {
                // No text behind it: never saved as a record.
                m_synchro.MarquerSupprime(*nouveau);
                TraceException(u"CBoxCompteChange", erreur);
                continue;
            }
            ++importes;
        }
    }
    if (!m_synchro.Ouvrir(nullptr))
        Trace(QStringLiteral("Exception : CBoxCompteChange : archive non sauvegardée"));
    return importes;
}
