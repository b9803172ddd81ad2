#pragma once
// The per-account dialog "Config compte".

#include "accounts/page_comptes.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class TFormBase;

class TFormConfigCompte : public QDialog {
    Q_OBJECT
public:
    TFormConfigCompte(TUnCompteBis& compte, QWidget* parent = nullptr);
    // "Valider": every field stored in the account.
    void Valider();

    QLineEdit *EditEMail, *EditServeur, *EditLogin, *EditNom, *EditPort;
    QCheckBox *CheckBoxFiltreIP, *CheckBoxFiltreBayes, *CheckBoxDestinataire,
        *CheckBoxConfigGenerale, *CheckBoxSupprimerSpam;
    QWidget* PanelConfig;

    void done(int r) override;

private:
    void regleConfigGenerale();
    TUnCompteBis& m_compte;
    TFormBase* m_base;
};
