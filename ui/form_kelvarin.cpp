#include "ui/form_kelvarin.h"

#include "core/config.h"
#include "core/controleur.h"
#include "core/ligne_commande.h"
#include "core/regles_fenetre.h"
#include "core/repertoires.h"
#include "core/settings.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "integration/thunderbird.h"
#include "pages/listes_options.h"
#include "proxy/analyse_pop3.h"
#include "proxy/moteur.h"
#include "proxy/serveur_proxy.h"
#include "spamsearch/listes_filtres.h"
#include "ui/aide.h"
#include "ui/boite_message.h"
#include "ui/form_about_box.h"
#include "ui/form_base.h"
#include "ui/form_config_oe.h"
#include "ui/form_language.h"
#include "ui/form_mise_a_jour.h"
#include "ui/form_quitter.h"
#include "ui/frame_info_filtres.h"
#include "ui/icone_notification.h"
#include "ui/mon_hint_window.h"
#include "ui/page_statistiques.h"
#include "ui/page_trace.h"
#include "ui/pages_options.h"
#include "ui/traduire_fenetre.h"
#include "ui/vue_comptes.h"
#include "ui/vue_mails.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kRolePage = Qt::UserRole;

QAction* action(QMenu* menu, const char* nom, const char16_t* texte) {
    QAction* a = menu->addAction(Res(nom, texte));
    a->setObjectName(QLatin1String(nom));
    return a;
}
} // namespace

TFormKelvarin::TFormKelvarin(TMoteur& moteur, QWidget* parent)
    : QMainWindow(parent), m_moteur(moteur) {
    m_depart.start();
    setObjectName(QStringLiteral("FormKelvarin"));
    setWindowTitle(QStringLiteral("Kelvarin"));
    setWindowIcon(IconeRessource("DEFAUT"));
    setMinimumSize(860, 570);
    resize(940, 620);
    TMonHintWindow::Installer(this);
    m_icone = new TIconeNotification(this);
    m_icone->ClientOuvert = [this] { return m_moteur.NbSessionsOuvertes() > 0; };
    creerPages();
    creerBarre();
    creerMenus();
    brancherMoteur();
    m_base = new TFormBase(*this, "TFormKelvarin", true);
    m_base->ConfigVersEcran();
    // Texts of the program, after the window's own are translated.
    LabelVersion->setText(Format(Res("princ84", u"version %s"), {VersionProgramme()}));
}

TFormKelvarin::~TFormKelvarin() {
    // The engine outlives the window: its hooks must not call into it.
    TBranchements& b = m_moteur.Controleur().Branchements;
    b.AjouterIcone = nullptr;
    b.RetirerIcone = nullptr;
    m_moteur.Controleur().FenetreCachee = nullptr;
}

