#pragma once
// The IP-test page's rules: the texts and colours of each lookup record's row,
// the line between addresses, and the page's commands (the two sorts, the
// manual test, deletion of finished records). The widget only paints.

#include "pages/morceaux.h"
#include "spamsearch/cherche_spams.h"

#include <QList>
#include <QString>

struct TLigneRecherche {
    QList<TMorceau> Morceaux;
    // A line above the row: the previous row is another address.
    bool Separateur = false;
    QString Texte() const { return JoindreMorceaux(Morceaux); }
};

class TPageTestsIP {
public:
    explicit TPageTestsIP(TChercheSPAMs& cherche) : m_cherche(cherche) {}

    // `precedent`: the record of the row above (null for the first row).
    static TLigneRecherche Ligne(const TUneRechercheDNS& r, const TUneRechercheDNS* precedent);
    int NbRecherche() const { return m_cherche.NbRecherche(); }
    // The row at `index`; an empty row past the end.
    TLigneRecherche Ligne(int index) const;

    void TriIP() { m_cherche.setTriRecherches(trTriIP); }
    void TriDate() { m_cherche.setTriRecherches(trTriDate); }
    // "Test IP": false when the text is not an address (nothing happens).
    bool TesterIP(const QString& texte);
    // Only finished records (listed, not listed, abandoned) can be deleted.
    static bool Supprimable(const TUneRechercheDNS& r);
    bool Supprimable(int index) const;
    // Deletes every finished record of the address of the row; false when
    // the row's record is not finished (nothing is deleted).
    bool Supprimer(int index);

private:
    TChercheSPAMs& m_cherche;
};
