#include "ui/vue_mails.h"

#include "core/cp1252.h"
#include "i18n/resources.h"
#include "proxy/moteur.h"
#include "ui/boite_message.h"
#include "ui/form_config_compte.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

Q_DECLARE_METATYPE(TCouleurPage)
Q_DECLARE_METATYPE(TMotPage)

namespace {

constexpr int kRoleFond = Qt::UserRole + 1;
constexpr int kRoleMot = Qt::UserRole + 2;

QColor resoudre(const TCouleurPage& c, const QPalette& p) {
    switch (c.Role) {
    case TCouleurPage::crRGB:
        return QColor::fromRgb(QRgb(c.Rgb));
    case TCouleurPage::crFenetreSombre:
        return QColor::fromRgb(QRgb(TCouleurPage::Assombrir(p.base().color().rgb() & 0xffffff)));
    case TCouleurPage::crBouton:
        return p.button().color();
    case TCouleurPage::crTexteFenetre:
        return p.text().color();
    default:
        return p.base().color();
    }
}

Qt::Alignment alignement(TCellulePage::TAlignement a) {
    switch (a) {
    case TCellulePage::alCentre:
        return Qt::AlignCenter;
    case TCellulePage::alDroite:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

const char16_t* const kAffichages[] = {u"Tous les messages",
                                       u"Que les spams",
                                       u"Que les messages non-spams",
                                       u"Que les incompatibilités",
                                       u"Que les messages en listes noires",
                                       u"Que les messages en listes blanches"};

const char16_t* const kModes[] = {
    u"Mode 0 (pas en-tête, html)",
    u"Mode 1 (pas en-tête, pas html)",
    u"Mode 2 (pas en-tête, pas html si mode texte existe)",
    u"Mode 3 (en-tête, html)",
    u"Mode 4 (en-tête, pas html)",
    u"Mode 5 (en-tête, pas html si mode texte existe)",
    u"Mode 6 (pas en-tête, html, 15 meilleurs mots)",
    u"Mode 7 (pas en-tête, pas html, 15 meilleurs mots)",
    u"Mode 8 (pas en-tête, pas html si texte existe, 15 meilleurs mots)",
    u"Mode 9 (en-tête, html, 15 meilleurs mots)",
    u"Mode 10 (en-tête, pas html, 15 meilleurs mots)",
    u"Mode 11 (en-tête, pas html si texte existe, 15 meilleurs mots)"};

struct TTexteItem {
    const char* Nom;
    const char16_t* Texte;
};
const TTexteItem kItemsListes[] = {
    {"MnuAjoutMail1", u"Ajouter mail émetteur dans la liste blanche"},
    {"MnuSupprMail1", u"Supprimer mail émetteur de la liste blanche"},
    {"MnuAjoutMail2", u"Ajouter mail émetteur dans la liste noire"},
    {"MnuSupprMail2", u"Supprimer mail émetteur de la liste noire"},
    {"MnuAjoutSujet1", u"Ajouter sujet dans la liste blanche"},
    {"MnuSupprSujet1", u"Supprimer sujet de la liste blanche"},
    {"MnuAjoutSujet2", u"Ajouter sujet dans la liste noire"},
    {"MnuSupprSujet2", u"Supprimer sujet de la liste noire"}};
const int kTagsListes[] = {1, -1, 2, -2, 3, -3, 4, -4};

} // namespace

// The grid's rows, each cell as the page computes it.
class TModeleMails : public QAbstractTableModel {
public:
    TModeleMails(TPageMails& page, QObject* parent) : QAbstractTableModel(parent), m_page(page) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_page.NbLignes();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : TPageMails::kNbColonnes;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::TextAlignmentRole:
        case kRoleFond: {
            const TCellulePage c = m_page.Cellule(index.row() + 1, index.column());
            if (role == Qt::DisplayRole) return c.Texte;
            if (role == Qt::TextAlignmentRole) return QVariant::fromValue(alignement(c.Alignement));
            return QVariant::fromValue(c.Fond);
        }
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal) return {};
        if (role == Qt::DisplayRole) return m_page.Cellule(0, section).Texte;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        return {};
    }
    void reinitialiser() {
        beginResetModel();
        endResetModel();
    }
    void cellulesChangees() {
        if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }

private:
    TPageMails& m_page;
};

