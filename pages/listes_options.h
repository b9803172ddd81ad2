#pragma once
// The list editors of the options: the nine frames over the filter lists of
// the spam search and the two memos over the Bayesian ignore lists. Their
// texts are read from the components when the settings are shown, and handed
// back to them when the options are applied.

#include "core/settings.h"
#include "spamsearch/listes_filtres.h"

#include <QString>

#include <array>

class TMoteur;

struct TCadreListe {
    const char* Composant; // FrameInfoFiltresN
    const char* CleTitre;  // resource key of the heading
    const char16_t* Titre; // French heading
    int Mode;              // 0 patterns with their expressions, 1 addresses
    int Page;              // the options page that holds it
    TListeFiltre Liste;    // the plain list
    int ListeRegExp;       // its expression list, -1 for none
    int Type;              // its TTypeListe, 0 for the ignore list
};

struct TListesOptions {
    static constexpr int kNbCadres = 9;
    static const std::array<TCadreListe, kNbCadres>& Cadres();
    // The frame of a list kind (TTypeListe), -1 for none.
    static int CadreDuType(int type);
    // The frame shown on an options page, -1 for none.
    static int CadreDeLaPage(int page);

    // What the frame shows of itself in a mode.
    struct TVisibilite {
        bool LabelBalise, LabelIP, BtnTester, Panel2;
    };
    static TVisibilite Visibilite(int mode, bool expert);

    // A list's text (lines each ended by CR LF) for a memo, and back.
    static QString TexteMemo(QByteArrayView liste);
    static QByteArray TexteListe(const QString& memo);
    // Appends `ligne` as a new last line of the memo's text, or removes the
    // first line equal to it without regard to case. False when nothing
    // changed (removing a line that is not there).
    static bool ModifierLigne(QString& memo, const QString& ligne, bool ajouter);
};

// The texts of every list editor, as the memos hold them.
struct TSaisieListes {
    struct TTextes {
        QString Liste;
        QString RegExp;
    };
    std::array<TTextes, TListesOptions::kNbCadres> Cadres;
    QString EntetesIgnorees; // MemoIgnorerEntetes
    QString MotsIgnores;     // MemoIgnorerMots
};

// The editors' texts from the components (the frames' Initialiser).
TSaisieListes LireListes(TMoteur& moteur);
// The texts into the list properties, which are saved, and into the Bayesian
// ignore lists, which are saved too. The error of a save that failed, or empty.
QString AppliquerListes(TMoteur& moteur, const TSaisieListes& saisie);
// The Apply button: the typed options and the lists, through the controller.
// False when ignored (a rebuild runs); `erreur` receives a failed list save.
bool AppliquerOptions(TMoteur& moteur, const TSaisieOptions& options, const TSaisieListes& listes,
                      QString* erreur = nullptr);
