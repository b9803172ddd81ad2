// kelvarin: the POP3 filtering proxy. The engine runs the same with or without
// a window; this build has no window, so it always runs headless.

#include "core/controleur.h"
#include "core/instance_unique.h"
#include "core/ligne_commande.h"
#include "core/repertoires.h"
#include "core/signaux_arret.h"
#include "core/trace.h"
#include "proxy/moteur.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

void ligneConsole(const QString& texte) {
    std::fprintf(stderr, "%s\n", texte.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool affichageDisponible() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvarin"));
    QCoreApplication::setApplicationVersion(VersionProgramme());

    const TLigneCommande ligne(app.arguments().mid(1));
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

    if (!ligne.ParamPresent(u"--headless")) {
        ligneConsole(affichageDisponible()
                         ? QStringLiteral("kelvarin: the window is not available in this build; "
                                          "running headless")
                         : QStringLiteral("kelvarin: no display can be opened; running headless"));
    }

    // One copy per user and home: a second one signals the first and ends.
    TInstanceUnique instance(reps.Travail);
    if (!ligne.ParamPresent(u"/redemarrer") && !ligne.ParamPresent(u"/multi")) {
        if (instance.InstanceDejaLancee()) return 0;
    }
    // With a window this would also beep and re-create the notification icon.
    instance.OnSignalInstance = [] {
        Trace(QStringLiteral("Signal d'une autre instance : ") +
              QLatin1String(TInstanceUnique::kMessage));
    };

    debuglog::activer(reps.ModeDebug(ligne));
    debuglog::ouvrir();

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
        Trace(QStringLiteral("Exception : Demarrer : ") + reps.Ini());
    }
    const int code = app.exec();
    controleur.Arreter();
    debuglog::fermer();
    return code;
}
