#pragma once
// A main window over the program's own engine in a temporary home, for the
// window suites (offscreen).

#include "core/config.h"
#include "core/controleur.h"
#include "core/ligne_commande.h"
#include "core/repertoires.h"
#include "core/stockage_config.h"
#include "proxy/moteur.h"
#include "tests/support/kelvarin_process.h"
#include "ui/boite_message.h"
#include "ui/form_kelvarin.h"
#include "ui/pages_options.h"

#include <QPushButton>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

struct TMaisonFenetre {
    QTemporaryDir dir;
    TRepertoires reps;
    explicit TMaisonFenetre(const QByteArray& ini = "[Init]\r\nPortEcoute=0\r\n") {
        Config() = TConfig();
        reps.Installation = reps.Travail = dir.path() + QLatin1Char('/');
        QFile f(reps.Ini());
        if (f.open(QIODevice::WriteOnly)) f.write(ini);
        TBoiteMessage::Reinitialiser();
        TBoiteMessage::ModeTest(true);
    }
    ~TMaisonFenetre() {
        Config() = TConfig();
        InstallerLigneCommande(TLigneCommande());
    }
    QByteArray ini() const {
        QFile f(reps.Ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

struct TFenetreTest {
    static TPointsAcces pointsDeTest() {
        TPointsAcces p;
        p.AdresseVersion = QLatin1String(testsupport::kAdresseVersionTest);
        return p;
    }
    TControleur controleur;
    TMoteur moteur;
    std::unique_ptr<TFormKelvarin> fenetre;
    // As the program does, the settings file is open and the language chosen
    // before the window is created (it reads its position and is translated
    // at creation).
    explicit TFenetreTest(const TRepertoires& reps)
        : controleur(reps), moteur(controleur, pointsDeTest()),
          fenetre((controleur.OuvrirReglages(), std::make_unique<TFormKelvarin>(moteur))) {
        controleur.TimerSauve().setInterval(60000); // saves only when a test asks
    }
    // Start-up and the deferred start.
    bool demarrer(bool differe = true) {
        fenetre->Demarrer();
        if (!differe) return true;
        return QTest::qWaitFor([this] { return controleur.DemarrageDiffereFait(); }, 5000);
    }
};
