#pragma once
// The hint window used by every window of the program in place of the
// platform's tool tips: green, wrapped, pointing at the mouse from a corner.
// TexteBulleAide, PlacerBulle and AnimerBulle decide; this draws.

#include "core/regles_fenetre.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class TMonHintWindow : public QWidget {
    Q_OBJECT
public:
    // Installed for the whole application when the main window is created,
    // and deleted with it; its font is the main window's.
    static TMonHintWindow* Installer(QWidget* fenetrePrincipale);
    static TMonHintWindow* Instance();
    ~TMonHintWindow() override;

    // `pointeur`: the mouse in global coordinates.
    void Montrer(const QString& hint, const QPoint& pointeur);
    void Cacher();

    QString Texte() const { return m_texte; }
    const TPlacementBulle& Placement() const { return m_placement; }
    bool Animee() const { return m_animee; }
    // Tests replace the clock (milliseconds).
    std::function<qint64()> Horloge;

protected:
    bool eventFilter(QObject* objet, QEvent* e) override;
    void paintEvent(QPaintEvent*) override;

private:
    explicit TMonHintWindow(QWidget* fenetrePrincipale);
    QPointer<QWidget> m_principale;
    QPointer<QWidget> m_source; // the widget whose hint shows
    QString m_texte;
    TPlacementBulle m_placement;
    QTimer m_expiration;
    QElapsedTimer m_horloge;
    qint64 m_derniere = -1; // when the previous hint opened
    bool m_animee = false;
};

// The corner pictures "INFOHG", "INFOHD", "INFOBG", "INFOBD"; a null picture
// for any other name.
QPixmap CoinBulle(const QByteArray& nom);