void TFormKelvarin::creerPages() {
    auto* central = new QWidget(this);
    auto* v = new QVBoxLayout(central);
    auto* split = new QSplitter(Qt::Horizontal, central);
    TreeView1 = new QTreeWidget(split);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setItemsExpandable(false);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setMinimumWidth(190);
    TreeView1->setMaximumWidth(260);
    PageControl1 = new QStackedWidget(split);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    split->setStretchFactor(1, 1);
    v->addWidget(split, 1);
    setCentralWidget(central);

    const QList<TPageApercu::TLien> blancs = {
        {"LabelLienEmetteurs", u"Emetteurs", u"les adresses des émetteurs toujours acceptés", 1,
         false},
        {"LabelLienSujets", u"Sujets", u"les sujets toujours acceptés", 2, false},
        {"LabelLienEntetes", u"Autres en-têtes", u"d'autres lignes d'en-tête acceptées", 3, true},
        {"LabelLienIP", u"Adresses IP", u"les adresses IP des relais de confiance", 4, true}};
    const QList<TPageApercu::TLien> noirs = {
        {"LabelLienEmetteursN", u"Emetteurs", u"les adresses des émetteurs toujours refusés", 1,
         false},
        {"LabelLienSujetsN", u"Sujets", u"les sujets toujours refusés", 2, false},
        {"LabelLienEntetesN", u"Autres en-têtes", u"d'autres lignes d'en-tête refusées", 3, true},
        {"LabelLienIPN", u"Adresses IP", u"les adresses IP des relais de spams", 4, true}};
    const QList<TPageApercu::TLien> ignores = {
        {"LabelLienEntetesI", u"En-têtes", u"les en-têtes que le filtre bayesien ne lit pas", 1,
         false},
        {"LabelLienMotsI", u"Mots", u"les mots que le filtre bayesien ne compte pas", 2, false},
        {"LabelLienIPI", u"Adresses IP", u"les adresses IP à ne pas tester", 3, true}};

    for (int i = 0; i < TArbreOptions::kNbPages; ++i) {
        QWidget* page = nullptr;
        switch (i) {
        case TArbreOptions::kPageConfig:
            PageConfig = new TPageConfiguration;
            page = PageConfig;
            connect(PageConfig, &TPageConfiguration::ModeChoisi, this, [this](bool simple) {
                if (Occupe()) return;
                Config().Modefonctionnement = simple ? 0 : 1;
                AppliquerMode(simple);
                modifie(true);
            });
            break;
        case TArbreOptions::kPageGeneral:
            PageGeneral = new TPageGeneral;
            page = PageGeneral;
            connect(PageGeneral, &TPageGeneral::Modifie, this, [this] { modifie(true); });
            break;
        case TArbreOptions::kPageInfosSpams:
            PageInfosSpams = new TPageInfosSpams;
            page = PageInfosSpams;
            connect(PageInfosSpams, &TPageInfosSpams::Modifie, this, [this] { modifie(true); });
            break;
        case TArbreOptions::kPageListesBlanches:
        case TArbreOptions::kPageListesNoires:
        case TArbreOptions::kPageIgnorer: {
            const int k = i == TArbreOptions::kPageListesBlanches ? 0
                          : i == TArbreOptions::kPageListesNoires ? 1
                                                                  : 2;
            auto* a = new TPageApercu(TArbreOptions::Libelle(i), k == 0   ? blancs
                                                                 : k == 1 ? noirs
                                                                          : ignores);
            PagesApercu[size_t(k)] = a;
            connect(a, &TPageApercu::LienActive, this,
                    [this, i](int position) { lienApercu(i, position); });
            page = a;
            break;
        }
        case 4:
        case 5:
        case 6:
        case 7:
        case 9:
        case 10:
        case 11:
        case 12:
        case 14:
        case 15:
        case 16:
        case TArbreOptions::kPageDNS:
        case TArbreOptions::kPageDerniersTests:
            page = creerPageListes(i);
            break;
        case TArbreOptions::kPageComptes:
            PageComptes = new TVueComptes(m_moteur.GestionComptesBis1);
            page = PageComptes;
            break;
        case TArbreOptions::kPageTrace:
            PageTrace = new TPageTrace;
            page = PageTrace;
            break;
        case TArbreOptions::kPageStats:
            // Computes each time it is brought to the front.
            PageStatistiques = new TPageStatistiques(m_moteur);
            page = PageStatistiques;
            break;
        case TArbreOptions::kPageMails:
            PageMails = new TVueMails(m_moteur);
            PageMails->OnAppliquer = [this] { BtnAppliquerClick(); };
            // The popup's list items go through the list editors, whose texts
            // Apply then sets.
            PageMails->Page().OnLireEditeurListe = [this](TListeFiltre liste) {
                if (TFrameInfoFiltres* f = cadreDeListe(liste))
                    return TListesFiltres::DecouperLignes(TListesOptions::TexteListe(f->Texte()));
                return m_moteur.ChercheSPAMs1.LignesListe(liste);
            };
            PageMails->Page().OnEcrireEditeurListe = [this](TListeFiltre liste,
                                                            const QByteArray& texte) {
                if (TFrameInfoFiltres* f = cadreDeListe(liste))
                    f->setTexte(TListesOptions::TexteMemo(texte));
                else
                    m_moteur.ChercheSPAMs1.DefinirListe(liste, texte);
            };
            page = PageMails;
            break;
        default: {
            // Filled by the pages still to come; the node already leads here.
            page = new QWidget;
            auto* l = new QVBoxLayout(page);
            auto* titre = new QLabel(TArbreOptions::Libelle(i), page);
            MarquerTexteProgramme(titre);
            QFont f = titre->font();
            f.setBold(true);
            f.setPointSize(f.pointSize() + 2);
            titre->setFont(f);
            l->addWidget(titre);
            l->addStretch();
        }
        }
        page->setObjectName(QLatin1String(TArbreOptions::Pages()[size_t(i)].Composant));
        // Its design caption, which the tree and the menus show translated.
        const TPageOptions& po = TArbreOptions::Pages()[size_t(i)];
        page->setWindowTitle(Res(po.Composant, po.Libelle));
        PageControl1->addWidget(page);
    }
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, &TFormKelvarin::surSelectionArbre);
}

