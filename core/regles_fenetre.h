#pragma once
// The window's rules that are not drawing: the notification icon's animation
// and tip, the splash window's minimum time, the close request, the About
// box's running time and the product site's links.

#include <QByteArray>
#include <QList>
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
// Then it fades out over 256 ms: the alpha (0..255) `ms` after the fade
// began, 256 - ms (fully opaque at its very start); -1 once it is over and
// the window closes.
inline constexpr int kDureeFonduPatienterMs = 256;
int AlphaFonduPatienter(qint64 ms);

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

// The General page's line when the listener does not use the port it is set
// to (an ordinary user refused a port below 1024); empty otherwise, and while
// nothing listens (`ecoute` 0) or the port is "0" (any free port).
QString TextePortEffectif(const QByteArray& portReglage, quint16 portReglageResolu, quint16 ecoute);

// "hh:mm:ss", each on at least two digits, joined by the separator.
QString DureeFonctionnement(qint64 secondes, const QString& separateur = QStringLiteral(":"));

// The product site's base address and the site links built on it.
inline constexpr const char* kSiteProduit = "http://www.kelvarin.net";
QString LienSite(const QString& nom);
// "http://" put in front unless the address already begins with it.
QString AdresseURL(const QString& adresse);

// The application's hint window. A hint that begins with "[H]" shows above
// the pointer, without those three characters; others below it.
inline constexpr int kLargeurBulleAide = 50;
inline constexpr int kLargeurMiniBulleAide = 30;
struct TTexteBulleAide {
    QString Texte;
    bool Dessus = false;
};
TTexteBulleAide TexteBulleAide(const QString& hint, int largeur = kLargeurBulleAide);
// Lines of at most `largeur` characters (never fewer than 30), broken after a
// space, a tab or a hyphen; existing line breaks kept. A word longer than a
// line is not cut. The spaces and tabs at a break are dropped, a hyphen stays.
QString CouperTexteBulle(const QString& texte, int largeur = kLargeurBulleAide);

struct TPlacementBulle {
    int X = 0, Y = 0;
    bool Dessus = false; // above the pointer
    bool Droite = false; // moved left: it points from its right corner
    // "INFOHG", "INFOHD", "INFOBG", "INFOBD": H above, B below; G left, D right.
    QByteArray Coin() const;
    // Where the text begins inside the hint.
    int MargeTexte() const { return Droite ? 2 : 12; }
};
// `bas`: where a hint below the pointer begins (the pointer's position plus
// the cursor's height). Below unless it would cross the desktop's bottom or is
// a "[H]" hint, then its top goes up by its height + 30; moved left by its
// width when it would cross the right edge; never beyond the left or top edge.
TPlacementBulle PlacerBulle(int pointeurX, int bas, int largeur, int hauteur, bool dessus,
                            int bureauGauche, int bureauHaut, int bureauDroite, int bureauBas);

// Whether a hint opens animated (in 100 ms): a short text, 250 ms at least
// since the previous hint opened, and the system's tool-tip animation on.
inline constexpr int kDureeAnimationBulleMs = 100;
bool AnimerBulle(int longueurTexte, qint64 depuisPrecedenteMs, bool animationSysteme);

// The About box's text files ("suivi-version", "remerciement") in the
// language directory: name.code.txt when a language is active and that file
// exists, name.fr.txt when none is and it exists, else name.txt.
QString FichierTexteLangue(const QString& repertoire, const QString& nom, const QString& code);
// Their text (Windows-1252 bytes) as rich text: lines that begin with "****"
// in blue, the program's name in red; with `liens`, addresses become links
// whose target is the address itself.
QString TexteAPropos(const QByteArray& octets, bool liens);

// A button frame's buttons spread evenly over its width: gap = (width - sum of
// the visible buttons' widths) div (their number + 1), each button at the gap
// after the previous one. The left edge of each, in order.
QList<int> RepartirBoutons(int largeurCadre, const QList<int>& largeurs);
