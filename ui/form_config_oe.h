#pragma once
// The mail client's accounts dialog: the client's POP3 accounts with a tick
// for those that go through Kelvarin, the selected account's login and
// server, and "Valider" / "Annuler" / "Aide". The rules are in
// TConfigComptesCourrier; this draws them.

#include "integration/comptes_client_courrier.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class TCadreBoutons;
class TFormBase;

class TFormConfigOE : public QDialog {
    Q_OBJECT
public:
    // Reads the accounts now: each opening reads them again.
    explicit TFormConfigOE(TConfigComptesCourrier& regles, QWidget* parent = nullptr);

    // "Valider": written and closed; refused (the client runs, or the file
    // could not be written) with a message, and the dialog stays open.
    void Valider();

    QLabel *LabelExplication, *LabelVerrou;
    QListWidget* CheckListBox1;
    QLineEdit *EditNomCompte, *EditServeurPOP3;
    TCadreBoutons* Cadre;

    void done(int r) override;

private:
    void afficherSelection();
    TConfigComptesCourrier& m_regles;
    TFormBase* m_base;
};
