#pragma once
// The option pages "Configuration", "Général" and "Infos spams": each loads
// its controls from the typed-values record and reads them back; any change
// emits Modifie (which enables Apply and Cancel).

#include "core/settings.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Numeric edits take digits and control characters only (pasting is not
// filtered: Apply's floors take care of it).
void FiltrerChiffres(QLineEdit& edit);

class TPageConfiguration : public QWidget {
    Q_OBJECT
public:
    explicit TPageConfiguration(QWidget* parent = nullptr);
    void MontrerMode(bool simple); // presses the button, without a signal
    QPushButton* BtnModeSimplifie;
    QPushButton* BtnModeExpert;
signals:
    void ModeChoisi(bool simple);
};

class TPageGeneral : public QWidget {
    Q_OBJECT
public:
    explicit TPageGeneral(QWidget* parent = nullptr);
    void Charger(const TSaisieOptions& s);
    void Lire(TSaisieOptions& s) const;

    QLineEdit *EditPortEcoute, *EditPortMail, *EditDNS, *EditNbSocket, *EditStockage,
        *EditNbTentative, *EditTimeOut;
    QLabel* LabelDNS;
    QCheckBox *CheckBoxDNS, *CheckBoxReemettre, *CheckBoxTimeOut, *CheckBoxAnimerIcone,
        *CheckBoxPatienter, *CheckBoxReduire, *CheckBoxXP, *CheckBoxSpamSiPasSujetFrom;
    QComboBox* CBoxSecuriteAmont;
    // Where the listener really is, when the system refused the port set.
    QLabel* LabelPortEffectif;
    void MontrerPortEffectif(const QString& texte);
    QGroupBox* RadioGroupFormat;
    QButtonGroup* m_format;
signals:
    void Modifie();

private:
    void regleDNS();
    bool m_chargement = false;
};

class TPageInfosSpams : public QWidget {
    Q_OBJECT
public:
    explicit TPageInfosSpams(QWidget* parent = nullptr);
    void Charger(const TSaisieOptions& s);
    void Lire(TSaisieOptions& s) const;

    QCheckBox *CheckBoxModifSujet, *CheckBoxAjoutInfoBayesien, *CheckBoxSupprimerSpam,
        *CheckBoxEnleveHTML;
    QWidget* PanelSujet;
    QLineEdit *EditDebutSujet, *EditFinSujet, *EditDebutSujet2, *EditFinSujet2, *EditDebutSujet3,
        *EditFinSujet3, *EditSujetSupprime, *EditPourcentageBon, *EditTauxSpamQueBayesien;
signals:
    void Modifie();

private:
    bool m_chargement = false;
};

// The overview pages of the list groups: link labels opening the children.
class TPageApercu : public QWidget {
    Q_OBJECT
public:
    struct TLien {
        const char* Nom;         // design name of the link label
        const char16_t* Libelle; // its text
        const char16_t* Description;
        int Position; // child it opens
        bool ExpertSeulement;
    };
    TPageApercu(const QString& titre, const QList<TLien>& liens, QWidget* parent = nullptr);
    void AppliquerMode(bool simple);
signals:
    void LienActive(int position);

private:
    QList<QPair<TLien, QList<QWidget*>>> m_liens;
};
