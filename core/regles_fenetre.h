#pragma once
// The window's rules that are not drawing: the notification icon's animation
// and tip, the splash window's minimum time, the close request, the About
// box's running time and the product site's links.

#include <QByteArray>
#include <QString>

// Longest tip the notification area shows.
inline constexpr int kLongueurBulle = 63;
QString CouperBulle(const QString& bulle);

struct TEtatIcone {
    QByteArray Icone; // "TRAY1", "ZNIM1".."ZNIM8", "TRAY6"
    QString Bulle;
    bool ArreterTimer = false;
};

// The icon's animation while mail is received: a frame counter (0 idle,
// 1..8 animating) and the tick of the last client command.
class TAnimationIcone {
public:
    static constexpr quint32 kDelaiRetourMs = 1000;
    static constexpr int kIntervalleMs = 250;

    void CommandeRecue(quint32 tick) { m_derniereCommande = tick; }
    // One timer tick. Ticks are 32-bit milliseconds and may wrap.
    TEtatIcone Tick(bool animer, bool clientOuvert, quint32 maintenant);
    int Compteur() const { return m_compteur; }

    static TEtatIcone Repos();
    static TEtatIcone Chargement();
    static TEtatIcone Sauvegarde();

private:
    int m_compteur = 0;
    quint32 m_derniereCommande = 0;
};

// Milliseconds the splash stays after start-up ended: 0 at once when it was
// not shown; else until 3 s after its creation, at least 10 ms.
inline constexpr qint64 kDureeMiniPatienterMs = 3000;
qint64 DelaiFermeturePatienter(bool visible, qint64 creationMs, qint64 maintenantMs);

// A close request of the main window.
enum TDecisionFermeture {
    dfCacher,   // close-to-tray: the window only hides
    dfDemander, // the quit confirmation decides
    dfFermer,   // quits at once (/QuitterSans)
    dfRefuser   // a long computation runs: nothing may be freed
};
// `versTray` is the close-to-tray flag; /Quitter and /QuitterSans clear it.
TDecisionFermeture DecisionFermeture(bool& versTray, bool quitter, bool quitterSans,
                                     bool calculEnCours);

// "hh:mm:ss", each on at least two digits, joined by the separator.
QString DureeFonctionnement(qint64 secondes, const QString& separateur = QStringLiteral(":"));

// The product site's base address and the site links built on it.
inline constexpr const char* kSiteProduit = "http://www.kelvarin.net";
QString LienSite(const QString& nom);
// "http://" put in front unless the address already begins with it.
QString AdresseURL(const QString& adresse);