void TFormKelvarin::creerBarre() {
    auto* barre = new QWidget(centralWidget());
    barre->setObjectName(QStringLiteral("PanelBas"));
    auto* h = new QHBoxLayout(barre);
    const auto bouton = [barre](const char* nom, const char16_t* texte) {
        auto* b = new QPushButton(Res(nom, texte), barre);
        b->setObjectName(QLatin1String(nom));
        b->setMinimumWidth(96);
        return b;
    };
    BtnReduire = bouton("BtnReduire", u"Réduire");
    BtnAppliquer = bouton("BtnAppliquer", u"Appliquer");
    BtnAnnuler = bouton("BtnAnnuler", u"Annuler");
    BtnAide = bouton("BtnAide", u"Aide");
    LabelVersion = new QLabel(barre);
    LabelVersion->setObjectName(QStringLiteral("LabelVersion"));
    h->addStretch(2);
    h->addWidget(BtnReduire);
    h->addSpacing(40);
    h->addWidget(BtnAppliquer);
    h->addSpacing(40);
    h->addWidget(BtnAnnuler);
    h->addSpacing(40);
    h->addWidget(BtnAide);
    h->addStretch(1);
    h->addWidget(LabelVersion);
    static_cast<QVBoxLayout*>(centralWidget()->layout())->addWidget(barre);
    BtnAide->setVisible(aide::Disponible());
    connect(BtnReduire, &QPushButton::clicked, this, &TFormKelvarin::Reduire);
    connect(BtnAppliquer, &QPushButton::clicked, this, &TFormKelvarin::BtnAppliquerClick);
    connect(BtnAnnuler, &QPushButton::clicked, this, &TFormKelvarin::BtnAnnulerClick);
    connect(BtnAide, &QPushButton::clicked, this, [this] {
        if (!aide::Afficher(m_sujetAide)) QApplication::beep();
    });
    modifie(false);
}

