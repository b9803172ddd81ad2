#include "ui/aide.h"

#include "core/regles_fenetre.h"
#include "core/repertoires.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace aide {
namespace {
bool g_desactive = false;
}

void Desactiver(bool d) {
    g_desactive = d;
}

QString Fichier() {
    const QString f = Repertoires().Aide() + QStringLiteral("index.html");
    return QFileInfo::exists(f) ? f : QString();
}

bool Disponible() {
    return !g_desactive && !Fichier().isEmpty();
}

// The page that holds a topic's anchor: the options and the review page have
// their own, every other topic is on the main page.
QString PageDuSujet(int sujet) {
    if ((sujet >= 10 && sujet <= 12) || (sujet >= 101 && sujet <= 103))
        return QStringLiteral("options.html");
    if (sujet == 32 || sujet == 123) return QStringLiteral("revue.html");
    return QStringLiteral("index.html");
}

QString Adresse(int sujet) {
    const QString f = Fichier();
    if (f.isEmpty()) return {};
    QUrl u = QUrl::fromLocalFile(QFileInfo(f).dir().filePath(PageDuSujet(sujet)));
    u.setFragment(QStringLiteral("sujet-%1").arg(sujet));
    return u.toString();
}

bool Afficher(int sujet) {
    if (!Disponible()) return false;
    return QDesktopServices::openUrl(QUrl(Adresse(sujet)));
}

bool OuvrirURL(const QString& adresse) {
    return QDesktopServices::openUrl(QUrl(AdresseURL(adresse)));
}
} // namespace aide
