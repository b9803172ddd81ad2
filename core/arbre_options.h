#pragma once
// The main window's pages and the options tree built over them: which pages a
// mode shows, how they group, and the root nodes the "Voir" and notification
// menus list. The window draws what this class decides.

#include <QList>
#include <QString>

#include <array>

struct TPageOptions {
    const char* Composant;   // the page's design name, also its resource key
    const char16_t* Libelle; // French label
    int Genre;               // 3 group, 2 child, 0/10 root; negative: expert mode only
    int Image;               // index of the node's icon
};

struct TNoeudOptions {
    QString Libelle;
    int Page = 0;
    int Image = 0;
    int Parent = -1; // index of the parent node in the list, -1 for a root
};

class TArbreOptions {
public:
    static constexpr int kNbPages = 23;
    enum : int {
        kPageConfig = 0,
        kPageGeneral = 1,
        kPageInfosSpams = 2,
        kPageListesBlanches = 3,
        kPageListesNoires = 8,
        kPageIgnorer = 13,
        kPageDNS = 17,
        kPageDerniersTests = 18,
        kPageComptes = 19,
        kPageTrace = 20,
        kPageStats = 21,
        kPageMails = 22
    };

    static const std::array<TPageOptions, kNbPages>& Pages();
    // The page's label through the resource strings.
    static QString Libelle(int page);
    static bool ExpertSeulement(int page);
    static bool PageVisible(int page, bool simple) { return !simple || !ExpertSeulement(page); }

    // The tree in display order (each parent before its children).
    static QList<TNoeudOptions> Construire(bool simple);
    // Its root nodes, in tree order: the "Voir" menu and the notification menu.
    static QList<TNoeudOptions> Racines(bool simple);
    // The child at a position (1-based) of a group node, as the overview pages'
    // link labels open them; -1 when the mode has no such child.
    static int PageEnfant(int pageGroupe, int position, bool simple);

    // Leaving the page asks princ83 first (Yes/No/Cancel).
    static bool DemanderAvantDeQuitter(int pageQuittee, bool appliquerActif) {
        return pageQuittee == kPageConfig && appliquerActif;
    }
    // Help topics: after a tree selection, and after any page change.
    static int AideSelection(int page) { return page + 101; }
    static int AidePage(int page) { return page + 10; }
};
