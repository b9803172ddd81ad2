#pragma once
// The DNSBL page's rules: the texts and colours of each server's row, the
// server dialog's values and checks, and the page's commands (add, modify,
// delete, the check box, "RAZ temp", "RAZ compteur"). The widget only paints.

#include "pages/morceaux.h"
#include "spamsearch/cherche_spams.h"

#include <QList>
#include <QString>

struct TLigneDNS {
    bool Actif = false;
    QString Nom;
    QList<TMorceau> Compteurs; // drawn from the name column on
    QString TexteCompteurs() const { return JoindreMorceaux(Compteurs); }
};

// The server dialog's fields as typed: the codes are the memo's text.
struct TSaisieServeur {
    QString Nom;
    QString Zone;
    QString Codes;
};

class TPageDNS {
public:
    explicit TPageDNS(TChercheSPAMs& cherche) : m_cherche(cherche) {}

    static TLigneDNS Ligne(const TUnDNS& s, QChar separateur = SeparateurDecimalAffichage());
    int NbServeur() const { return m_cherche.NbServeur(); }
    // Null past the end: the list may be drawn while the table changes.
    PUnDNS Serveur(int index) const { return m_cherche.Serveur(index); }
    // The row of the server at `index`; an empty row past the end.
    TLigneDNS Ligne(int index) const;
    int IndexDe(const TUnDNS* serveur) const;

    // The dialog on a server (null: an empty record, for "Ajouter").
    static TSaisieServeur SaisieDepuisServeur(const TUnDNS* s);
    // The codes of the memo: each line trimmed, blank lines dropped.
    static QList<QByteArray> Codes(const QString& memo);
    // The dialog's checks against the server under modification (null when
    // adding): the error to show (cdns01, cdns02), empty when valid.
    QString Valider(const TUnDNS* serveur, const TSaisieServeur& saisie) const;

    // Each returns the error of the dialog's checks (nothing changed) or empty;
    // on success the table is sorted and the three files are saved.
    QString Ajouter(const TSaisieServeur& saisie);
    QString Modifier(PUnDNS serveur, const TSaisieServeur& saisie);
    // Deletes the server at `index` and saves; false when there is none.
    bool Supprimer(int index);
    // The row's check box: flips Actif (saved with the next save).
    bool BasculerActif(int index);
    void RAZTemp();
    void RAZCompteur();

    // The window's refresh of the DNSBL and IP-test lists runs only when at
    // most one DNS query socket works.
    bool RafraichirMaintenant() const { return m_cherche.NbSocketDNS() <= 1; }
    TChercheSPAMs& ChercheSPAMs() { return m_cherche; }

private:
    TChercheSPAMs& m_cherche;
};
