#pragma once
// The main window: the options tree on the left, the pages on the right, the
// bar with Apply, Cancel, Help and "Réduire", the menus and the notification
// icon. It draws and forwards gestures; the rules are in the engine
// (TArbreOptions, TControleur's Apply/Cancel, TAnimationIcone, ...).

#include "core/arbre_options.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <array>
#include <functional>

class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TFormBase;
class TFormMiseAJour;
class TFrameInfoFiltres;
class TIconeNotification;
class TMoteur;
class TPageApercu;
class TPageConfiguration;
class TPageGeneral;
class TPageInfosSpams;
class TPageStatistiques;
class TPageTrace;
class TVueComptes;
class TVueMails;
class TVueDNS;
class TVueTestsIP;
struct TSaisieListes;
enum TListeFiltre : quint8;

class TFormKelvarin : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormKelvarin(TMoteur& moteur, QWidget* parent = nullptr);
    ~TFormKelvarin() override;

    // The engine's start-up, each step announced through `etape` (the splash),
    // then the controls filled from the settings. False: no settings store.
    bool Demarrer(const std::function<void(const QString&)>& etape = {});
    // Controls from the settings in memory, tree and menus for the stored mode.
    void ConfigVersEcran();
    void AppliquerMode(bool simple);
    bool ModeSimple() const { return m_modeArbre == 1; }

    void BtnAppliquerClick();
    void BtnAnnulerClick();
    void Reduire(); // the "Réduire" button and menu entry
    // Shows a page through the page-leaving check; false when refused (busy,
    // unknown page, Cancel).
    bool AfficherPage(int page);
    int PageCourante() const;
    bool Occupe() const; // CalculEnCours
    bool Modifie() const;

    // The notification area's gestures.
    void OuvrirDepuisNotification(int page = -1);
    void Basculer();
    void MinimiserVersZone();
    // A second copy was started.
    void SignalAutreInstance();
    // "Configurer Thunderbird": the mail client's accounts dialog.
    void ConfigurerClientCourrier();
    // The version server knows a newer version: the question, and the site
    // when the answer is yes.
    void NouvelleVersion();
    // "Quitter" in a menu: through the close request with the flag cleared.
    void Quitter();
    bool VersTray() const { return m_versTray; }
    int SujetAide() const { return m_sujetAide; }

    TIconeNotification& Icone() { return *m_icone; }
    TMoteur& Moteur() { return m_moteur; }
    TFormBase& Base() { return *m_base; }
    // The conversion window, created at the first step reported.
    TFormMiseAJour* MiseAJour() const { return m_miseAJour; }

    QTreeWidget* TreeView1;
    QStackedWidget* PageControl1;
    QPushButton *BtnReduire, *BtnAppliquer, *BtnAnnuler, *BtnAide;
    QLabel* LabelVersion;
    QMenu *MenuFichier, *MenuVoir, *MenuAide;
    TPageConfiguration* PageConfig;
    TPageGeneral* PageGeneral;
    TPageInfosSpams* PageInfosSpams;
    std::array<TPageApercu*, 3> PagesApercu{};
    TVueComptes* PageComptes;
    TPageTrace* PageTrace;
    TPageStatistiques* PageStatistiques = nullptr;
    TVueMails* PageMails = nullptr;
    // The list editors (FrameInfoFiltres0 to 8), the Bayesian ignore lists,
    // the DNSBL page and its IP tests.
    std::array<TFrameInfoFiltres*, 9> FramesInfoFiltres{};
    QPlainTextEdit* MemoIgnorerEntetes = nullptr;
    QPlainTextEdit* MemoIgnorerMots = nullptr;
    TVueDNS* PageDNS = nullptr;
    TVueTestsIP* PageTestsIP = nullptr;

    // One line of a list kind (TTypeListe) through its editor, then Apply as
    // its button does: `ligne` is appended as the plain list's last line, or
    // the first plain line equal to it (case ignored) is removed. False when
    // nothing changed (nothing applied), or while a rebuild runs.
    bool ModifierListe(int type, const QString& ligne, bool ajouter);
    // The DNSBL and IP-test lists (and the accounts) redrawn, when at most
    // one DNS query is under way.
    void RafraichirListesDNS();

signals:
    void QuitterApplication(); // the close was granted for good

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    // The list editor frame of a plain list, nullptr for none.
    TFrameInfoFiltres* cadreDeListe(TListeFiltre liste) const;
    void creerMenus();
    void creerPages();
    void creerBarre();
    void brancherMoteur();
    void modifie(bool actif);
    void surSelectionArbre(QTreeWidgetItem* courant, QTreeWidgetItem* precedent);
    void changerPage(int page);
    void selectionnerNoeud(int page);
    void enregistrerBase();
    void lienApercu(int pageGroupe, int position);
    // The list pages (form_kelvarin_listes.cpp).
    QWidget* creerPageListes(int page);
    void brancherListes();
    void chargerListes();
    void modeListes(bool simple);
    TSaisieListes saisieListes() const;

    TMoteur& m_moteur;
    TFormBase* m_base;
    TIconeNotification* m_icone;
    TFormMiseAJour* m_miseAJour = nullptr;
    QElapsedTimer m_depart;
    int m_modeArbre = -1; // 1 simple, 0 expert, -1 not built
    bool m_versTray = false;
    bool m_construction = false;
    int m_sujetAide = 10;
    int m_pagePrecedente = -1;
};
