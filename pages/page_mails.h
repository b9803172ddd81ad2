#pragma once
// The received-mail page without its widgets: which archived messages the
// grid lists, what each cell says and in which colour, what selecting a
// message shows, the popup's list items, and the gestures that change the
// archive, the lists or the knowledge base (corrections, deletions,
// re-emission, mode change, full rebuild). The window paints what this
// class computes and forwards the user's gestures to it.
//
// The page reads the archive through the engine's review-side view
// (`MonDossierBis1`); the proxy writes through the other one. Rows hold
// message numbers, never record pointers: the view may read its index again
// under the page when the proxy saved the account since.

#include "bayes/filtre_bayes.h"
#include "pages/entrainement.h"
#include "pages/morceaux.h"
#include "spamsearch/listes_filtres.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <vector>

class TMoteur;
struct TUnCompteBis;
struct TUnMessageMem;

// A colour as the engine decides it: a fixed RGB value, or a role of the
// window's palette that the widget resolves.
struct TCouleurPage {
    enum TRole : quint8 {
        crRGB,           // Rgb
        crFenetre,       // the window (list) colour
        crFenetreSombre, // the window colour, each component × 95 / 100 (odd rows)
        crBouton,        // button face
        crTexteFenetre   // window text
    };
    TRole Role = crFenetre;
    quint32 Rgb = 0; // 0xRRGGBB when Role is crRGB

    static TCouleurPage rgb(int r, int g, int b) {
        return {crRGB, quint32((r << 16) | (g << 8) | b)};
    }
    // Each component × 95 / 100, integer division.
    static quint32 Assombrir(quint32 rgb);
    bool operator==(const TCouleurPage& o) const { return Role == o.Role && Rgb == o.Rgb; }
};

struct TCellulePage {
    QString Texte;
    enum TAlignement : quint8 { alGauche, alCentre, alDroite };
    TAlignement Alignement = alGauche;
    TCouleurPage Fond;
    TCouleurPage Encre{TCouleurPage::crTexteFenetre, 0};
};

// One token of the "Bayes" pane.
struct TMotPage {
    QByteArray Mot;
    qint32 Spam = 0;
    qint32 Bon = 0;
    bool Qualifie = false; // counts add up to at least 5
    double Proba = 0;      // percent, meaningful when Qualifie
    QString Texte;         // "mot|spam|bon|proba" as the list box items hold it
};

// What selecting a row shows in the lower panes and enables.
struct TDetailPage {
    bool Record = false; // false: no record for the row (the page beeps)
    QString Entetes, Texte, Html;
    bool TexteActif = false, HtmlActif = false;
    QStringList Info;
    bool SpamActif = false, PasSpamActif = false; // "=>spam", "=>pas spam"
};

// One list item of the popup menu.
struct TItemPopup {
    const char* Nom;   // object name (MnuAjoutMail1, ...)
    int Tag;           // 1..4 add, -1..-4 remove
    QByteArray Valeur; // the sender's address or the subject
    bool Visible = false;
};

class TPageMails {
public:
    static constexpr int kNbColonnes = 10;
    enum TAffichage : int {
        afTous,
        afSpams,
        afNonSpams,
        afIncompatibles,
        afListesNoires,
        afListesBlanches
    };
    enum TResultat : int {
        raFait,
        raRien,    // nothing to do (same verdict, list flags, no row)
        raOccupe,  // a full rebuild runs: ignored
        raEnCours, // the proxy has the account open: princ98 shown
        raAnnule   // the user answered no
    };

    explicit TPageMails(TMoteur& moteur);
    ~TPageMails();
    TPageMails(const TPageMails&) = delete;
    TPageMails& operator=(const TPageMails&) = delete;

    TMoteur& Moteur() { return m_moteur; }

    // ---- The top panel
    // Display names of the accounts, in the order of the accounts file.
    QStringList NomsComptes() const;
    // The account shown, by its position in that list (-1: none). Takes
    // effect at the next refresh.
    void ChoisirCompte(int index);
    int CompteChoisi() const;                               // position, -1 when none
    qint32 NumeroCompteAffiche() const { return m_compte; } // archive shown, -1 none
    // The age and display filter, kept in the settings section "Affichage".
    QByteArray NbJour() const;
    QByteArray NbHeure() const;
    int Affichage() const;
    void setNbJour(const QByteArray& texte);
    void setNbHeure(const QByteArray& texte);
    void setAffichage(int item);

