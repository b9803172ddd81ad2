#pragma once
// The accounts page: one painted row per account (TPageComptes decides the
// texts and colours), "Config" and "Supprimer".

#include "accounts/page_comptes.h"

#include <QWidget>

class QListWidget;
class QPushButton;

class TVueComptes : public QWidget {
    Q_OBJECT
public:
    TVueComptes(TGestionComptesBis& comptes, QWidget* parent = nullptr);
    void Rafraichir();
    // The selected account's number (0: none).
    qint32 Selection() const;
    void Configurer(); // "Config": the per-account dialog
    void Supprimer();  // "Supprimer": asks princ110 first
    const QList<TLigneCompte>& Lignes() const { return m_lignes; }

    QListWidget* ListBoxComptes;
    QPushButton* BtnConfigCompte;
    QPushButton* BtnSupprimerCompte;

signals:
    void ComptesModifies();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    TPageComptes m_page;
    QList<TLigneCompte> m_lignes;
};