void TFormKelvarin::creerMenus() {
    MenuFichier = menuBar()->addMenu(Res("MnuFichier", u"Fichier"));
    MenuFichier->setObjectName(QStringLiteral("MnuFichier"));
    connect(action(MenuFichier, "MnuConfigOE", u"Configurer Thunderbird"), &QAction::triggered,
            this, &TFormKelvarin::ConfigurerClientCourrier);
    QAction* langue = action(MenuFichier, "MnuLangue", u"Choix de la langue de l'interface");
    langue->setVisible(false);
    connect(langue, &QAction::triggered, this, [this] {
        TFormLanguage d(this);
        d.exec();
    });
    MenuFichier->addSeparator();
    connect(action(MenuFichier, "MnuReduire", u"Réduire"), &QAction::triggered, this,
            &TFormKelvarin::Reduire);
    connect(action(MenuFichier, "MnuQuitter", u"Quitter"), &QAction::triggered, this,
            &TFormKelvarin::Quitter);

    MenuVoir = menuBar()->addMenu(Res("MnuVoir", u"Voir"));
    MenuVoir->setObjectName(QStringLiteral("MnuVoir"));

    MenuAide = menuBar()->addMenu(Res("MnuAideMenu", u"Aide"));
    MenuAide->setObjectName(QStringLiteral("MnuAideMenu"));
    QAction* a = action(MenuAide, "MnuAide", u"Aide");
    a->setVisible(aide::Disponible());
    connect(a, &QAction::triggered, this, [] {
        if (!aide::Afficher(100)) QApplication::beep();
    });
    connect(action(MenuAide, "MnuSite", u"Accès au site de Kelvarin (site)"), &QAction::triggered,
            this, [] { aide::OuvrirURL(LienSite(QStringLiteral("accueil"))); });
    connect(action(MenuAide, "MnuAideEnLigne", u"Accès à l'aide en ligne (site)"),
            &QAction::triggered, this, [] {
                if (!aide::OuvrirURL(LienSite(QStringLiteral("aide")))) QApplication::beep();
            });
    connect(action(MenuAide, "MnuDon", u"Faire un don pour Kelvarin (site)"), &QAction::triggered,
            this, [] {
                if (!aide::OuvrirURL(LienSite(QStringLiteral("don")))) QApplication::beep();
            });
    MenuAide->addSeparator();
    connect(action(MenuAide, "MnuAPropos", u"A propos"), &QAction::triggered, this, [this] {
        TFormAboutBox d(m_depart, m_moteur.Controleur().Reps().Installation,
                        m_moteur.Controleur().Reps().Travail, this);
        d.exec();
    });

    connect(m_icone, &TIconeNotification::PageDemandee, this,
            [this](int page) { OuvrirDepuisNotification(page); });
    connect(m_icone, &TIconeNotification::QuitterDemande, this, &TFormKelvarin::Quitter);
    connect(m_icone, &TIconeNotification::Basculer, this, &TFormKelvarin::Basculer);
}

void TFormKelvarin::brancherMoteur() {
    TControleur& c = m_moteur.Controleur();
    c.Branchements.AjouterIcone = [this] {
        // From now on closing the window only hides it.
        m_versTray = true;
        m_icone->AjouterIconeNotification();
    };
    c.Branchements.RetirerIcone = [this] { m_icone->RetirerIconeNotification(); };
    c.FenetreCachee = [this] { return !isVisible() || isMinimized(); };

    TEvenementsMoteur& ev = m_moteur.Evenements;
    connect(&ev, &TEvenementsMoteur::LigneTrace, PageTrace, &TPageTrace::Ajouter);
    connect(&ev, &TEvenementsMoteur::CommandeClient, m_icone, &TIconeNotification::CommandeClient);
    connect(&ev, &TEvenementsMoteur::Avertissement, this,
            [this](const QString& t) { TBoiteMessage::Avertir(isVisible() ? this : nullptr, t); });
    connect(&ev, &TEvenementsMoteur::Bip, this, [] { QApplication::beep(); });
    connect(&ev, &TEvenementsMoteur::NouvelleVersion, this, &TFormKelvarin::NouvelleVersion);
    const auto rafraichirComptes = [this] { PageComptes->Rafraichir(); };
    connect(&ev, &TEvenementsMoteur::SessionChangee, this, rafraichirComptes);
    connect(&ev, &TEvenementsMoteur::MessageJuge, this, rafraichirComptes);
    connect(&ev, &TEvenementsMoteur::SessionFermee, this, rafraichirComptes);
    connect(&ev, &TEvenementsMoteur::EtatBase, this, [this](int etat) {
        switch (etat) {
        case TEvenementsMoteur::ebChargement:
            m_icone->Etat(TAnimationIcone::Chargement());
            QApplication::setOverrideCursor(Qt::WaitCursor);
            break;
        case TEvenementsMoteur::ebSauvegarde:
            m_icone->Etat(TAnimationIcone::Sauvegarde());
            QApplication::setOverrideCursor(Qt::WaitCursor);
            break;
        default:
            m_icone->Etat(TAnimationIcone::Repos());
            while (QApplication::overrideCursor())
                QApplication::restoreOverrideCursor();
        }
    });
    connect(&ev, &TEvenementsMoteur::AvancementReconstruction, this,
            [this](const QString& ligne1, const QString& ligne2) {
                if (!m_miseAJour) m_miseAJour = new TFormMiseAJour(this);
                m_miseAJour->Avancement(ligne1, ligne2);
            });
    connect(&ev, &TEvenementsMoteur::FinReconstruction, this, [this] {
        if (m_miseAJour) m_miseAJour->Fin();
    });
    brancherListes();
    connect(&ev, &TEvenementsMoteur::Occupe, this, [this](bool occupe) {
        // While a long computation runs the pages ignore the user.
        TreeView1->setEnabled(!occupe);
        PageControl1->setEnabled(!occupe);
    });
}

