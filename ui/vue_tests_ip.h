#pragma once
// The page "Derniers tests DNSBL": its buttons and the list of lookup
// records, each row painted from the record at its index (TPageTestsIP
// decides the texts, colours and separators).

#include "pages/page_tests_ip.h"

#include <QWidget>

class QPushButton;
class TListeVirtuelle;

class TVueTestsIP : public QWidget {
    Q_OBJECT
public:
    explicit TVueTestsIP(TChercheSPAMs& cherche, QWidget* parent = nullptr);

    void Rafraichir(); // item count from the cache, and a repaint
    void BtnSupprimerTestClick();
    void BtnTriIPClick();
    void BtnTriDateClick();
    void Button1Click(); // "Test IP"
    TPageTestsIP& Page() { return m_page; }

    QPushButton *BtnSupprimerTest, *BtnTriIP, *BtnTriDate, *Button1;
    TListeVirtuelle* ListBoxRecherche;

signals:
    void TestsModifies();

private:
    TPageTestsIP m_page;
};
