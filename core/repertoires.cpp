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

TEmplacementsSysteme TEmplacementsSysteme::DuSysteme() {
    TEmplacementsSysteme s;
    s.DonneesUtilisateur = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and ignored, as desktops do.
    if (s.DonneesUtilisateur.isEmpty() || QDir::isRelativePath(s.DonneesUtilisateur))
        s.DonneesUtilisateur = QDir::homePath() + QStringLiteral("/.local/share");
    s.Inscriptible = [](const QString& dossier) {
        const QFileInfo f(dossier);
        return f.isDir() && f.isWritable();
    };
    s.Existe = [](const QString& dossier) { return QFileInfo(dossier).isDir(); };
    return s;
}

TRepertoires TRepertoires::Calculer(const QString& repertoireExecutable,
                                    const TLigneCommande& ligne, const QString& variableHome,
                                    const TEmplacementsSysteme& systeme) {
    TRepertoires r;
    const QString executable = avecBarre(repertoireExecutable);
    const QString paquet = avecBarre(executable + QStringLiteral("../share/kelvarin"));
    // A package puts the data under share/; a build or an unpacked copy keeps
    // it beside the executable.
    const bool installe = !systeme.Existe(executable + QStringLiteral("Encodage")) &&
                          systeme.Existe(paquet + QStringLiteral("Encodage"));
    r.Installation = installe ? paquet : executable;
    if (!ligne.Home().isEmpty())
        r.Travail = avecBarre(ligne.Home());
    else if (!variableHome.isEmpty())
        r.Travail = avecBarre(variableHome);
    else if (!installe && systeme.Inscriptible(executable))
        r.Travail = executable;
    else
        // Even root, who may write in /usr/bin, keeps its files in its own folder.
        r.Travail = avecBarre(systeme.DonneesUtilisateur + QStringLiteral("/kelvarin"));
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
