#pragma once
// "Config DNSBL": one DNSBL server's name, zone and answer codes. Validate
// applies the page's checks and keeps the dialog open on an error.

#include "pages/page_dns.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class TFormBase;

class TFormConfigDNS : public QDialog {
    Q_OBJECT
public:
    // `serveur` null: an empty record, for "Ajouter".
    TFormConfigDNS(TPageDNS& page, PUnDNS serveur, QWidget* parent = nullptr);
    TSaisieServeur Saisie() const;
    // The checks, then the change (modification) or the addition; false with
    // the error shown when refused.
    bool Valider();

    QLineEdit *EditNom, *EditAdresse;
    QPlainTextEdit* MemoResultat;

    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    TPageDNS& m_page;
    PUnDNS m_serveur;
    TFormBase* m_base;
};