bool TFormKelvarin::Demarrer(const std::function<void(const QString&)>& etape) {
    TControleur& c = m_moteur.Controleur();
    c.OnEtape = etape;
    const bool ok = c.Demarrer();
    c.OnEtape = nullptr;
    ConfigVersEcran();
    // Help is set up and nothing is pending at the end of start-up.
    modifie(false);
    return ok;
}

void TFormKelvarin::ConfigVersEcran() {
    const TConfig& c = Config();
    const TSaisieOptions s = SaisieDepuisConfig(c);
    PageGeneral->Charger(s);
    PageInfosSpams->Charger(s);
    m_icone->AnimerIcone = c.AnimerIcone;
    MenuFichier->findChild<QAction*>(QStringLiteral("MnuLangue"))
        ->setVisible(c.TraductionInterface);
    PageComptes->Rafraichir();
    chargerListes();
    AppliquerMode(c.Modefonctionnement == 0);
}

void TFormKelvarin::AppliquerMode(bool simple) {
    if (TreeView1->topLevelItemCount() > 0 && m_modeArbre == (simple ? 1 : 0)) {
        PageConfig->MontrerMode(simple);
        return;
    }
    Config().Modefonctionnement = simple ? 0 : 1;
    m_modeArbre = simple ? 1 : 0;
    m_construction = true;
    TreeView1->clear();
    const QList<TNoeudOptions> noeuds = TArbreOptions::Construire(simple);
    QList<QTreeWidgetItem*> items;
    for (const TNoeudOptions& n : noeuds) {
        QTreeWidgetItem* item =
            n.Parent < 0 ? new QTreeWidgetItem(TreeView1) : new QTreeWidgetItem(items[n.Parent]);
        item->setText(0, n.Libelle);
        item->setData(0, kRolePage, n.Page);
        item->setSizeHint(0, QSize(0, 20));
        items.append(item);
    }
    TreeView1->expandAll();
    for (TPageApercu* a : PagesApercu)
        if (a) a->AppliquerMode(simple);
    modeListes(simple);
    PageConfig->MontrerMode(simple);

    // "Voir" and the notification menu list the root nodes.
    const QList<TNoeudOptions> racines = TArbreOptions::Racines(simple);
    MenuVoir->clear();
    for (const TNoeudOptions& n : racines) {
        QAction* a = MenuVoir->addAction(n.Libelle);
        a->setData(n.Page);
        connect(a, &QAction::triggered, this, [this, p = n.Page] { AfficherPage(p); });
    }
    m_icone->ConstruireMenu(racines);
    // Any switch of mode shows the first page.
    selectionnerNoeud(TArbreOptions::kPageConfig);
    changerPage(TArbreOptions::kPageConfig);
    m_construction = false;
}

void TFormKelvarin::selectionnerNoeud(int page) {
    QTreeWidgetItemIterator it(TreeView1);
    for (; *it; ++it) {
        if ((*it)->data(0, kRolePage).toInt() != page) continue;
        const QSignalBlocker bloque(TreeView1);
        TreeView1->setCurrentItem(*it);
        return;
    }
}

int TFormKelvarin::PageCourante() const {
    return PageControl1->currentIndex();
}

bool TFormKelvarin::Occupe() const {
    const TBranchements& b = m_moteur.Controleur().Branchements;
    return b.CalculEnCours && b.CalculEnCours();
}

bool TFormKelvarin::Modifie() const {
    return BtnAppliquer->isEnabled();
}