namespace {

// Cells on the page's background; the selected row framed in the highlight colour.
class TDelegueGrille : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        p->save();
        const QPalette& pal = option.palette;
        const auto fond = index.data(kRoleFond).value<TCouleurPage>();
        p->fillRect(option.rect, resoudre(fond, pal));
        p->setPen(pal.text().color());
        const QRect r = option.rect.adjusted(2, 0, -2, 0);
        const auto a = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt());
        p->drawText(
            r, int(a),
            option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, r.width()));
        if (option.state & QStyle::State_Selected) {
            p->setPen(pal.highlight().color());
            p->drawLine(option.rect.topLeft(), option.rect.topRight());
            p->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        }
        p->restore();
    }
};

// A token: the word on the left, spam count (red), good count (green) and the
// probability (red from 50.0 % up) on the right.
class TDelegueMots : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto mot = index.data(kRoleMot).value<TMotPage>();
        p->save();
        QColor fond = option.palette.base().color();
        if (index.row() % 2 == 1)
            fond = QColor::fromRgb(QRgb(TCouleurPage::Assombrir(fond.rgb() & 0xffffff)));
        p->fillRect(option.rect, option.state & QStyle::State_Selected
                                     ? option.palette.highlight().color()
                                     : fond);
        const QRect r = option.rect;
        const QFontMetrics& fm = option.fontMetrics;
        const int w1 = fm.horizontalAdvance(QStringLiteral("99.9%"));
        const int w2 = fm.horizontalAdvance(QStringLiteral("999999"));
        p->setPen(option.palette.text().color());
        p->drawText(QRect(r.left() + 2, r.top(), r.width(), r.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, cp1252::versUnicode(mot.Mot));
        const QColor rouge(255, 0, 0), vert(0, 128, 0);
        if (mot.Qualifie) {
            p->setPen(mot.Proba >= 50 ? rouge : vert);
            p->drawText(QRect(r.right() - 10 - w1, r.top(), w1, r.height()),
                        Qt::AlignRight | Qt::AlignVCenter, TextePourcentage(mot.Proba));
        }
        p->setPen(vert);
        p->drawText(QRect(r.right() - 10 - w1 - w2, r.top(), w2, r.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, QString::number(mot.Bon));
        p->setPen(rouge);
        p->drawText(QRect(r.right() - 10 - w1 - 2 * w2, r.top(), w2, r.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, QString::number(mot.Spam));
        p->restore();
    }
};

QPlainTextEdit* memo(QWidget* parent, const char* nom) {
    auto* m = new QPlainTextEdit(parent);
    m->setObjectName(QLatin1String(nom));
    m->setReadOnly(true);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    return m;
}

} // namespace

TVueMails::TVueMails(TMoteur& moteur, QWidget* parent)
    : QWidget(parent), m_moteur(moteur), m_page(std::make_unique<TPageMails>(moteur)) {
    creer();
    TPageMails& p = *m_page;
    p.OnQuestion = [this](const QString& q) {
        return TBoiteMessage::Afficher(this, TBoiteMessage::fmOuiNon, q) == TBoiteMessage::rpOui;
    };
    p.OnRefus = [this](const QString& t) {
        QApplication::beep();
        TBoiteMessage::Avertir(this, t);
    };
    p.OnBip = [] { QApplication::beep(); };
    p.OnListeChangee = [this] { redessiner(true); };
    p.OnCellulesChangees = [this] { redessiner(false); };
    p.OnAppliquer = [this] {
        if (OnAppliquer) OnAppliquer();
    };
    connect(&m_moteur.Evenements, &TEvenementsMoteur::Occupe, this, &TVueMails::occupe);
}

TVueMails::~TVueMails() = default;

