#pragma once
// The program's directories, each with a trailing "/". The installation
// directory is the executable's; --home DIR or KELVARIN_HOME moves the files the
// program writes (settings, Donnees/, Dossiers/, tmp/, debug log) to DIR, for
// installs where the executable's directory is read-only. Shipped data
// (Encodage/, Language/) stays in the installation directory.

#include "core/ligne_commande.h"

#include <QString>

struct TRepertoires {
    QString Installation;
    QString Travail;

    // Installation from the executable's directory; Travail from --home, then
    // KELVARIN_HOME (value given), then the installation directory.
    static TRepertoires Calculer(const QString& repertoireExecutable, const TLigneCommande& ligne,
                                 const QString& variableHome);

    QString Ini() const { return Travail + QStringLiteral("kelvarin.ini"); }
    QString Donnees() const { return Travail + QStringLiteral("Donnees/"); }
    QString Dossiers() const { return Travail + QStringLiteral("Dossiers/"); }
    QString Tmp() const { return Travail + QStringLiteral("tmp/"); }
    QString DebugTxt() const { return Travail + QStringLiteral("debug.txt"); }
    QString Encodage() const { return Installation + QStringLiteral("Encodage/"); }
    QString Language() const { return Installation + QStringLiteral("Language/"); }

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
