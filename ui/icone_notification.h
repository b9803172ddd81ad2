#pragma once
// The notification icon: its picture and tip (TAnimationIcone decides them),
// the animation timer while mail is received, its menu (one entry per root
// page, then "Quitter") and its clicks. Where the desktop has no notification
// area the state is still kept, and the window stays reachable instead.

#include "core/regles_fenetre.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QMenu;
class QSystemTrayIcon;
struct TNoeudOptions;

class TIconeNotification : public QObject {
    Q_OBJECT
public:
    explicit TIconeNotification(QObject* parent = nullptr);
    ~TIconeNotification() override;

    static bool ZoneDisponible();
    // Tests replace the clock (32-bit milliseconds).
    std::function<quint32()> Horloge;
    // Whether a client connection is open (the animation goes on meanwhile).
    std::function<bool()> ClientOuvert;
    bool AnimerIcone = true;

    void AjouterIconeNotification();
    void RetirerIconeNotification();
    bool Ajoutee() const { return m_ajoutee; }
    // A null name keeps the picture; a null tip keeps the tip.
    void IconeNotification(const QString& bulle, const QByteArray& nom);
    void Etat(const TEtatIcone& e) { IconeNotification(e.Bulle, e.Icone); }
    const QByteArray& NomIcone() const { return m_nom; }
    const QString& Bulle() const { return m_bulle; }

    // A client command arrived: its tick is kept and the animation starts.
    void CommandeClient();
    QTimer& TimerReception() { return m_timer; }

    // The menu: the root pages, a separator and "Quitter".
    void ConstruireMenu(const QList<TNoeudOptions>& racines);
    QMenu* Menu() { return m_menu; }

signals:
    void PageDemandee(int page);
    void QuitterDemande();
    void Basculer(); // the show/hide gesture on the icon

private:
    void tick();
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu;
    QTimer m_timer;
    TAnimationIcone m_animation;
    QByteArray m_nom;
    QString m_bulle;
    bool m_ajoutee = false;
};

QIcon IconeRessource(const QByteArray& nom);