void TVueMails::creer() {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);

    PanelMailsCompte = new QWidget(this);
    PanelMailsCompte->setObjectName(QStringLiteral("PanelMailsCompte"));
    auto* h = new QHBoxLayout;
    const auto label = [this](const char* nom, const char16_t* texte) {
        auto* l = new QLabel(Res(nom, texte), PanelMailsCompte);
        l->setObjectName(QLatin1String(nom));
        return l;
    };
    const auto bouton = [](QWidget* parent, const char* nom, const char16_t* texte) {
        auto* b = new QPushButton(Res(nom, texte), parent);
        b->setObjectName(QLatin1String(nom));
        return b;
    };
    CBoxCompte = new QComboBox(PanelMailsCompte);
    CBoxCompte->setObjectName(QStringLiteral("CBoxCompte"));
    CBoxCompte->setMinimumContentsLength(18);
    BtnVoirMail = bouton(PanelMailsCompte, "BtnVoirMail", u"voir");
    EditNbJour = new QLineEdit(PanelMailsCompte);
    EditNbJour->setObjectName(QStringLiteral("EditNbJour"));
    EditNbHeure = new QLineEdit(PanelMailsCompte);
    EditNbHeure->setObjectName(QStringLiteral("EditNbHeure"));
    for (QLineEdit* e : {EditNbJour, EditNbHeure}) {
        // Digits only.
        e->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
        e->setMaximumWidth(48);
        connect(e, &QLineEdit::returnPressed, this, &TVueMails::Rafraichir);
    }
    BtnCherche = bouton(PanelMailsCompte, "BtnCherche", u"Cherche");
    CBoxAffichage = new QComboBox(PanelMailsCompte);
    CBoxAffichage->setObjectName(QStringLiteral("CBoxAffichage"));
    for (int i = 0; i < 6; ++i)
        CBoxAffichage->addItem(
            Res(qPrintable(QStringLiteral("CBoxAffichage%1").arg(i)), kAffichages[i]));
    LabelNbMessage = new QLabel(PanelMailsCompte);
    LabelNbMessage->setObjectName(QStringLiteral("LabelNbMessage"));
    // Two rows: the account and its age, then the display filter and the count.
    auto* ligne2 = new QHBoxLayout;
    auto* deux = new QVBoxLayout(PanelMailsCompte);
    deux->setContentsMargins(0, 0, 0, 0);
    deux->addLayout(h);
    deux->addLayout(ligne2);
    h->addWidget(label("LabelCompte", u"Sur le compte :"));
    h->addWidget(CBoxCompte);
    h->addWidget(BtnVoirMail);
    h->addSpacing(12);
    h->addWidget(label("LabelAge", u"Age :"));
    h->addWidget(EditNbJour);
    h->addWidget(label("LabelJours", u"jours, "));
    h->addWidget(EditNbHeure);
    h->addWidget(label("LabelHeures", u"heures"));
    h->addWidget(BtnCherche);
    h->addStretch(1);
    ligne2->addWidget(label("LabelAffichage", u"Affichage :"));
    ligne2->addWidget(CBoxAffichage);
    ligne2->addSpacing(12);
    ligne2->addWidget(LabelNbMessage, 1);
    v->addWidget(PanelMailsCompte);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("SplitterMails"));
    auto* haut = new QWidget(split);
    auto* vh = new QVBoxLayout(haut);
    vh->setContentsMargins(0, 0, 0, 0);
    SGridMails = new QTableView(haut);
    SGridMails->setObjectName(QStringLiteral("SGridMails"));
    m_modele = new TModeleMails(*m_page, this);
    SGridMails->setModel(m_modele);
    SGridMails->setItemDelegate(new TDelegueGrille(SGridMails));
    SGridMails->setSelectionBehavior(QAbstractItemView::SelectRows);
    SGridMails->setSelectionMode(QAbstractItemView::SingleSelection);
    SGridMails->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SGridMails->verticalHeader()->hide();
    SGridMails->setShowGrid(true);
    SGridMails->setWordWrap(false);
    SGridMails->setContextMenuPolicy(Qt::CustomContextMenu);
    SGridMails->installEventFilter(this);
    SGridMails->viewport()->installEventFilter(this);
    vh->addWidget(SGridMails, 1);

    auto* panel5 = new QWidget(haut);
    panel5->setObjectName(QStringLiteral("Panel5"));
    auto* hb = new QHBoxLayout(panel5);
    hb->setContentsMargins(0, 0, 0, 0);
    BtnPasSpam = bouton(panel5, "BtnPasSpam", u"=>pas spam");
    BtnPasSpam->setToolTip(
        Res("BtnPasSpamHint", u"Indiquer que le message sélectionné N'EST PAS un spam"));
    BtnSpam = bouton(panel5, "BtnSpam", u"=>spam");
    BtnSpam->setToolTip(Res("BtnSpamHint", u"Indiquer que le message sélectionné EST un spam"));
    BtnBayesienTotal = bouton(panel5, "BtnBayesienTotal", u"RAZ bayes");
    BtnBayesienTotal->setToolTip(Res("BtnBayesienTotalHint",
                                     u"Réinitialiser les filtres bayesiens, et réappliquer sur "
                                     u"tous les messages existants."));
    CBoxModeBayes = new QComboBox(panel5);
    CBoxModeBayes->setObjectName(QStringLiteral("CBoxModeBayes"));
    for (int i = 0; i < 12; ++i)
        CBoxModeBayes->addItem(
            Res(qPrintable(QStringLiteral("CBoxModeBayes%1").arg(i)), kModes[i]));
    CBoxCalculBayes = new QComboBox(panel5);
    CBoxCalculBayes->setObjectName(QStringLiteral("CBoxCalculBayes"));
    const char16_t* const calculs[] = {u"Calcul : moyenne", u"Calcul : khi-deux"};
    for (int i = 0; i < 2; ++i)
        CBoxCalculBayes->addItem(
            Res(qPrintable(QStringLiteral("CBoxCalculBayes%1").arg(i)), calculs[i]));
    CBoxCalculBayes->setToolTip(Res("CBoxCalculBayesHint",
                                    u"Combinaison des probabilités des mots : la moyenne, ou le "
                                    u"khi-deux (moins d'erreurs)"));
    hb->addWidget(BtnPasSpam);
    hb->addWidget(BtnSpam);
    hb->addStretch(1);
    hb->addWidget(BtnBayesienTotal);
    hb->addWidget(CBoxModeBayes);
    hb->addWidget(CBoxCalculBayes);
    vh->addWidget(panel5);

    auto* bas = new QSplitter(Qt::Horizontal, split);
    bas->setObjectName(QStringLiteral("PanelMailsBas"));
    PageCtrlPlusEntete = new QTabWidget(bas);
    PageCtrlPlusEntete->setObjectName(QStringLiteral("PageCtrlPlusEntete"));
    MemoMailsEntetes = memo(PageCtrlPlusEntete, "MemoMailsEntetes");
    MemoInfo = memo(PageCtrlPlusEntete, "MemoInfo");
    PageCtrlPlusEntete->addTab(MemoMailsEntetes, Res("PageCtrlPlusEntete", u"En-têtes du message"));
    PageCtrlPlusEntete->addTab(MemoInfo, Res("PageCtrlPlusEntete", u"Info"));
    auto* droite = new QWidget(bas);
    auto* vd = new QVBoxLayout(droite);
    vd->setContentsMargins(0, 0, 0, 0);
    auto* corps = new QLabel(Res("LabelCorps", u"Corps du message"), droite);
    corps->setObjectName(QStringLiteral("LabelCorps"));
    vd->addWidget(corps);
    PageCtrlPlus3 = new QTabWidget(droite);
    PageCtrlPlus3->setObjectName(QStringLiteral("PageCtrlPlus3"));
    MemoCorpsTexte = memo(PageCtrlPlus3, "MemoCorpsTexte");
    MemoCorpsHtml = memo(PageCtrlPlus3, "MemoCorpsHtml");
    auto* pageBayes = new QWidget(PageCtrlPlus3);
    pageBayes->setObjectName(QStringLiteral("TabSheetBayes"));
    auto* vb = new QVBoxLayout(pageBayes);
    vb->setContentsMargins(0, 0, 0, 0);
    vb->setSpacing(0);
    TabControlTri = new QTabBar(pageBayes);
    TabControlTri->setObjectName(QStringLiteral("TabControlTri"));
    TabControlTri->addTab(Res("TabControlTri", u"Tri alphabétique"));
    TabControlTri->addTab(Res("TabControlTri", u"Proba spam"));
    TabControlTri->addTab(Res("TabControlTri", u"Proba bon"));
    ListBoxCorpsBayes = new QListWidget(pageBayes);
    ListBoxCorpsBayes->setObjectName(QStringLiteral("ListBoxCorpsBayes"));
    ListBoxCorpsBayes->setItemDelegate(new TDelegueMots(ListBoxCorpsBayes));
    vb->addWidget(TabControlTri);
    vb->addWidget(ListBoxCorpsBayes, 1);
    PageCtrlPlus3->addTab(MemoCorpsTexte, Res("PageCtrlPlus3", u"Texte"));
    PageCtrlPlus3->addTab(MemoCorpsHtml, Res("PageCtrlPlus3", u"Html"));
    PageCtrlPlus3->addTab(pageBayes, Res("PageCtrlPlus3", u"Bayes"));
    vd->addWidget(PageCtrlPlus3, 1);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    v->addWidget(split, 1);

    PopupMessage = new QMenu(this);
    PopupMessage->setObjectName(QStringLiteral("PopupMessage"));
    for (int i = 0; i < 8; ++i) {
        QAction* a = PopupMessage->addAction(Res(kItemsListes[i].Nom, kItemsListes[i].Texte));
        a->setObjectName(QLatin1String(kItemsListes[i].Nom));
        a->setData(kTagsListes[i]);
        connect(a, &QAction::triggered, this, [this, t = kTagsListes[i]] { ActionListe(t); });
        ItemsListes << a;
    }
    PopupMessage->addSeparator();
    MnuSupprimerMsg =
        PopupMessage->addAction(Res("MnuSupprimerMsg", u"Supprimer le message sélectionné"));
    MnuSupprimerMsg->setObjectName(QStringLiteral("MnuSupprimerMsg"));
    MnuSupprimerMsg->setShortcut(QKeySequence(Qt::Key_Delete));
    MnuRemettreMsg = PopupMessage->addAction(Res("MnuRemettreMsg", u"Ré-émettre le message"));
    MnuRemettreMsg->setObjectName(QStringLiteral("MnuRemettreMsg"));
    connect(MnuSupprimerMsg, &QAction::triggered, this, &TVueMails::SupprimerMessage);
    connect(MnuRemettreMsg, &QAction::triggered, this, &TVueMails::ReemettreMessage);

    connect(CBoxCompte, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_remplissage) Rafraichir();
    });
    connect(CBoxAffichage, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_remplissage) Rafraichir();
    });
    connect(BtnCherche, &QPushButton::clicked, this, &TVueMails::Rafraichir);
    connect(BtnVoirMail, &QPushButton::clicked, this, &TVueMails::VoirCompte);
    connect(BtnPasSpam, &QPushButton::clicked, this, [this] { Corriger(false); });
    connect(BtnSpam, &QPushButton::clicked, this, [this] { Corriger(true); });
    connect(BtnBayesienTotal, &QPushButton::clicked, this, &TVueMails::Reconstruire);
    connect(CBoxModeBayes, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_remplissage) ChangerMode(i);
    });
    connect(CBoxCalculBayes, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_remplissage) ChangerCalcul(i);
    });
    connect(SGridMails->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { AfficherSelection(); });
    connect(SGridMails, &QWidget::customContextMenuRequested, this, &TVueMails::menuContextuel);
    connect(TabControlTri, &QTabBar::currentChanged, this, [this] { AfficherMots(); });
    BtnPasSpam->setEnabled(false);
    BtnSpam->setEnabled(false);
}

