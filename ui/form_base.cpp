#include "ui/form_base.h"

#include "core/cp1252.h"
#include "core/position_fenetre.h"
#include "core/stockage_config.h"
#include "ui/traduire_fenetre.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

TFormBase::TFormBase(QWidget& fenetre, QByteArrayView nomClasse, bool redimensionnable)
    : QObject(&fenetre), m_fenetre(fenetre), m_nom(::NomFenetre(nomClasse)),
      m_redimensionnable(redimensionnable) {
    fenetre.installEventFilter(this);
    DefinirSection(
        &fenetre, QString::fromLatin1(nomClasse.startsWith('T') ? nomClasse.sliced(1) : nomClasse));
}

void TFormBase::ConfigVersEcran() {
    TStockageConfig& ini = StockageConfig();
    const QByteArray actuelle = cp1252::depuisUnicode(m_fenetre.font().family());
    const TPoliceFenetre police = LirePoliceFenetre(ini, m_nom, actuelle);
    if (police.AAppliquer()) {
        QFont f = m_fenetre.font();
        f.setFamily(cp1252::versUnicode(police.Nom));
        f.setPointSize(police.Taille);
        m_fenetre.setFont(f);
    }
    const TPositionFenetre p = LirePositionFenetre(ini, m_nom, m_redimensionnable);
    const QScreen* ecran = m_fenetre.screen() ? m_fenetre.screen() : QApplication::primaryScreen();
    const QSize taille = ecran ? ecran->availableGeometry().size() : QSize(1024, 768);
    const TPlacementFenetre pl =
        PlacerFenetre(p, m_fenetre.geometry(), taille, m_redimensionnable, m_fenetre.minimumSize());
    m_fenetre.move(pl.Geometrie.topLeft());
    if (m_redimensionnable) m_fenetre.resize(pl.Geometrie.size());
    m_bornes = pl.BornesNormales;
    if (pl.Maximiser) m_fenetre.setWindowState(m_fenetre.windowState() | Qt::WindowMaximized);
    TraduireFenetre(&m_fenetre);
}

void TFormBase::EcranVersConfig() {
    const bool maxi = m_fenetre.isMaximized();
    const QRect actuelle(m_fenetre.pos(), m_fenetre.size());
    if (!maxi && !m_fenetre.isMinimized()) m_bornes = actuelle;
    EcrirePositionFenetre(StockageConfig(), m_nom, m_redimensionnable,
                          PositionAEcrire(m_redimensionnable, maxi, actuelle, m_bornes));
}

bool TFormBase::eventFilter(QObject* objet, QEvent* e) {
    if (objet == &m_fenetre && (e->type() == QEvent::Move || e->type() == QEvent::Resize)) {
        // The normal bounds follow the window while it is neither minimised nor maximised.
        if (!m_fenetre.isMaximized() && !m_fenetre.isMinimized() && m_fenetre.isVisible())
            m_bornes = QRect(m_fenetre.pos(), m_fenetre.size());
    }
    return QObject::eventFilter(objet, e);
}
