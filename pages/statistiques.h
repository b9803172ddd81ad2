#pragma once
// The statistics page's rules: the periods and their start dates, the day by
// day count of archived messages per account (or all accounts), the average
// and total rows, and the texts and colours of every cell the list paints.
// Nothing is stored: each computation reads the archive index again (never
// the message texts). The widget and `kelvarin --stats` only show it.

#include "accounts/un_compte_bis.h"
#include "accounts/un_message_mem.h"
#include "core/date_time.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

class TMoteur;

// The counters of one day row (the design's unshown counter is not kept).
struct TCompteursStats {
    qint32 Messages = 0;
    qint32 PasSpams = 0;
    qint32 Spams = 0;
    qint32 ListeBlanche = 0;
    qint32 ListeNoire = 0;
    qint32 Emetteur = 0; // account address in neither To nor Cc
    bool operator==(const TCompteursStats&) const = default;
};

struct TCelluleStats {
    enum TCouleur { csNormal, csBleu, csRouge, csVert };
    QString Texte;
    TCouleur Couleur = csNormal;
    bool Centre = false; // else right-aligned
};

class TStatistiques {
public:
    enum TPeriode : int {
        psAujourdhui = 0,
        ps2Jours = 1, // ... 5: "6 jours"
        ps1Semaine = 6,
        ps2Semaines = 7,
        ps3Semaines = 8,
        ps4Semaines = 9,
        ps1Mois = 10,
        ps2Mois = 11,
        ps3Mois = 12,
        psSemaineEnCours = 13,
        psMoisEnCours = 14,
        psDepuisLeDebut = 15,
        psAutrePeriode = 16
    };
    static constexpr int kNbPeriodes = 17;
    static constexpr int kJoursDepuisLeDebut = 1000;
    static constexpr int kNbColonnes = 8;

    // The account choice: none (empty table), every account, or one.
    enum TChoixCompte { ccAucun, ccTous, ccUn };

    enum TResultat {
        rsCalcule,
        rsDatesInversees, // end day before start day: the table is unchanged
        rsIndexIllisible, // computed, but an index could not be read (see Erreurs)
        rsOccupe          // a long operation (the full rebuild) runs: nothing done
    };

    enum TGenreLigne { glEntete, glJour, glMoyenne, glTotal };

    // Reads the index of one account's archive, calling `message` for each
    // record; false with the reason when the index exists but cannot be read.
    using TLecteur = std::function<bool(const TUnCompteBis& compte,
                                        const std::function<void(const TUnMessageMem&)>& message,
                                        QString& erreur)>;

    TStatistiques() = default;

    static QString LibellePeriode(int periode);
    static QStringList LibellesPeriodes();
    // The first day of a period ending today; invalid for "Autre période ...".
    // "Depuis le début" gives today - 1000, moved later to the first message.
    static QDate DebutPeriode(int periode, QDate aujourdhui);

    // Wiring: what reads an index, the accounts in list order, today, and
    // what must happen before a computation (the received-mail page emptied,
    // its archive closed).
    TLecteur Lecteur;
    std::function<QList<const TUnCompteBis*>()> Comptes;
    std::function<QDate()> Aujourdhui; // default: the system's date
    std::function<void()> AvantCalcul;
    // True while the archive must not be touched (the full rebuild).
    std::function<bool()> Occupe;

    // The choice of the page.
    void ChoisirCompte(TChoixCompte choix, qint32 numero = 0);
    TChoixCompte ChoixCompte() const { return m_choix; }
    qint32 NumeroCompte() const { return m_numero; }
    int Periode() const { return m_periode; }
    TDateTime Debut() const { return m_debut; }
    TDateTime Fin() const { return m_fin; }
    // The date pickers, for "Autre période ..." (the time is dropped).
    void setDebut(QDate d);
    void setFin(QDate d);
    void setDebut(TDateTime d) { m_debut = d; }
    void setFin(TDateTime d) { m_fin = d; }

    // Changing the period: sets both dates (not for "Autre période ..."),
    // then computes as triggered by the period.
    TResultat ChoisirPeriode(int periode);
    // Changing the account, "Calcul", a date picker: computes without the
    // period's start shift.
    TResultat Calculer(bool parPeriode = false);
    // Why the last computation could not read some index (one line each).
    const QStringList& Erreurs() const { return m_erreurs; }

    // The table: day rows from the start day (index 0), then average and total.
    bool TableVide() const { return m_jours.empty() && !m_avecTable; }
    const std::vector<TCompteursStats>& Jours() const { return m_jours; }
    QDate PremierJour() const { return m_premierJour; }
    const TCompteursStats& Moyenne() const { return m_moyenne; }
    const TCompteursStats& Total() const { return m_total; }

    // The list: a heading row, then the day rows from the most recent day
    // down to the start day, then "MOYENNE" and "TOTAL" (when there are
    // day rows).
    int NbLignesListe() const;
    TGenreLigne Genre(int ligne) const;
    bool Grisee(int ligne) const; // day rows shaded alternately
    QDate DateLigne(int ligne) const;
    const TCompteursStats* Compteurs(int ligne) const;
    // The eight cells; the day label in the user's short date format unless
    // `formatDate` says otherwise.
    std::array<TCelluleStats, kNbColonnes>
    Cellules(int ligne, const std::function<QString(QDate)>& formatDate = {}) const;
    // spam x 100 / messages, "##0.0%" left-padded to 5; empty without messages.
    static QString TexteTaux(qint32 spams, qint32 messages);
    static TCelluleStats::TCouleur CouleurTaux(qint32 spams, qint32 messages);

    // What the account choice lists: "Tous les comptes", then the names.
    static QString LibelleTousLesComptes();

private:
    QDate aujourdhui() const;
    static void compter(TCompteursStats& c, const TUnMessageMem& m);

    TChoixCompte m_choix = ccAucun;
    qint32 m_numero = 0;
    int m_periode = psAujourdhui;
    TDateTime m_debut = 0;
    TDateTime m_fin = 0;
    bool m_avecTable = false;
    std::vector<TCompteursStats> m_jours;
    QDate m_premierJour;
    TCompteursStats m_moyenne, m_total;
    QStringList m_erreurs;
};

namespace statistiques {

// The records of an account's fixed index file read from the archive
// directory, without writing anything: it works while another copy of the
// program runs on the same home. A save in progress is read from its ".bak".
// false with the reason when the index exists but cannot be read.
bool LireIndex(const QString& repertoireDossiers, qint32 numero,
               const std::function<void(const TUnMessageMem&)>& message, QString& erreur);
TStatistiques::TLecteur LecteurDossiers(const QString& repertoireDossiers);

// The page over the program's engine: its accounts, its archive directory,
// and before each computation the received-mail page emptied, its archive
// closed and the proxy's archive saved, so the disk holds every judged message.
// Nothing is done while the full rebuild runs.
void Brancher(TStatistiques& stats, TMoteur& moteur);

} // namespace statistiques
