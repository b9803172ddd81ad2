#include "core/repertoires.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString avecBarre(const QString& chemin) {
    QString r = QDir::cleanPath(QDir(chemin).absolutePath());
    if (!r.endsWith(u'/')) r += u'/';
    return r;
}

TRepertoires& repertoiresProcessus() {
    static TRepertoires r;
    return r;
}
} // namespace

TRepertoires TRepertoires::Calculer(const QString& repertoireExecutable,
                                    const TLigneCommande& ligne, const QString& variableHome) {
    TRepertoires r;
    r.Installation = avecBarre(repertoireExecutable);
    if (!ligne.Home().isEmpty())
        r.Travail = avecBarre(ligne.Home());
    else if (!variableHome.isEmpty())
        r.Travail = avecBarre(variableHome);
    else
        r.Travail = r.Installation;
    return r;
}

bool TRepertoires::ModeDebug(const TLigneCommande& ligne) const {
    if (ligne.ParamPresent(u"/pasdebug")) return false;
    if (ligne.ParamPresent(u"/debug")) return true;
    return QFileInfo::exists(Installation + QStringLiteral(".debug")) ||
           QFileInfo::exists(Travail + QStringLiteral(".debug"));
}

void InstallerRepertoires(const TRepertoires& r) {
    repertoiresProcessus() = r;
}
const TRepertoires& Repertoires() {
    return repertoiresProcessus();
}

QString ChaineVersion(int majeur, int mineur, int release, int build) {
    const auto deux = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return QString::number(majeur) + u'.' + deux(mineur) + u'.' + deux(release) + u'.' +
           deux(build);
}

QString VersionProgramme() {
    return ChaineVersion(KELVARIN_VERSION_MAJOR, KELVARIN_VERSION_MINOR, KELVARIN_VERSION_PATCH,
                         KELVARIN_VERSION_TWEAK);
}