void TVueMails::Ouvrir() {
    m_remplissage = true;
    CBoxCompte->clear();
    CBoxCompte->addItems(m_page->NomsComptes());
    CBoxCompte->setCurrentIndex(-1);
    EditNbJour->setText(cp1252::versUnicode(m_page->NbJour()));
    EditNbHeure->setText(cp1252::versUnicode(m_page->NbHeure()));
    CBoxAffichage->setCurrentIndex(m_page->Affichage());
    if (const TFiltreBayes* f = m_moteur.FiltreBayes()) {
        CBoxModeBayes->setCurrentIndex(f->ModeBayes >= 0 && f->ModeBayes <= 11 ? f->ModeBayes : -1);
        CBoxCalculBayes->setCurrentIndex(f->CalculBayes);
    }
    m_remplissage = false;
    SGridMails->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_page->Ouvrir();
    AfficherSelection();
}

void TVueMails::Quitter() {
    m_page->Quitter();
    m_modele->reinitialiser();
    viderPanneaux();
}

void TVueMails::Rafraichir() {
    if (m_page->Occupe()) return;
    m_page->ChoisirCompte(CBoxCompte->currentIndex());
    m_page->setNbJour(cp1252::depuisUnicode(EditNbJour->text()));
    m_page->setNbHeure(cp1252::depuisUnicode(EditNbHeure->text()));
    m_page->setAffichage(std::max(0, CBoxAffichage->currentIndex()));
    m_page->Rafraichir();
}

