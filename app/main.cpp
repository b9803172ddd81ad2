// kelvarin: the POP3 filtering proxy. The engine runs the same with or without
// a window: the window by default, the engine alone with --headless, when no
// display can be opened, or in a build without the window.

#include "core/config.h"
#include "core/controleur.h"
#include "core/instance_unique.h"
#include "core/ligne_commande.h"
#include "core/repertoires.h"
#include "core/signaux_arret.h"
#include "core/stockage_config.h"
#include "core/trace.h"
#include "i18n/traduction.h"
#include "proxy/moteur.h"

#ifdef KELVARIN_AVEC_FENETRE
#include "ui/aide.h"
#include "ui/form_base.h"
#include "ui/form_kelvarin.h"
#include "ui/form_patienter.h"
#include "ui/icone_notification.h"

#include <QApplication>
#endif

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

namespace {

void ligneConsole(const QString& texte) {
    std::fprintf(stderr, "%s\n", texte.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool affichageDisponible() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

#ifdef KELVARIN_AVEC_FENETRE
// The window's start: the splash, the main window built through the engine's
// steps, then the message loop.
int avecFenetre(QApplication& app, const TRepertoires& reps, TInstanceUnique& instance) {
    QApplication::setQuitOnLastWindowClosed(false);
    aide::Desactiver(ParamPresent(u"/desactiveaide"));
    TControleur controleur(reps);
    TMoteur moteur(controleur);

    // The splash opens the settings file, chooses the language and reads its
    // own two keys directly.
    controleur.OuvrirReglages();
    TStockageConfig& ini = StockageConfig();
    const bool splashVisible =
        !ParamPresent(u"/paspatienter") && ini.LireBool("Init", "PatienterVisible", true);
    const bool fenetreVisible = ParamPresent(u"/visible") ||
                                !ini.LireBool("Init", "ReduireKelvarin", Config().ReduireKelvarin);
    TFormPatienter splash(!ParamPresent(u"/patienter"), debuglog::actif());
    if (splashVisible) {
        splash.show();
        QCoreApplication::processEvents();
    }

    TFormKelvarin fenetre(moteur);
    // exit(), not quit(): quit() first asks every window to close, and the
    // main window only hides when asked.
    QObject::connect(
        &fenetre, &TFormKelvarin::QuitterApplication, &app, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    instance.OnSignalInstance = [&fenetre] { fenetre.SignalAutreInstance(); };
    TSignauxArret signaux;
    signaux.OnArret = [](int numero) {
        Trace(QStringLiteral("Signal %1 : arrêt").arg(numero));
        QCoreApplication::exit(0);
    };

    if (!fenetre.Demarrer([&splash](const QString& etape) {
            splash.Statut(etape);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }))
        TraceException(u"Demarrer", reps.Ini());
    const auto montrer = [&fenetre, fenetreVisible] {
        if (fenetreVisible)
            fenetre.show();
        else if (!TIconeNotification::ZoneDisponible())
            fenetre.showMinimized(); // no notification area: the task bar keeps it reachable
    };
    // The window comes once the splash has gone.
    QObject::connect(&splash, &TFormPatienter::Fermee, &fenetre, montrer);
    splash.Statut(QStringLiteral("Prêt"));
    splash.Fin();

    const int code = app.exec();
    // Ended by a signal (a session logout) as well as by "Quitter": the
    // window's place is kept either way.
    fenetre.Base().EcranVersConfig();
    controleur.Arreter();
    return code;
}
#endif

int sansFenetre(const TRepertoires& reps) {
    TControleur controleur(reps);
    controleur.FenetreCachee = [] { return true; };
    // The components (listener, spam search, accounts, knowledge base, archive)
    // plug into the controller's steps.
    TMoteur moteur(controleur);

    TSignauxArret signaux;
    signaux.OnArret = [](int numero) {
        Trace(QStringLiteral("Signal %1 : arrêt").arg(numero));
        QCoreApplication::quit();
    };

    if (!controleur.Demarrer()) {
        TraceException(u"Demarrer", reps.Ini());
    }
    const int code = QCoreApplication::exec();
    controleur.Arreter();
    return code;
}

} // namespace

int main(int argc, char** argv) {
    // The translation engine is in place before any text is loaded.
    Traduction();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const TLigneCommande ligne(arguments);

    bool fenetre = false;
    std::unique_ptr<QCoreApplication> app;
#ifdef KELVARIN_AVEC_FENETRE
    fenetre = !ligne.ParamPresent(u"--headless") && affichageDisponible();
    if (fenetre) app = std::make_unique<QApplication>(argc, argv);
#endif
    if (!app) app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvarin"));
    QCoreApplication::setApplicationVersion(VersionProgramme());

    InstallerLigneCommande(ligne);
    const TRepertoires reps = TRepertoires::Calculer(QCoreApplication::applicationDirPath(), ligne,
                                                     qEnvironmentVariable("KELVARIN_HOME"));
    if (!QDir().mkpath(reps.Travail)) {
        ligneConsole(QStringLiteral("kelvarin: cannot create the directory ") + reps.Travail);
        return 1;
    }
    InstallerRepertoires(reps);

    if (ligne.ParamPresent(u"--trace")) {
        TTrace::instance().OnLigne = [](const TLigneTrace& l) {
            ligneConsole(l.prefixe + l.texte);
        };
    }
    debuglog::definirChemin(reps.DebugTxt());

    if (!fenetre && !ligne.ParamPresent(u"--headless")) {
#ifdef KELVARIN_AVEC_FENETRE
        ligneConsole(QStringLiteral("kelvarin: no display can be opened; running headless"));
#else
        ligneConsole(affichageDisponible()
                         ? QStringLiteral("kelvarin: the window is not available in this build; "
                                          "running headless")
                         : QStringLiteral("kelvarin: no display can be opened; running headless"));
#endif
    }

    // One copy per user and home: a second one signals the first and ends.
    TInstanceUnique instance(reps.Travail);
    if (!ligne.ParamPresent(u"/redemarrer") && !ligne.ParamPresent(u"/multi")) {
        if (instance.InstanceDejaLancee()) return 0;
    }
    instance.OnSignalInstance = [] {
        Trace(QStringLiteral("Signal d'une autre instance : ") +
              QLatin1String(TInstanceUnique::kMessage));
    };

    debuglog::activer(reps.ModeDebug(ligne));
    debuglog::ouvrir();

    int code = 0;
#ifdef KELVARIN_AVEC_FENETRE
    if (fenetre)
        code = avecFenetre(*static_cast<QApplication*>(app.get()), reps, instance);
    else
#endif
        code = sansFenetre(reps);
    debuglog::fermer();
    return code;
}