void TFormKelvarin::modifie(bool actif) {
    BtnAppliquer->setEnabled(actif);
    BtnAnnuler->setEnabled(actif);
}

bool TFormKelvarin::AfficherPage(int page) {
    if (Occupe() || page < 0 || page >= TArbreOptions::kNbPages) return false;
    if (!TArbreOptions::PageVisible(page, ModeSimple())) return false;
    if (page == PageCourante()) return true;
    if (TArbreOptions::DemanderAvantDeQuitter(PageCourante(), Modifie())) {
        const auto r = TBoiteMessage::Afficher(
            this, TBoiteMessage::fmOuiNonAnnuler,
            Res("princ83", u"Mémoriser les changements dans la configuration ?"));
        if (r == TBoiteMessage::rpAnnuler) return false;
        if (r == TBoiteMessage::rpOui) BtnAppliquerClick();
    }
    selectionnerNoeud(page);
    changerPage(page);
    return true;
}

void TFormKelvarin::surSelectionArbre(QTreeWidgetItem* courant, QTreeWidgetItem* precedent) {
    if (m_construction || !courant) return;
    const int page = courant->data(0, kRolePage).toInt();
    const int avant = PageCourante();
    if (!AfficherPage(page)) {
        // Refused: the tree goes back to the page still shown.
        const QSignalBlocker bloque(TreeView1);
        if (precedent)
            TreeView1->setCurrentItem(precedent);
        else
            selectionnerNoeud(avant);
        return;
    }
    m_sujetAide = TArbreOptions::AideSelection(page);
}

void TFormKelvarin::changerPage(int page) {
    // The review page lets its account go when another page shows, and lists
    // the accounts afresh when it comes back.
    if (PageMails && m_pagePrecedente == TArbreOptions::kPageMails && page != m_pagePrecedente)
        PageMails->Quitter();
    PageControl1->setCurrentIndex(page);
    if (PageMails && page == TArbreOptions::kPageMails && page != m_pagePrecedente)
        PageMails->Ouvrir();
    m_pagePrecedente = page;
    if (page == TArbreOptions::kPageGeneral) {
        const TServeurProxy& serveur = m_moteur.ServeurProxy();
        PageGeneral->MontrerPortEffectif(
            TextePortEffectif(Config().PortEcoute, pop3::resoudrePort(Config().PortEcoute),
                              serveur.Ecoute() ? serveur.PortLocal() : 0));
    }
    if (page == TArbreOptions::kPageTrace) PageTrace->AllerALaFin();
    if (page == TArbreOptions::kPageComptes) PageComptes->Rafraichir();
    m_sujetAide = TArbreOptions::AidePage(page);
}

void TFormKelvarin::lienApercu(int pageGroupe, int position) {
    const int page = TArbreOptions::PageEnfant(pageGroupe, position, ModeSimple());
    if (page >= 0) AfficherPage(page);
}

void TFormKelvarin::BtnAppliquerClick() {
    if (Occupe()) return;
    TSaisieOptions s = SaisieDepuisConfig(Config());
    PageGeneral->Lire(s);
    PageInfosSpams->Lire(s);
    QString erreur;
    if (!AppliquerOptions(m_moteur, s, saisieListes(), &erreur)) return;
    if (!erreur.isEmpty()) TBoiteMessage::Erreur(this, erreur);
    // The controls show what was stored (floors applied).
    const TSaisieOptions stocke = SaisieDepuisConfig(Config());
    PageGeneral->Charger(stocke);
    PageInfosSpams->Charger(stocke);
    m_icone->AnimerIcone = Config().AnimerIcone;
    PageComptes->Rafraichir();
    RafraichirListesDNS();
    modifie(false);
}

void TFormKelvarin::BtnAnnulerClick() {
    if (Occupe()) return;
    if (!m_moteur.Controleur().Annuler()) return;
    ConfigVersEcran();
    modifie(false);
}