void TVueMails::redessiner(bool lignes) {
    if (!lignes) {
        m_modele->cellulesChangees();
        return;
    }
    const int avant = LigneSelectionnee();
    m_modele->reinitialiser();
    LabelNbMessage->setText(m_page->TexteNbMessages());
    dimensionner();
    if (avant > 0 && avant <= m_page->NbLignes()) SelectionnerLigne(avant);
    AfficherSelection();
}

void TVueMails::dimensionner() {
    const QFontMetrics fm = SGridMails->fontMetrics();
    const auto w = [&fm](const QString& t) { return fm.horizontalAdvance(t); };
    const int pct = w(QStringLiteral("99.9%")) + 8;
    const int largeurs[] = {
        w(QStringLiteral("spam")) + 4,
        w(QStringLiteral("oui")) + 4,
        pct,
        0,
        0,
        w(QStringLiteral("99 999ko")) + 4,
        w(QDateTime::currentDateTime().toString(TPageMails::FormatReception())) + 8,
        pct,
        pct,
        w(QStringLiteral("to:")) + 4};
    int fixes = 0;
    for (int c = 0; c < TPageMails::kNbColonnes; ++c) {
        if (c == 3 || c == 4) continue;
        // The cells keep a margin, and the titles are wider than the
        // design's widths in some fonts.
        const int largeur = std::max(largeurs[c] + 6, w(m_page->Cellule(0, c).Texte) + 12);
        SGridMails->setColumnWidth(c, largeur);
        fixes += largeur;
    }
    const int sujet = std::max(60, (SGridMails->viewport()->width() - fixes - 8) / 2);
    SGridMails->setColumnWidth(3, sujet);
    SGridMails->setColumnWidth(4, sujet - 1);
}

