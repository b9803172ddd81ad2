#include "core/arbre_options.h"

#include "i18n/resources.h"

#include <cstdlib>

const std::array<TPageOptions, TArbreOptions::kNbPages>& TArbreOptions::Pages() {
    static const std::array<TPageOptions, kNbPages> pages = {{
        {"TabSheetConfig", u"Configuration", 3, 9},
        {"TabSheet13", u"Général", -2, 9},
        {"TabSheet14", u"Infos spams", -2, 9},
        {"TabSheetListesBlanches", u"Listes blanches", 3, 8},
        {"TabSheet17", u"Emetteurs", 2, 3},
        {"TabSheet18", u"Sujets", 2, 13},
        {"TabSheet19", u"Autres en-têtes", -2, 12},
        {"TabSheet16", u"Adresses IP", -2, 19},
        {"TabSheetListesNoires", u"Listes noires", 3, 4},
        {"TabSheet23", u"Emetteurs", 2, 2},
        {"TabSheet24", u"Sujets", 2, 13},
        {"TabSheet22", u"Autres en-têtes", -2, 12},
        {"TabSheet21", u"Adresses IP", -2, 11},
        {"TabSheet15", u"Ignorer", 3, 7},
        {"TabSheet25", u"En-têtes", 2, 16},
        {"TabSheet26", u"Mots", 2, 14},
        {"TabSheet20", u"Adresses IP", -2, 18},
        {"TabSheetDNS", u"DNSBL (antispam)", -3, 11},
        {"TabSheet4", u"Derniers tests DNSBL", -2, 11},
        {"TabSheetComptes", u"Comptes", 0, 17},
        {"TabSheetTrace", u"Trace des connexions", -10, 15},
        {"TabSheetStats", u"Statistiques", 0, 1},
        {"TabSheetMails", u"Mails reçus", 0, 6},
    }};
    return pages;
}

QString TArbreOptions::Libelle(int page) {
    if (page < 0 || page >= kNbPages) return {};
    const TPageOptions& p = Pages()[size_t(page)];
    // The page's caption in the main window's section of the language files.
    return TexteFenetre(u"FormKelvarin", QLatin1String(p.Composant) + QStringLiteral(".caption"),
                        Res(p.Composant, p.Libelle));
}

bool TArbreOptions::ExpertSeulement(int page) {
    return page >= 0 && page < kNbPages && Pages()[size_t(page)].Genre < 0;
}

QList<TNoeudOptions> TArbreOptions::Construire(bool simple) {
    QList<TNoeudOptions> noeuds;
    int groupe = -1;
    for (int i = 0; i < kNbPages; ++i) {
        const TPageOptions& p = Pages()[size_t(i)];
        if (p.Genre < 0 && simple) continue;
        const int k = std::abs(p.Genre);
        TNoeudOptions n{Libelle(i), i, p.Image, -1};
        if (k == 0 || k == 10) {
            groupe = -1;
        } else if (k == 3) {
            groupe = int(noeuds.size());
        } else if (k == 2) {
            n.Parent = groupe;
        } else if (k == 1) {
            // An extra root labelled with the caption, above the page's own node.
            noeuds.append({Libelle(i), i, p.Image, -1});
        }
        noeuds.append(n);
    }
    return noeuds;
}

QList<TNoeudOptions> TArbreOptions::Racines(bool simple) {
    QList<TNoeudOptions> r;
    for (const TNoeudOptions& n : Construire(simple))
        if (n.Parent < 0) r.append(n);
    return r;
}

int TArbreOptions::PageEnfant(int pageGroupe, int position, bool simple) {
    const QList<TNoeudOptions> noeuds = Construire(simple);
    int groupe = -1;
    for (int i = 0; i < noeuds.size(); ++i)
        if (noeuds[i].Page == pageGroupe && noeuds[i].Parent < 0) groupe = i;
    if (groupe < 0) return -1;
    int rang = 0;
    for (const TNoeudOptions& n : noeuds)
        if (n.Parent == groupe && ++rang == position) return n.Page;
    return -1;
}
