#include "ui/mon_hint_window.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>

#include <limits>

namespace {
TMonHintWindow* g_instance = nullptr;
constexpr int kCoin = 10;           // the corner picture's side
constexpr int kHauteurCurseur = 20; // a hint below the pointer clears the cursor
constexpr int kDureeVisibleMs = 10000;
} // namespace

QPixmap CoinBulle(const QByteArray& nom) {
    if (nom.size() != 6 || !nom.startsWith("INFO") || (nom[4] != 'H' && nom[4] != 'B') ||
        (nom[5] != 'G' && nom[5] != 'D'))
        return {};
    const bool haut = nom[4] == 'H', gauche = nom[5] == 'G';
    QPixmap p(kCoin, kCoin);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    // A small arrow whose tip is the corner nearest the pointer: a hint above
    // the pointer points down from its bottom corner, one below points up.
    const QPointF pointe(gauche ? 0 : kCoin, haut ? kCoin : 0);
    const QPointF cote1(gauche ? kCoin : 0, haut ? kCoin : 0);
    const QPointF cote2(gauche ? 0 : kCoin, haut ? 0 : kCoin);
    QPainterPath chemin;
    chemin.moveTo(pointe);
    chemin.lineTo(cote1);
    chemin.lineTo(cote2);
    chemin.closeSubpath();
    painter.fillPath(chemin, QColor(0xff, 0xf2, 0x80));
    painter.setPen(QPen(QColor(0, 0x50, 0), 1));
    painter.drawPath(chemin);
    return p;
}

TMonHintWindow* TMonHintWindow::Installer(QWidget* fenetrePrincipale) {
    if (!g_instance) {
        g_instance = new TMonHintWindow(fenetrePrincipale);
        qApp->installEventFilter(g_instance);
        // It goes with the main window that installed it.
        if (fenetrePrincipale)
            connect(fenetrePrincipale, &QObject::destroyed, g_instance, [] { delete g_instance; });
    }
    return g_instance;
}

TMonHintWindow* TMonHintWindow::Instance() {
    return g_instance;
}

TMonHintWindow::TMonHintWindow(QWidget* fenetrePrincipale)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_principale(fenetrePrincipale) {
    setObjectName(QStringLiteral("MonHintWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_horloge.start();
    Horloge = [this] { return m_horloge.elapsed(); };
    m_expiration.setSingleShot(true);
    m_expiration.setInterval(kDureeVisibleMs);
    connect(&m_expiration, &QTimer::timeout, this, &TMonHintWindow::Cacher);
}

TMonHintWindow::~TMonHintWindow() {
    if (g_instance == this) g_instance = nullptr;
}

void TMonHintWindow::Montrer(const QString& hint, const QPoint& pointeur) {
    const TTexteBulleAide t = TexteBulleAide(hint);
    m_texte = t.Texte;
    if (m_principale) setFont(m_principale->font());
    const QSize texte = fontMetrics().size(0, m_texte);
    // 10 wider and 4 taller than the text, and room for the corner picture.
    const QSize taille(texte.width() + 10 + kCoin, texte.height() + 4);
    const QScreen* ecran = QGuiApplication::screenAt(pointeur);
    if (!ecran) ecran = QGuiApplication::primaryScreen();
    const QRect bureau = ecran ? ecran->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
    m_placement =
        PlacerBulle(pointeur.x(), pointeur.y() + kHauteurCurseur, taille.width(), taille.height(),
                    t.Dessus, bureau.left(), bureau.top(), bureau.right() + 1, bureau.bottom() + 1);
    const QRect cible(QPoint(m_placement.X, m_placement.Y), taille);

    const qint64 maintenant = Horloge();
    const qint64 depuis =
        m_derniere < 0 ? std::numeric_limits<qint64>::max() : maintenant - m_derniere;
    m_derniere = maintenant;
    // The length of the text as given, before wrapping added line breaks.
    const int longueur = int(hint.size()) - (t.Dessus ? 3 : 0);
    m_animee = AnimerBulle(longueur, depuis, QApplication::isEffectEnabled(Qt::UI_AnimateTooltip));
    setWindowOpacity(1.0);
    if (!m_animee) {
        setGeometry(cible);
    } else if (QApplication::isEffectEnabled(Qt::UI_FadeTooltip)) {
        setGeometry(cible);
        auto* a = new QPropertyAnimation(this, "windowOpacity", this);
        a->setDuration(kDureeAnimationBulleMs);
        a->setStartValue(0.0);
        a->setEndValue(1.0);
        a->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        // Slid open away from the pointer: downward below it, upward above.
        const QRect depart = m_placement.Dessus
                                 ? QRect(cible.bottomLeft(), QSize(taille.width(), 1))
                                 : QRect(cible.topLeft(), QSize(taille.width(), 1));
        setGeometry(depart);
        auto* a = new QPropertyAnimation(this, "geometry", this);
        a->setDuration(kDureeAnimationBulleMs);
        a->setStartValue(depart);
        a->setEndValue(cible);
        a->start(QAbstractAnimation::DeleteWhenStopped);
    }
    show();
    raise();
    update();
    m_expiration.start();
}

void TMonHintWindow::Cacher() {
    m_expiration.stop();
    m_source = nullptr;
    hide();
}

bool TMonHintWindow::eventFilter(QObject* objet, QEvent* e) {
    switch (e->type()) {
    case QEvent::ToolTip: {
        auto* w = qobject_cast<QWidget*>(objet);
        if (!w) break;
        const QString hint = w->toolTip();
        if (hint.isEmpty()) {
            // Let the event travel to the parent, which may have a hint.
            if (isVisible() && m_source != w) Cacher();
            break;
        }
        m_source = w;
        Montrer(hint, static_cast<QHelpEvent*>(e)->globalPos());
        return true;
    }
    case QEvent::Leave:
        if (objet == m_source) Cacher();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::Wheel:
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
        if (isVisible() && (e->type() != QEvent::Hide || objet == m_source)) Cacher();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(objet, e);
}

void TMonHintWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0, 128, 0));
    const QByteArray nom = m_placement.Coin();
    const QPixmap coin = CoinBulle(nom);
    if (coin.isNull()) {
        QApplication::beep();
    } else {
        const int x = m_placement.Droite ? width() - coin.width() : 0;
        const int y = m_placement.Dessus ? height() - coin.height() : 0;
        p.drawPixmap(x, y, coin);
    }
    p.setPen(QApplication::palette().color(QPalette::ToolTipText));
    p.drawText(QRect(m_placement.MargeTexte(), 2, width(), height()), Qt::AlignLeft | Qt::AlignTop,
               m_texte);
}