    // ---- The list
    // Opening the page: no account chosen, empty list.
    void Ouvrir();
    // CBoxCompteChange: the proxy's unsaved records first, then the archive
    // of the chosen account read and filtered. Ignored while busy.
    TResultat Rafraichir();
    // Another page became active: the rows dropped, the archive closed.
    void Quitter();
    int NbLignes() const { return int(m_lignes.size()); } // rows, title row excluded
    int NbMessages() const { return m_nbMessages; }       // records of the archive
    QString TexteNbMessages() const;                      // LabelNbMessage
    // The record of grid row `ligne` (from 1), null when there is none.
    TUnMessageMem* Record(int ligne);
    qint32 NumeroLigne(int ligne) const;
    // Cell of the grid; row 0 holds the titles. May score the message first.
    TCellulePage Cellule(int ligne, int colonne);
    static QString FormatReception(); // princ97 as a QDateTime format

    // ---- The selected message
    TDetailPage Detail(int ligne);
    QStringList Info(int ligne);
    // The tokens of the message, tri 0 token order, 1 spam first, 2 good first.
    QList<TMotPage> Mots(int ligne, int tri);
    // Popup list items for the row; empty when it has no record.
    QList<TItemPopup> ItemsPopup(int ligne);

    // ---- Gestures
    TResultat Corriger(int ligne, bool spam);
    TResultat Supprimer(int ligne);
    TResultat Reemettre(int ligne);
    TResultat ActionListe(int ligne, int tag);
    TResultat ChangerMode(int mode);
    // The combination of token probabilities: 0 the mean, 1 chi-square. The
    // grid's scores are recomputed as for a mode change.
    TResultat ChangerCalcul(int calcul);
    TResultat RazBayes(bool avecQuestion = true);
    bool Occupe() const; // CalculEnCours
    // The proxy has the shown account's archive open.
    bool CompteEnCours() const;

    // The list edited from the popup, then the option page applied: through
    // the window's list editor when there is one (OnEditeurListe), else the
    // list property itself and the controller's Apply.
    void AppliquerListe(TListeFiltre liste, const QByteArray& texte);

    // The wildcard pattern that matches exactly `valeur`.
    static QByteArray EchapperMotif(QByteArrayView valeur);

    // ---- The window's part (none: headless defaults)
    // Yes/no question (none: yes).
    std::function<bool(const QString&)> OnQuestion;
    // A refusal to show (beep and message box).
    std::function<void(const QString&)> OnRefus;
    std::function<void()> OnBip;
    // The list or the whole page must be drawn again (after a refresh the row
    // count changed; after a correction only the cells).
    std::function<void()> OnListeChangee;
    std::function<void()> OnCellulesChangees;
    // The option page's Apply (none: the controller's Apply with the settings
    // as they are).
    std::function<void()> OnAppliquer;
    // The window's editor of a list: its lines as typed (which may not be
    // applied yet), and its whole text replaced. Both or none.
    std::function<QList<QByteArray>(TListeFiltre)> OnLireEditeurListe;
    std::function<void(TListeFiltre, const QByteArray& texte)> OnEcrireEditeurListe;

private:
    TCalculBayesMessage& calcul(TUnMessageMem& m, bool forcer = false);
    bool lireMessage(const TUnMessageMem& m, QByteArray& texte);
    TUnCompteBis* compteChoisi() const;
    QByteArray sujetDecode(const TUnMessageMem& m) const;
    QString decoder(const QByteArray& brut) const;
    void refus(const QString& texte);
    void bip();
    void reconstruireLignes();
    void rafraichirSiAffiche(qint32 compte);
    bool sauverArchive();

    TMoteur& m_moteur;
    qint32 m_numeroChoisi = -1; // account number chosen in CBoxCompte
    qint32 m_compte = -1;       // account whose archive the page shows
    int m_nbMessages = 0;
    std::vector<qint32> m_lignes; // message numbers, newest first
    QHash<qint32, TCalculBayesMessage> m_calculs;
};
