#pragma once
// The statistics page: account and period choices, the two date pickers of
// "Autre période ...", "Calcul" and the painted table. The rules and every
// cell's text and colour are TStatistiques's; this view only draws.

#include "pages/statistiques.h"

#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class TMoteur;

class TPageStatistiques : public QWidget {
    Q_OBJECT
public:
    explicit TPageStatistiques(TMoteur& moteur, QWidget* parent = nullptr);

    TStatistiques& Stats() { return m_stats; }
    // Opening the page: the account choice filled again, then a computation.
    void Ouvrir();
    // Changing the account, "Calcul", a date picker closed or Enter in it.
    void Calculer();

    QComboBox* CBoxCompte2;
    QComboBox* CBoxPeriodeStats;
    QLabel* LabelDu;
    QDateEdit* DateTimeDebut;
    QLabel* LabelAu;
    QDateEdit* DateTimeFin;
    QPushButton* BtnCalcul;
    QListWidget* ListBoxStats;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void choisirPeriode(int periode);
    void choisirCompte(int index);
    void datesVersEcran();
    void ecranVersDates();
    void resultat(TStatistiques::TResultat r);
    void remplirListe();

    TMoteur& m_moteur;
    TStatistiques m_stats;
    QList<qint32> m_numeros; // account number of each item after "Tous les comptes"
};
