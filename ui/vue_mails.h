#pragma once
// The page "Mails reçus": the grid of archived messages, the detail panes and
// the gestures of the review. TPageMails decides every text, colour and rule;
// this view paints and forwards.

#include "pages/page_mails.h"

#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabBar;
class QTabWidget;
class QTableView;
class TModeleMails;
class TMoteur;

class TVueMails : public QWidget {
    Q_OBJECT
public:
    explicit TVueMails(TMoteur& moteur, QWidget* parent = nullptr);
    ~TVueMails() override;

    TPageMails& Page() { return *m_page; }

    // The page became active: accounts listed, none chosen, empty list.
    void Ouvrir();
    // Another page became active: grid emptied, archive closed, panes cleared.
    void Quitter();
    // CBoxCompteChange (also "Cherche", the display filter and Enter in the
    // age fields).
    void Rafraichir();
    // The selected grid row (from 1), 0 when none.
    int LigneSelectionnee() const;
    void SelectionnerLigne(int ligne);
    // SGridMailsClick: the panes and buttons for the selected row.
    void AfficherSelection();
    void AfficherMots(); // the "Bayes" pane, also on TabControlTriChange
    // The popup's items shown or hidden for a row.
    void PreparerPopup(int ligne);

    void Corriger(bool spam); // BtnPasSpamClick (both buttons)
    void SupprimerMessage();  // MnuSupprimerMsgClick, Delete
    void ReemettreMessage();  // MnuRemettreMsgClick
    void ActionListe(int tag);
    void VoirCompte(); // BtnVoirMailClick
    void ChangerMode(int mode);
    void ChangerCalcul(int calcul);
    void Reconstruire(); // BtnBayesienTotalClick

    // The option page's Apply, after a popup list item.
    std::function<void()> OnAppliquer;

    QWidget* PanelMailsCompte;
    QComboBox* CBoxCompte;
    QPushButton* BtnVoirMail;
    QLineEdit *EditNbJour, *EditNbHeure;
    QPushButton* BtnCherche;
    QComboBox* CBoxAffichage;
    QLabel* LabelNbMessage;
    QTableView* SGridMails;
    QPushButton *BtnPasSpam, *BtnSpam, *BtnBayesienTotal;
    QComboBox* CBoxModeBayes;
    QComboBox* CBoxCalculBayes;
    QTabWidget *PageCtrlPlusEntete, *PageCtrlPlus3;
    QPlainTextEdit *MemoMailsEntetes, *MemoInfo, *MemoCorpsTexte, *MemoCorpsHtml;
    QTabBar* TabControlTri;
    QListWidget* ListBoxCorpsBayes;
    QMenu* PopupMessage;
    QList<QAction*> ItemsListes; // MnuAjoutMail1 ... MnuSupprSujet2, tags in data()
    QAction *MnuSupprimerMsg, *MnuRemettreMsg;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void creer();
    void viderPanneaux();
    void redessiner(bool lignes);
    void occupe(bool actif);
    void menuContextuel(const QPoint& pos);
    void dimensionner();

    TMoteur& m_moteur;
    std::unique_ptr<TPageMails> m_page;
    TModeleMails* m_modele = nullptr;
    bool m_remplissage = false; // controls being filled: their signals are not gestures
};
