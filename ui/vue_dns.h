#pragma once
// The DNSBL page: its buttons and the list of servers, each row painted from
// the server at its index with its check box (TPageDNS decides the texts and
// colours). "Derniers tests DNSBL" is TVueTestsIP.

#include "pages/page_dns.h"

#include <QWidget>

class QPushButton;
class TListeVirtuelle;

class TVueDNS : public QWidget {
    Q_OBJECT
public:
    explicit TVueDNS(TChercheSPAMs& cherche, QWidget* parent = nullptr);

    // The item count from the table, and a repaint.
    void Rafraichir();
    void Redessiner();
    void BtnConfigDNSClick();
    void BtnAjouterDNSClick();
    void BtnSupprimerDNSClick();
    void BtnRAZTempClick();
    void BtnRAZCompteurClick();
    // The check box of a row.
    void BasculerActif(int ligne);
    TPageDNS& Page() { return m_page; }
    int ColonneNom() const { return m_colonneNom; }

    QPushButton *BtnConfigDNS, *BtnAjouterDNS, *BtnSupprimerDNS, *BtnRAZTemp, *BtnRAZCompteur;
    TListeVirtuelle* ListBoxDNS;

signals:
    // The table or its counters changed: the window refreshes its lists.
    void ServeursModifies();

private:
    void calculerColonne();
    TPageDNS m_page;
    int m_colonneNom = 0;
};
