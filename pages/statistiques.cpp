#include "pages/statistiques.h"

#include "accounts/mon_dossier_bis.h"
#include "core/controleur.h"
#include "core/date_time.h"
#include "core/safe_save.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "pages/morceaux.h"
#include "proxy/moteur.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

qint64 jourEntier(TDateTime v) {
    return qint64(std::floor(v));
}

TCompteursStats somme(const std::vector<TCompteursStats>& jours) {
    TCompteursStats t;
    for (const TCompteursStats& j : jours) {
        t.Messages += j.Messages;
        t.PasSpams += j.PasSpams;
        t.Spams += j.Spams;
        t.ListeBlanche += j.ListeBlanche;
        t.ListeNoire += j.ListeNoire;
        t.Emetteur += j.Emetteur;
    }
    return t;
}

} // namespace

QString TStatistiques::LibellePeriode(int periode) {
    switch (periode) {
    case psAujourdhui:
        return Res("stats01", u"Aujourd'hui");
    case 1:
        return Res("stats02", u"2 jours");
    case 2:
        return Res("stats03", u"3 jours");
    case 3:
        return Res("stats04", u"4 jours");
    case 4:
        return Res("stats05", u"5 jours");
    case 5:
        return Res("stats06", u"6 jours");
    case ps1Semaine:
        return Res("stats07", u"1 semaine (7 jours)");
    case ps2Semaines:
        return Res("stats08", u"2 semaines");
    case ps3Semaines:
        return Res("stats09", u"3 semaines");
    case ps4Semaines:
        return Res("stats10", u"4 semaines");
    case ps1Mois:
        return Res("stats11", u"1 mois");
    case ps2Mois:
        return Res("stats12", u"2 mois");
    case ps3Mois:
        return Res("stats13", u"3 mois");
    case psSemaineEnCours:
        return Res("stats14", u"La semaine en cours");
    case psMoisEnCours:
        return Res("stats15", u"Le mois en cours");
    case psDepuisLeDebut:
        return Res("stats16", u"Depuis le début");
    case psAutrePeriode:
        return Res("stats17", u"Autre période ...");
    default:
        return {};
    }
}

QStringList TStatistiques::LibellesPeriodes() {
    QStringList l;
    for (int i = 0; i < kNbPeriodes; ++i)
        l << LibellePeriode(i);
    return l;
}

QString TStatistiques::LibelleTousLesComptes() {
    return Res("stats18", u"Tous les comptes");
}

QDate TStatistiques::DebutPeriode(int periode, QDate aujourdhui) {
    if (periode >= 1 && periode <= 5) return aujourdhui.addDays(-periode);
    switch (periode) {
    case psAujourdhui:
        return aujourdhui;
    // Whole weeks, today included: "2 semaines" is fourteen days.
    case ps1Semaine:
        return aujourdhui.addDays(-6);
    case ps2Semaines:
        return aujourdhui.addDays(-13);
    case ps3Semaines:
        return aujourdhui.addDays(-20);
    case ps4Semaines:
        return aujourdhui.addDays(-27);
    // The same day of an earlier month, or its last day when it is shorter.
    case ps1Mois:
        return aujourdhui.addMonths(-1);
    case ps2Mois:
        return aujourdhui.addMonths(-2);
    case ps3Mois:
        return aujourdhui.addMonths(-3);
    case psSemaineEnCours:
        return aujourdhui.addDays(1 - aujourdhui.dayOfWeek()); // Monday = 1
    case psMoisEnCours:
        return aujourdhui.addDays(1 - aujourdhui.day());
    case psDepuisLeDebut:
        return aujourdhui.addDays(-kJoursDepuisLeDebut);
    default:
        return {};
    }
}

QDate TStatistiques::aujourdhui() const {
    return Aujourdhui ? Aujourdhui() : QDate::currentDate();
}

void TStatistiques::ChoisirCompte(TChoixCompte choix, qint32 numero) {
    m_choix = choix;
    m_numero = choix == ccUn ? numero : 0;
}

void TStatistiques::setDebut(QDate d) {
    m_debut = datetime::depuisDate(d);
}

void TStatistiques::setFin(QDate d) {
    m_fin = datetime::depuisDate(d);
}

TStatistiques::TResultat TStatistiques::ChoisirPeriode(int periode) {
    if (periode < 0 || periode >= kNbPeriodes) periode = psAujourdhui;
    m_periode = periode;
    if (periode != psAutrePeriode) {
        const QDate a = aujourdhui();
        setDebut(DebutPeriode(periode, a));
        setFin(a);
    }
    return Calculer(true);
}

