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
#include "pages/commande_stats.h"
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
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The trace on standard error: the lines of one turn of the event loop go out
// in one write, not a write each.
QByteArray g_traceEnAttente;
bool g_viderProgramme = false;

void viderTrace() {
    g_viderProgramme = false;
    if (g_traceEnAttente.isEmpty()) return;
    std::fwrite(g_traceEnAttente.constData(), 1, size_t(g_traceEnAttente.size()), stderr);
    std::fflush(stderr);
    g_traceEnAttente.resize(0); // keeps its capacity for the next turn
}

void ligneTrace(const QString& prefixe, const QString& texte) {
    // The prefix (time, session) changes about once a second: converted once.
    static QString dernierPrefixe;
    static QByteArray prefixeOctets;
    if (prefixe != dernierPrefixe) {
        dernierPrefixe = prefixe;
        prefixeOctets = prefixe.toLocal8Bit();
    }
    g_traceEnAttente += prefixeOctets;
    g_traceEnAttente += texte.toLocal8Bit();
    g_traceEnAttente += '\n';
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || g_traceEnAttente.size() >= 65536) {
        viderTrace();
    } else if (!g_viderProgramme) {
        g_viderProgramme = true;
        QTimer::singleShot(0, app, viderTrace);
    }
}

void ligneConsole(const QString& texte) {
    viderTrace(); // in the order they were made
    std::fprintf(stderr, "%s\n", texte.toLocal8Bit().constData());
    std::fflush(stderr);
}

void ligneSortie(const char* texte) {
    std::fputs(texte, stdout);
    std::fflush(stdout);
}

const char* const kAide =
    "Usage: kelvarin [switches]\n"
    "A POP3 proxy that filters spam: point your mail client at it (server localhost,\n"
    "user name login@pop.example.com) and it fetches and judges your mail.\n"
    "\n"
    "Switches may be written /x, -x or --x, in any case.\n"
    "  --headless          run without a window (also when no display can be opened)\n"
    "  --trace             print the trace of connections on standard error\n"
    "  --home DIR          keep the settings and data in DIR (also KELVARIN_HOME)\n"
    "  --multi             start even when another copy runs on the same folder\n"
    "  --redemarrer        the same, for a restart\n"
    "  --visible           show the window at start\n"
    "  --paspatienter      no splash window\n"
    "  --patienter         splash window that closes only when the start is done\n"
    "  --clictray          one click on the notification icon shows the window\n"
    "  --quitter           closing the window quits (after the confirmation)\n"
    "  --quittersans       closing the window quits without asking\n"
    "  --desactiveaide     no help pages\n"
    "  --debug, --pasdebug write, or do not write, the debug log (debug.txt)\n"
    "  --local             accepted and ignored\n"
    "  --stats             print the statistics of the archived mail and exit (below)\n"
    "  --version           print the version and exit\n"
    "  --help              print this help and exit\n"
    "\n"
    "Files: the settings and data go beside the executable when it has its data\n"
    "there and may write, else to $XDG_DATA_HOME/kelvarin (~/.local/share/kelvarin).\n";

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
    // Answered before anything opens: no display, no lock, no file written.
    if (ligne.ParamPresent(u"--version")) {
        ligneSortie(("kelvarin " + VersionProgramme().toStdString() + "\n").c_str());
        return 0;
    }
    if (ligne.ParamPresent(u"--help") || ligne.ParamPresent(u"-h") || ligne.ParamPresent(u"/?")) {
        ligneSortie(kAide);
        ligneSortie("\n");
        ligneSortie(statistiques::AideStats().toLocal8Bit().constData());
        return 0;
    }

    // Printed and gone: no window, no lock, no listener, nothing written.
    if (ligne.ParamPresent(u"--stats")) {
        QCoreApplication app(argc, argv);
        QTextStream sortie(stdout), erreurs(stderr);
        const TRepertoires reps = TRepertoires::Calculer(
            QCoreApplication::applicationDirPath(), ligne, qEnvironmentVariable("KELVARIN_HOME"));
        return statistiques::CommandeStats(ligne, reps, sortie, erreurs);
    }

    bool fenetre = false;
    std::unique_ptr<QCoreApplication> app;
#ifdef KELVARIN_AVEC_FENETRE
    fenetre = !ligne.ParamPresent(u"--headless") && affichageDisponible();
    if (fenetre) app = std::make_unique<QApplication>(argc, argv);
#endif
    if (!app) {
        // Without a window, Qt's own event loop: the GLib one wakes itself
        // through a pipe write for every posted event and every socket
        // notifier switched on or off, several times per relayed message.
        // The window keeps GLib, which desktop themes rely on. The variable
        // is only read here, and children do not inherit it.
        const bool glibChoisi = qEnvironmentVariableIsSet("QT_NO_GLIB");
        if (!glibChoisi) qputenv("QT_NO_GLIB", "1");
        app = std::make_unique<QCoreApplication>(argc, argv);
        if (!glibChoisi) qunsetenv("QT_NO_GLIB");
    }
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
        TTrace::instance().OnLigne = [](const TLigneTrace& l) { ligneTrace(l.prefixe, l.texte); };
        std::atexit(viderTrace);
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
    viderTrace();
    debuglog::fermer();
    return code;
}