int TVueMails::LigneSelectionnee() const {
    const QModelIndex i = SGridMails->currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

void TVueMails::SelectionnerLigne(int ligne) {
    if (ligne < 1 || ligne > m_page->NbLignes()) {
        SGridMails->clearSelection();
        SGridMails->setCurrentIndex({});
        return;
    }
    SGridMails->selectRow(ligne - 1);
    SGridMails->setCurrentIndex(m_modele->index(ligne - 1, 0));
}

void TVueMails::viderPanneaux() {
    MemoMailsEntetes->clear();
    MemoInfo->clear();
    MemoCorpsTexte->clear();
    MemoCorpsHtml->clear();
    ListBoxCorpsBayes->clear();
    BtnPasSpam->setEnabled(false);
    BtnSpam->setEnabled(false);
}

void TVueMails::AfficherSelection() {
    if (m_page->Occupe()) return;
    viderPanneaux();
    const int ligne = LigneSelectionnee();
    if (ligne <= 0) {
        PageCtrlPlus3->setCurrentWidget(MemoCorpsTexte);
        return;
    }
    const TDetailPage d = m_page->Detail(ligne);
    if (!d.Record) return;
    BtnSpam->setEnabled(d.SpamActif);
    BtnPasSpam->setEnabled(d.PasSpamActif);
    MemoMailsEntetes->setPlainText(d.Entetes);
    // Disabling the page shown moves the tabs on by themselves: decide from
    // the page shown before.
    const int montree = PageCtrlPlus3->currentIndex();
    PageCtrlPlus3->setTabEnabled(0, d.TexteActif);
    PageCtrlPlus3->setTabEnabled(1, d.HtmlActif);
    if (PageCtrlPlus3->isTabEnabled(montree))
        PageCtrlPlus3->setCurrentIndex(montree);
    else
        PageCtrlPlus3->setCurrentIndex(d.TexteActif ? 0 : d.HtmlActif ? 1 : 2);
    MemoCorpsTexte->setPlainText(d.Texte);
    MemoCorpsHtml->setPlainText(d.Html);
    AfficherMots();
    MemoInfo->setPlainText(d.Info.join(QLatin1Char('\n')));
}

void TVueMails::AfficherMots() {
    ListBoxCorpsBayes->clear();
    const int ligne = LigneSelectionnee();
    if (ligne <= 0) return;
    for (const TMotPage& m : m_page->Mots(ligne, TabControlTri->currentIndex())) {
        auto* item = new QListWidgetItem(m.Texte, ListBoxCorpsBayes);
        item->setData(kRoleMot, QVariant::fromValue(m));
    }
}

void TVueMails::PreparerPopup(int ligne) {
    const QList<TItemPopup> items = m_page->ItemsPopup(ligne);
    for (QAction* a : ItemsListes) {
        a->setVisible(false);
        for (const TItemPopup& i : items)
            if (i.Tag == a->data().toInt()) a->setVisible(i.Visible);
    }
}

void TVueMails::menuContextuel(const QPoint& pos) {
    if (m_page->Occupe() || QApplication::keyboardModifiers() != Qt::NoModifier) return;
    const QModelIndex i = SGridMails->indexAt(pos);
    if (!i.isValid()) return;
    SelectionnerLigne(i.row() + 1);
    PreparerPopup(i.row() + 1);
    const QRect cellule = SGridMails->visualRect(i);
    PopupMessage->popup(SGridMails->viewport()->mapToGlobal(QPoint(pos.x(), cellule.bottom() + 1)));
}

void TVueMails::Corriger(bool spam) {
    const int ligne = LigneSelectionnee();
    if (m_page->Corriger(ligne, spam) == TPageMails::raFait) {
        const TDetailPage d = m_page->Detail(ligne);
        BtnSpam->setEnabled(d.SpamActif);
        BtnPasSpam->setEnabled(d.PasSpamActif);
        MemoInfo->setPlainText(d.Info.join(QLatin1Char('\n')));
    }
    SGridMails->setFocus();
}

void TVueMails::SupprimerMessage() {
    m_page->Supprimer(LigneSelectionnee());
}

void TVueMails::ReemettreMessage() {
    m_page->Reemettre(LigneSelectionnee());
}

void TVueMails::ActionListe(int tag) {
    m_page->ActionListe(LigneSelectionnee(), tag);
}

void TVueMails::VoirCompte() {
    const int i = CBoxCompte->currentIndex();
    TUnCompteBis* compte = i >= 0 ? m_moteur.GestionComptesBis1.Compte(i) : nullptr;
    if (!compte) return;
    TFormConfigCompte d(*compte, this);
    d.exec();
}

void TVueMails::ChangerMode(int mode) {
    if (m_page->ChangerMode(mode) == TPageMails::raOccupe) {
        // Back to the mode in force.
        m_remplissage = true;
        if (const TFiltreBayes* f = m_moteur.FiltreBayes())
            CBoxModeBayes->setCurrentIndex(f->ModeBayes);
        m_remplissage = false;
        return;
    }
    AfficherSelection();
}

void TVueMails::ChangerCalcul(int calcul) {
    if (m_page->ChangerCalcul(calcul) == TPageMails::raOccupe) {
        m_remplissage = true;
        if (const TFiltreBayes* f = m_moteur.FiltreBayes())
            CBoxCalculBayes->setCurrentIndex(f->CalculBayes);
        m_remplissage = false;
        return;
    }
    AfficherSelection();
}

void TVueMails::Reconstruire() {
    m_page->RazBayes(true);
}

void TVueMails::occupe(bool actif) {
    for (QWidget* w : std::initializer_list<QWidget*>{CBoxCompte, CBoxAffichage, EditNbJour,
                                                      EditNbHeure, BtnCherche})
        w->setEnabled(!actif);
}

bool TVueMails::eventFilter(QObject* o, QEvent* e) {
    if (o == SGridMails) {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Delete) {
            SupprimerMessage();
            return true;
        }
    }
    if (o == SGridMails->viewport() && e->type() == QEvent::Resize) dimensionner();
    return QWidget::eventFilter(o, e);
}
