#include "ui/icone_notification.h"

#include "core/arbre_options.h"
#include "core/ligne_commande.h"
#include "i18n/resources.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

// The pictures are compiled into this static library: registered once, by hand.
static void initialiserIcones() {
    static const bool fait = [] {
        Q_INIT_RESOURCE(icones);
        return true;
    }();
    Q_UNUSED(fait);
}

QIcon IconeRessource(const QByteArray& nom) {
    initialiserIcones();
    const QByteArray n = nom.compare("DEFAUT", Qt::CaseInsensitive) == 0 ? "DEFAUT" : nom;
    return QIcon(QStringLiteral(":/icones/") + QLatin1String(n) + QStringLiteral(".png"));
}

TIconeNotification::TIconeNotification(QObject* parent) : QObject(parent) {
    Horloge = [] { return quint32(QDateTime::currentMSecsSinceEpoch()); };
    m_menu = new QMenu;
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    m_timer.setInterval(TAnimationIcone::kIntervalleMs);
    connect(&m_timer, &QTimer::timeout, this, &TIconeNotification::tick);
    ConstruireMenu({});
}

TIconeNotification::~TIconeNotification() {
    RetirerIconeNotification();
    delete m_menu;
}

bool TIconeNotification::ZoneDisponible() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TIconeNotification::AjouterIconeNotification() {
    if (ZoneDisponible() && !m_tray) {
        m_tray = new QSystemTrayIcon(this);
        m_tray->setContextMenu(m_menu);
        connect(m_tray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason r) {
                    const bool clic = ParamPresent(u"/clictray");
                    if ((r == QSystemTrayIcon::DoubleClick && !clic) ||
                        (r == QSystemTrayIcon::Trigger && clic))
                        emit Basculer();
                });
    }
    m_ajoutee = true;
    // First the application's icon, at once the idle one.
    IconeNotification(QStringLiteral("Kelvarin"), "DEFAUT");
    Etat(TAnimationIcone::Repos());
    if (m_tray) m_tray->show();
}

void TIconeNotification::RetirerIconeNotification() {
    m_timer.stop();
    if (m_tray) m_tray->hide();
    m_ajoutee = false;
}

void TIconeNotification::IconeNotification(const QString& bulle, const QByteArray& nom) {
    if (!nom.isNull()) m_nom = nom;
    if (!bulle.isNull()) m_bulle = CouperBulle(bulle);
    if (!m_tray) return;
    if (!nom.isNull()) m_tray->setIcon(IconeRessource(m_nom));
    m_tray->setToolTip(m_bulle);
}

void TIconeNotification::CommandeClient() {
    m_animation.CommandeRecue(Horloge());
    if (AnimerIcone && !m_timer.isActive()) m_timer.start();
}

void TIconeNotification::tick() {
    const TEtatIcone e = m_animation.Tick(AnimerIcone, ClientOuvert && ClientOuvert(), Horloge());
    Etat(e);
    if (e.ArreterTimer) m_timer.stop();
}

void TIconeNotification::ConstruireMenu(const QList<TNoeudOptions>& racines) {
    m_menu->clear();
    for (const TNoeudOptions& n : racines) {
        QAction* a = m_menu->addAction(n.Libelle);
        a->setData(n.Page);
        connect(a, &QAction::triggered, this, [this, p = n.Page] { emit PageDemandee(p); });
    }
    QAction* sep = m_menu->addSeparator();
    sep->setData(-1);
    // Built by code after the window's walk: the main menu's "Quitter" text.
    QAction* q = m_menu->addAction(
        TexteFenetre(u"FormKelvarin", u"MnuQuitter.caption", Res("MnuQuitter", u"Quitter")));
    q->setObjectName(QStringLiteral("MnuQuitterTray"));
    q->setData(-1);
    connect(q, &QAction::triggered, this, &TIconeNotification::QuitterDemande);
}
