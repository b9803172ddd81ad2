#pragma once
// The program's directories, each with a trailing "/". The installation
// directory holds the shipped data (Encodage/, Language/, help/): the
// executable's own folder when the data sits beside it, else ../share/kelvarin
// as a package installs it. The files the program writes (settings, Donnees/,
// Dossiers/, tmp/, debug log) go to --home DIR, else KELVARIN_HOME, else beside
// the executable when the data sits there and the folder is writable, else the
// user's data folder ($XDG_DATA_HOME/kelvarin).

#include "core/ligne_commande.h"

#include <QString>

#include <functional>

// What the machine says about where a user's files go; tests inject their own.
struct TEmplacementsSysteme {
    QString DonneesUtilisateur; // $XDG_DATA_HOME, else ~/.local/share
    std::function<bool(const QString& dossier)> Inscriptible;
    std::function<bool(const QString& dossier)> Existe;
    static TEmplacementsSysteme DuSysteme();
};

struct TRepertoires {
    QString Installation;
    QString Travail;

    static TRepertoires
    Calculer(const QString& repertoireExecutable, const TLigneCommande& ligne,
             const QString& variableHome,
             const TEmplacementsSysteme& systeme = TEmplacementsSysteme::DuSysteme());

    QString Ini() const { return Travail + QStringLiteral("kelvarin.ini"); }
    QString Donnees() const { return Travail + QStringLiteral("Donnees/"); }
    QString Dossiers() const { return Travail + QStringLiteral("Dossiers/"); }
    QString Tmp() const { return Travail + QStringLiteral("tmp/"); }
    QString DebugTxt() const { return Travail + QStringLiteral("debug.txt"); }
    QString Encodage() const { return Installation + QStringLiteral("Encodage/"); }
    QString Language() const { return Installation + QStringLiteral("Language/"); }
    QString Aide() const { return Installation + QStringLiteral("help/"); }

    // The handler of the components' OnInitRepertoire event.
    void InitRepertoire(QString& chRepTravail, QString& chRepInstallation) const {
        chRepTravail = Travail;
        chRepInstallation = Installation;
    }

    // "/debug" or a ".debug" file (beside the executable or in the home), and
    // no "/pasdebug".
    bool ModeDebug(const TLigneCommande& ligne) const;
};

// The process's directories, set once by main().
void InstallerRepertoires(const TRepertoires& r);
const TRepertoires& Repertoires();

// "1.01.00.00": major, then minor, release and build on at least two digits.
QString ChaineVersion(int majeur, int mineur, int release, int build);
QString VersionProgramme();
