#include "ui/page_statistiques.h"

#include "core/cp1252.h"
#include "core/date_time.h"
#include "i18n/resources.h"
#include "proxy/moteur.h"
#include "ui/boite_message.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

QColor couleur(TCelluleStats::TCouleur c, const QColor& normal) {
    switch (c) {
    case TCelluleStats::csBleu:
        return QColor(0, 0, 0xFF);
    case TCelluleStats::csRouge:
        return QColor(0xFF, 0, 0);
    case TCelluleStats::csVert:
        return QColor(0, 0x80, 0);
    default:
        return normal;
    }
}

// Eight columns of equal width, 2 pixels from the left; the heading, average
// and total rows on the button face, day rows shaded alternately.
class TDelegueStats : public QStyledItemDelegate {
public:
    TDelegueStats(const TStatistiques& stats, QListWidget* liste)
        : QStyledItemDelegate(liste), m_stats(stats), m_liste(liste) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int ligne = index.row();
        const TStatistiques::TGenreLigne genre = m_stats.Genre(ligne);
        p->save();
        const QPalette& pal = option.palette;
        QColor fond = pal.base().color();
        if (genre != TStatistiques::glJour)
            fond = pal.button().color();
        else if (m_stats.Grisee(ligne))
            fond = QColor(fond.red() * 95 / 100, fond.green() * 95 / 100, fond.blue() * 95 / 100);
        const QRect r = option.rect;
        p->fillRect(r, fond);
        const int largeur = std::max(1, (m_liste->viewport()->width() - 24) / 8);
        const QFontMetrics& fm = option.fontMetrics;
        // The user's short date, or a narrower one for every row when the
        // column cannot hold the longest month.
        int plusLarge = 0;
        for (int mois = 1; mois <= 12; ++mois)
            plusLarge = std::max(plusLarge, fm.horizontalAdvance(QLocale().toString(
                                                QDate(2000, mois, 28), QLocale::ShortFormat)));
        const bool court = plusLarge > largeur - 3;
        const auto cellules = m_stats.Cellules(ligne, [court](QDate d) {
            return court ? QLocale().toString(d, QStringLiteral("dd/MM/yy"))
                         : QLocale().toString(d, QLocale::ShortFormat);
        });
        for (int k = 0; k < TStatistiques::kNbColonnes; ++k) {
            const TCelluleStats& c = cellules[size_t(k)];
            p->setPen(couleur(c.Couleur, pal.text().color()));
            const QRect zone(r.left() + 2 + k * largeur, r.top(), largeur - 3, r.height());
            const int alignement =
                Qt::AlignVCenter | (c.Centre ? Qt::AlignHCenter : Qt::AlignRight);
            // Headings wrap on their two lines; nothing spills into a neighbour.
            if (genre == TStatistiques::glEntete)
                p->drawText(zone, alignement | Qt::TextWordWrap, c.Texte);
            else
                p->drawText(zone, alignement, fm.elidedText(c.Texte, Qt::ElideRight, zone.width()));
        }
        if (genre == TStatistiques::glMoyenne) {
            p->setPen(Qt::black);
            p->drawLine(r.topLeft(), r.topRight());
        }
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int ligne = std::max(16, option.fontMetrics.height() + 2);
        return QSize(400, index.row() == 0 ? 2 * ligne : ligne);
    }

private:
    const TStatistiques& m_stats;
    QListWidget* m_liste;
};

} // namespace

TPageStatistiques::TPageStatistiques(TMoteur& moteur, QWidget* parent)
    : QWidget(parent), m_moteur(moteur) {
    statistiques::Brancher(m_stats, moteur);

    auto* v = new QVBoxLayout(this);
    auto* h = new QHBoxLayout;
    CBoxCompte2 = new QComboBox(this);
    CBoxCompte2->setObjectName(QStringLiteral("CBoxCompte2"));
    CBoxCompte2->setMinimumWidth(200);
    CBoxPeriodeStats = new QComboBox(this);
    CBoxPeriodeStats->setObjectName(QStringLiteral("CBoxPeriodeStats"));
    CBoxPeriodeStats->addItems(TStatistiques::LibellesPeriodes());
    LabelDu = new QLabel(Res("LabelDu", u"du"), this);
    LabelDu->setObjectName(QStringLiteral("LabelDu"));
    LabelAu = new QLabel(Res("LabelAu", u"au"), this);
    LabelAu->setObjectName(QStringLiteral("LabelAu"));
    const auto date = [this](const char* nom) {
        auto* d = new QDateEdit(this);
        d->setObjectName(QLatin1String(nom));
        d->setCalendarPopup(true);
        d->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
        d->installEventFilter(this);
        // The calendar closes on the chosen date; the edit holds it afterwards.
        const auto fermeture = [this] {
            QMetaObject::invokeMethod(
                this, [this] { Calculer(); }, Qt::QueuedConnection);
        };
        connect(d->calendarWidget(), &QCalendarWidget::clicked, this, fermeture);
        connect(d->calendarWidget(), &QCalendarWidget::activated, this, fermeture);
        return d;
    };
    DateTimeDebut = date("DateTimeDebut");
    DateTimeFin = date("DateTimeFin");
    BtnCalcul = new QPushButton(Res("BtnCalcul", u"Calcul"), this);
    BtnCalcul->setObjectName(QStringLiteral("BtnCalcul"));
    h->addWidget(CBoxCompte2);
    h->addWidget(CBoxPeriodeStats);
    h->addWidget(LabelDu);
    h->addWidget(DateTimeDebut);
    h->addWidget(LabelAu);
    h->addWidget(DateTimeFin);
    h->addStretch();
    h->addWidget(BtnCalcul);
    v->addLayout(h);
    ListBoxStats = new QListWidget(this);
    ListBoxStats->setObjectName(QStringLiteral("ListBoxStats"));
    ListBoxStats->setSelectionMode(QAbstractItemView::NoSelection);
    ListBoxStats->setFocusPolicy(Qt::NoFocus);
    ListBoxStats->setItemDelegate(new TDelegueStats(m_stats, ListBoxStats));
    v->addWidget(ListBoxStats, 1);

    // The first period, its dates shown; nothing computed before the page opens.
    CBoxPeriodeStats->setCurrentIndex(TStatistiques::psAujourdhui);
    const QDate aujourdhui = QDate::currentDate();
    m_stats.setDebut(aujourdhui);
    m_stats.setFin(aujourdhui);
    datesVersEcran();
    for (QWidget* w : {static_cast<QWidget*>(LabelDu), static_cast<QWidget*>(DateTimeDebut),
                       static_cast<QWidget*>(LabelAu), static_cast<QWidget*>(DateTimeFin)})
        w->setVisible(false);
    remplirListe();

    connect(CBoxPeriodeStats, &QComboBox::currentIndexChanged, this,
            &TPageStatistiques::choisirPeriode);
    connect(CBoxCompte2, &QComboBox::currentIndexChanged, this, &TPageStatistiques::choisirCompte);
    connect(BtnCalcul, &QPushButton::clicked, this, &TPageStatistiques::Calculer);
}