void TFormKelvarin::Reduire() {
    if (Modifie()) {
        const auto r = TBoiteMessage::Afficher(
            this, TBoiteMessage::fmOuiNonAnnuler,
            Res("princ83", u"Mémoriser les changements dans la configuration ?"));
        if (r == TBoiteMessage::rpAnnuler) return;
        if (r == TBoiteMessage::rpOui) BtnAppliquerClick();
    }
    m_moteur.Controleur().SessionTerminee(); // the save timer
    MinimiserVersZone();
}

void TFormKelvarin::MinimiserVersZone() {
    if (TIconeNotification::ZoneDisponible() && m_icone->Ajoutee()) {
        hide();
        enregistrerBase();
    } else {
        // No notification area: the window stays on the task bar.
        showMinimized();
    }
}

void TFormKelvarin::enregistrerBase() {
    if (Occupe()) return;
    TBranchements& b = m_moteur.Controleur().Branchements;
    if (b.SauverBase) b.SauverBase();
    if (b.LibererBaseSiCachee) b.LibererBaseSiCachee(true);
}

void TFormKelvarin::OuvrirDepuisNotification(int page) {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
    if (page >= 0 && !Occupe()) AfficherPage(page);
}

void TFormKelvarin::Basculer() {
    if (isMinimized() || !isVisible())
        OuvrirDepuisNotification();
    else
        MinimiserVersZone();
}

void TFormKelvarin::SignalAutreInstance() {
    Trace(QStringLiteral("Signal d'une autre instance : WM_MESSAGE_PARAM_KELVARIN"));
    QApplication::beep();
    m_icone->RetirerIconeNotification();
    m_icone->AjouterIconeNotification();
    OuvrirDepuisNotification();
}

void TFormKelvarin::ConfigurerClientCourrier() {
    const TConfig& c = Config();
    TThunderbird thunderbird(QDir::homePath());
    // The port the proxy listens on now, else the one it is set to.
    const quint16 ecoute = m_moteur.ServeurProxy().Ecoute() ? m_moteur.ServeurProxy().PortLocal()
                                                            : pop3::resoudrePort(c.PortEcoute);
    thunderbird.PortEcoute = ecoute;
    TConfigComptesCourrier regles(thunderbird, c.FormatParametre, pop3::resoudrePort(c.PortMail));
    TFormConfigOE d(regles, this);
    d.exec();
}

void TFormKelvarin::NouvelleVersion() {
    const QString texte = Res("princ112", u"Une nouvelle version de Kelvarin est disponible.") +
                          QStringLiteral("\r\n\r\n") +
                          Res("princ113", u"Accéder au site de Kelvarin pour charger la nouvelle "
                                          u"version ?");
    if (TBoiteMessage::Afficher(isVisible() ? this : nullptr, TBoiteMessage::fmOuiNon, texte) ==
        TBoiteMessage::rpOui)
        aide::OuvrirURL(LienSite(QStringLiteral("version")));
}

void TFormKelvarin::Quitter() {
    m_versTray = false;
    close();
}

void TFormKelvarin::closeEvent(QCloseEvent* e) {
    switch (DecisionFermeture(m_versTray, ParamPresent(u"/Quitter"), ParamPresent(u"/QuitterSans"),
                              Occupe())) {
    case dfRefuser:
        QApplication::beep();
        e->ignore();
        return;
    case dfCacher:
        m_base->EcranVersConfig();
        Trace(QStringLiteral("Close"));
        e->ignore();
        MinimiserVersZone();
        return;
    case dfDemander:
        if (!TFormQuitter::Demander(this)) {
            m_versTray = true;
            e->ignore();
            return;
        }
        m_icone->RetirerIconeNotification();
        break;
    case dfFermer:
        break;
    }
    m_base->EcranVersConfig();
    Trace(QStringLiteral("Close"));
    e->accept();
    emit QuitterApplication();
}

void TFormKelvarin::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isMinimized() &&
        TIconeNotification::ZoneDisponible() && m_icone->Ajoutee()) {
        // Minimising hides the window in the notification area.
        hide();
        enregistrerBase();
    }
}

void TFormKelvarin::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (PageCourante() == TArbreOptions::kPageTrace) PageTrace->AllerALaFin();
}