void TStatistiques::compter(TCompteursStats& c, const TUnMessageMem& m) {
    ++c.Messages;
    // One column per message: the first reason that applies.
    if (m.ListeBlanche)
        ++c.ListeBlanche;
    else if (m.HorsDestinataire)
        ++c.Emetteur;
    else if (m.ListeNoire)
        ++c.ListeNoire;
    else if (m.Spam)
        ++c.Spams;
    else
        ++c.PasSpams;
}

TStatistiques::TResultat TStatistiques::Calculer(bool parPeriode) {
    // The rebuild reads the archives through the views this would close.
    if (Occupe && Occupe()) return rsOccupe;
    if (AvantCalcul) AvantCalcul();
    // Days, not instants: a start moved to the first message's time still
    // lets a table ending that same day be computed.
    const qint64 s = jourEntier(m_debut), e = jourEntier(m_fin);
    if (e < s) return rsDatesInversees;

    m_erreurs.clear();
    m_jours.clear();
    m_moyenne = m_total = TCompteursStats();
    m_avecTable = m_choix != ccAucun;
    m_premierJour = datetime::versDate(m_debut);
    if (!m_avecTable) return rsCalcule;

    m_jours.assign(size_t(e - s + 1), TCompteursStats());
    const TDateTime debutJour = TDateTime(s), finExclue = TDateTime(e + 1);
    TDateTime premier = std::numeric_limits<double>::infinity();
    const auto message = [&](const TUnMessageMem& m) {
        const TDateTime r = m.Reception;
        if (!(r >= debutJour && r < finExclue)) return; // NaN too
        const qint64 jour = jourEntier(r) - s;
        if (jour < 0 || jour >= qint64(m_jours.size())) return;
        compter(m_jours[size_t(jour)], m);
        premier = std::min(premier, r);
    };
    const QList<const TUnCompteBis*> comptes = Comptes ? Comptes() : QList<const TUnCompteBis*>();
    for (const TUnCompteBis* c : comptes) {
        if (!c || (m_choix == ccUn && c->Numero != m_numero)) continue;
        QString erreur;
        if (Lecteur && !Lecteur(*c, message, erreur)) {
            m_erreurs << erreur;
            Trace(QStringLiteral("Statistiques : ") + erreur);
        }
    }

    if (parPeriode && m_periode == psDepuisLeDebut && std::isfinite(premier) &&
        premier > debutJour) {
        // The table starts at the first message found.
        const qint64 jourPremier = jourEntier(premier) - s;
        m_jours.erase(m_jours.begin(), m_jours.begin() + jourPremier);
        m_debut = premier;
        m_premierJour = datetime::versDate(premier);
    }
    if (!m_jours.empty()) {
        m_total = somme(m_jours);
        const auto n = qint32(m_jours.size());
        m_moyenne = {m_total.Messages / n,     m_total.PasSpams / n,   m_total.Spams / n,
                     m_total.ListeBlanche / n, m_total.ListeNoire / n, m_total.Emetteur / n};
    }
    return m_erreurs.isEmpty() ? rsCalcule : rsIndexIllisible;
}

// --- the list -------------------------------------------------------------------

int TStatistiques::NbLignesListe() const {
    return m_jours.empty() ? 1 : int(m_jours.size()) + 3;
}

TStatistiques::TGenreLigne TStatistiques::Genre(int ligne) const {
    const int n = int(m_jours.size());
    if (ligne <= 0 || n == 0) return glEntete;
    if (ligne <= n) return glJour;
    return ligne == n + 1 ? glMoyenne : glTotal;
}

bool TStatistiques::Grisee(int ligne) const {
    return Genre(ligne) == glJour && ligne % 2 == 0;
}

QDate TStatistiques::DateLigne(int ligne) const {
    if (Genre(ligne) != glJour) return {};
    // The most recent day first.
    return m_premierJour.addDays(qint64(m_jours.size()) - ligne);
}

const TCompteursStats* TStatistiques::Compteurs(int ligne) const {
    switch (Genre(ligne)) {
    case glJour:
        return &m_jours[m_jours.size() - size_t(ligne)];
    case glMoyenne:
        return &m_moyenne;
    case glTotal:
        return &m_total;
    default:
        return nullptr;
    }
}

QString TStatistiques::TexteTaux(qint32 spams, qint32 messages) {
    if (messages <= 0) return {};
    return TextePourcentage(double(spams) * 100.0 / double(messages));
}

TCelluleStats::TCouleur TStatistiques::CouleurTaux(qint32 spams, qint32 messages) {
    if (messages <= 0) return TCelluleStats::csVert;
    return double(spams) * 100.0 / double(messages) > 50.0 ? TCelluleStats::csRouge
                                                           : TCelluleStats::csVert;
}