void TPageStatistiques::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // The page brought to the front (not the window coming back from the tray).
    if (!e->spontaneous()) Ouvrir();
}

bool TPageStatistiques::eventFilter(QObject* o, QEvent* e) {
    if ((o == DateTimeDebut || o == DateTimeFin) && e->type() == QEvent::KeyPress) {
        const int touche = static_cast<QKeyEvent*>(e)->key();
        if (touche == Qt::Key_Return || touche == Qt::Key_Enter) {
            Calculer();
            return true;
        }
    }
    return QWidget::eventFilter(o, e);
}

void TPageStatistiques::Ouvrir() {
    const qint32 choisi = m_stats.ChoixCompte() == TStatistiques::ccUn ? m_stats.NumeroCompte() : 0;
    const bool tous = m_stats.ChoixCompte() == TStatistiques::ccTous;
    {
        const QSignalBlocker bloque(CBoxCompte2);
        CBoxCompte2->clear();
        m_numeros.clear();
        CBoxCompte2->addItem(TStatistiques::LibelleTousLesComptes());
        const TGestionComptesBis& g = m_moteur.GestionComptesBis1;
        int index = tous ? 0 : -1;
        for (int i = 0; i < g.Count(); ++i) {
            CBoxCompte2->addItem(cp1252::versUnicode(g.Compte(i)->Nom));
            m_numeros << g.Compte(i)->Numero;
            if (g.Compte(i)->Numero == choisi) index = i + 1;
        }
        // A chosen account that is gone leaves nothing chosen.
        CBoxCompte2->setCurrentIndex(index);
        if (index < 0) m_stats.ChoisirCompte(TStatistiques::ccAucun);
    }
    Calculer();
}

void TPageStatistiques::choisirCompte(int index) {
    if (index == 0)
        m_stats.ChoisirCompte(TStatistiques::ccTous);
    else if (index > 0 && index <= m_numeros.size())
        m_stats.ChoisirCompte(TStatistiques::ccUn, m_numeros[index - 1]);
    else
        m_stats.ChoisirCompte(TStatistiques::ccAucun);
    Calculer();
}

void TPageStatistiques::choisirPeriode(int periode) {
    const bool autre = periode == TStatistiques::psAutrePeriode;
    for (QWidget* w : {static_cast<QWidget*>(LabelDu), static_cast<QWidget*>(DateTimeDebut),
                       static_cast<QWidget*>(LabelAu), static_cast<QWidget*>(DateTimeFin)})
        w->setVisible(autre);
    if (autre) ecranVersDates();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TStatistiques::TResultat r = m_stats.ChoisirPeriode(periode);
    QApplication::restoreOverrideCursor();
    resultat(r);
}

void TPageStatistiques::Calculer() {
    if (m_stats.Periode() == TStatistiques::psAutrePeriode) ecranVersDates();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TStatistiques::TResultat r = m_stats.Calculer(false);
    QApplication::restoreOverrideCursor();
    resultat(r);
}

void TPageStatistiques::resultat(TStatistiques::TResultat r) {
    if (r == TStatistiques::rsOccupe) return;
    if (r == TStatistiques::rsDatesInversees) {
        TBoiteMessage::Avertir(
            this, Res("stats19", u"La date de fin doit être supérieur a la date de début"));
        return;
    }
    datesVersEcran();
    remplirListe();
    if (r == TStatistiques::rsIndexIllisible)
        TBoiteMessage::Avertir(this, m_stats.Erreurs().join(QStringLiteral("\r\n")));
}

void TPageStatistiques::datesVersEcran() {
    const QSignalBlocker b1(DateTimeDebut), b2(DateTimeFin);
    DateTimeDebut->setDate(datetime::versDate(m_stats.Debut()));
    DateTimeFin->setDate(datetime::versDate(m_stats.Fin()));
}

void TPageStatistiques::ecranVersDates() {
    m_stats.setDebut(DateTimeDebut->date());
    m_stats.setFin(DateTimeFin->date());
}

void TPageStatistiques::remplirListe() {
    ListBoxStats->clear();
    for (int i = 0; i < m_stats.NbLignesListe(); ++i) {
        QStringList textes;
        for (const TCelluleStats& c : m_stats.Cellules(i))
            textes << c.Texte;
        // The text is for accessibility and tests; the delegate paints.
        ListBoxStats->addItem(textes.join(QLatin1Char('\t')));
    }
    ListBoxStats->viewport()->update();
}