std::array<TCelluleStats, TStatistiques::kNbColonnes>
TStatistiques::Cellules(int ligne, const std::function<QString(QDate)>& formatDate) const {
    using C = TCelluleStats;
    std::array<C, kNbColonnes> r;
    const TGenreLigne genre = Genre(ligne);
    if (genre == glEntete) {
        r = {C{Res("stats20", u"Date"), C::csNormal, true},
             C{Res("stats21", u"messages")},
             C{Res("stats22", u"pas spams")},
             C{Res("stats23", u"spams")},
             C{Res("stats24", u"liste blanche")},
             C{Res("stats25", u"liste noire")},
             C{Res("stats26", u"emetteur")},
             C{Res("stats27", u"taux spam")}};
        return r;
    }
    if (genre == glJour) {
        const QDate d = DateLigne(ligne);
        r[0] = {formatDate ? formatDate(d) : QLocale().toString(d, QLocale::ShortFormat),
                C::csNormal, true};
    } else {
        r[0] = {genre == glMoyenne ? Res("stats28", u"MOYENNE") : Res("stats29", u"TOTAL"),
                C::csNormal, true};
    }
    const TCompteursStats& c = *Compteurs(ligne);
    const auto nombre = [](qint32 v, C::TCouleur couleur) {
        return C{QString::number(v), couleur, false};
    };
    r[1] = nombre(c.Messages, C::csBleu);
    r[2] = nombre(c.PasSpams, C::csVert);
    r[3] = nombre(c.Spams, C::csRouge);
    r[4] = nombre(c.ListeBlanche, C::csVert);
    r[5] = nombre(c.ListeNoire, C::csVert);
    r[6] = nombre(c.Emetteur, C::csVert);
    r[7] = {TexteTaux(c.Spams, c.Messages), CouleurTaux(c.Spams, c.Messages), false};
    return r;
}

// --- reading the index --------------------------------------------------------------

namespace statistiques {

bool LireIndex(const QString& repertoireDossiers, qint32 numero,
               const std::function<void(const TUnMessageMem&)>& message, QString& erreur) {
    QString rep = repertoireDossiers;
    if (!rep.isEmpty() && !rep.endsWith(QLatin1Char('/'))) rep += QLatin1Char('/');
    // "N-var.qdl" holds the fixed 38-byte records: all the statistics need.
    const QString chemin = rep + QString::number(numero) + QStringLiteral("-var.qdl");
    QByteArray contenu;
    QString raison;
    switch (sauvegarde::lire(chemin, contenu, &raison)) {
    case sauvegarde::TEtatLecture::Absent:
        return true; // an account without archived messages
    case sauvegarde::TEtatLecture::Illisible:
        erreur = chemin + QStringLiteral(" : ") + raison;
        return false;
    case sauvegarde::TEtatLecture::Lu:
        break;
    }
    qsizetype pos = 0;
    if (contenu.size() >= TMonDossierBis::kTailleEnteteFixe && contenu.startsWith("VERSION="))
        pos = TMonDossierBis::kTailleEnteteFixe;
    TUnMessageMem m;
    for (; pos + TMonDossierBis::kTailleFixe <= contenu.size();
         pos += TMonDossierBis::kTailleFixe) {
        // Records numbered below 1 are dropped, as the archive's load does.
        if (TMonDossierBis::DecoderFixe(contenu.constData() + pos, m)) message(m);
    }
    return true;
}

TStatistiques::TLecteur LecteurDossiers(const QString& repertoireDossiers) {
    return [repertoireDossiers](const TUnCompteBis& compte,
                                const std::function<void(const TUnMessageMem&)>& message,
                                QString& erreur) {
        return LireIndex(repertoireDossiers, compte.Numero, message, erreur);
    };
}

void Brancher(TStatistiques& stats, TMoteur& moteur) {
    stats.Comptes = [&moteur] {
        QList<const TUnCompteBis*> l;
        const TGestionComptesBis& g = moteur.GestionComptesBis1;
        for (int i = 0; i < g.Count(); ++i)
            l << g.Compte(i);
        return l;
    };
    // The directory is known once the accounts are loaded.
    stats.Lecteur = [&moteur](const TUnCompteBis& compte,
                              const std::function<void(const TUnMessageMem&)>& message,
                              QString& erreur) {
        return LireIndex(moteur.GestionComptesBis1.RepertoireDossiers(), compte.Numero, message,
                         erreur);
    };
    stats.Occupe = [&moteur] {
        const TBranchements& b = moteur.Controleur().Branchements;
        return b.CalculEnCours && b.CalculEnCours();
    };
    stats.AvantCalcul = [&moteur] {
        // The received-mail page lets go of its records before its archive
        // closes; the proxy's newest records reach the disk.
        if (moteur.OnViderAffichage) moteur.OnViderAffichage();
        moteur.MonDossierBis1.Ouvrir(nullptr);
        moteur.MonDossierBisSynchro.Fermer();
    };
}

} // namespace statistiques
