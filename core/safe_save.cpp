#include "core/safe_save.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace sauvegarde {
namespace {

void poser(QString* erreur, const QString& texte) {
    if (erreur) *erreur = texte;
}

// Makes a rename durable: the directory entry itself reaches the disk.
void synchroniserRepertoire(const QString& chemin) {
    const QByteArray rep = QFile::encodeName(QFileInfo(chemin).absolutePath());
    const int fd = ::open(rep.constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool ecrireTemporaire(const QString& tmp, const TEcrivain& ecrire, QString* erreur) {
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        poser(erreur, f.errorString());
        return false;
    }
    bool ok = ecrire(f);
    ok = ok && f.flush();
    ok = ok && ::fsync(f.handle()) == 0;
    if (!ok && erreur)
        *erreur = f.error() != QFileDevice::NoError ? f.errorString()
                                                    : QString::fromUtf8(std::strerror(errno));
    f.close();
    if (ok && f.error() != QFileDevice::NoError) {
        poser(erreur, f.errorString());
        ok = false;
    }
    if (!ok) QFile::remove(tmp);
    return ok;
}

bool renommer(const QString& de, const QString& vers, QString* erreur) {
    if (::rename(QFile::encodeName(de).constData(), QFile::encodeName(vers).constData()) == 0) {
        return true;
    }
    poser(erreur, QString::fromUtf8(std::strerror(errno)));
    return false;
}

} // namespace

bool ajouter(const QString& chemin, QByteArrayView donnees, QString* erreur) {
    const int fd = ::open(QFile::encodeName(chemin).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        poser(erreur, QString::fromUtf8(std::strerror(errno)));
        return false;
    }
    const char* p = donnees.data();
    qsizetype reste = donnees.size();
    while (reste > 0) {
        const ssize_t n = ::write(fd, p, size_t(reste));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            poser(erreur, n < 0 ? QString::fromUtf8(std::strerror(errno))
                                : QStringLiteral("nothing written"));
            ::close(fd);
            return false;
        }
        p += n;
        reste -= n;
    }
    if (::close(fd) != 0 && errno != EINTR) {
        poser(erreur, QString::fromUtf8(std::strerror(errno)));
        return false;
    }
    return true;
}

QString cheminBak(const QString& chemin) {
    const QFileInfo fi(chemin);
    const QString nom = fi.fileName();
    const qsizetype point = nom.lastIndexOf(QLatin1Char('.'));
    const QString base = point > 0 ? nom.left(point) : nom;
    return fi.dir().filePath(base + QStringLiteral(".bak"));
}

QString cheminTemporaire(const QString& chemin) {
    return chemin + QStringLiteral(".tmp");
}

bool sauverAvec(const QString& chemin, const TEcrivain& ecrire, QString* erreur) {
    const QString tmp = cheminTemporaire(chemin);
    if (!ecrireTemporaire(tmp, ecrire, erreur)) return false;
    const QString bak = cheminBak(chemin);
    if (QFileInfo::exists(chemin)) {
        // The previous copy becomes the backup only once the new one is whole on disk.
        QFile::remove(bak);
        if (!renommer(chemin, bak, erreur)) {
            QFile::remove(tmp);
            return false;
        }
    }
    if (!renommer(tmp, chemin, erreur)) {
        renommer(bak, chemin, nullptr);
        return false;
    }
    synchroniserRepertoire(chemin);
    QFile::remove(bak);
    return true;
}

bool sauver(const QString& chemin, const QByteArray& contenu, QString* erreur) {
    return sauverAvec(
        chemin, [&contenu](QIODevice& d) { return d.write(contenu) == contenu.size(); }, erreur);
}

bool ecrireAtomique(const QString& chemin, const QByteArray& contenu, QString* erreur) {
    const QString tmp = cheminTemporaire(chemin);
    auto ecrire = [&contenu](QIODevice& d) { return d.write(contenu) == contenu.size(); };
    if (!ecrireTemporaire(tmp, ecrire, erreur)) return false;
    if (!renommer(tmp, chemin, erreur)) {
        QFile::remove(tmp);
        return false;
    }
    synchroniserRepertoire(chemin);
    return true;
}

TEtatLecture lire(const QString& chemin, QByteArray& contenu, QString* erreur, bool* depuisBak) {
    contenu.clear();
    if (depuisBak) *depuisBak = false;
    QString source = chemin;
    if (!QFileInfo::exists(chemin)) {
        const QString bak = cheminBak(chemin);
        if (!QFileInfo::exists(bak)) return TEtatLecture::Absent;
        source = bak;
        if (depuisBak) *depuisBak = true;
    }
    QFile f(source);
    if (!f.open(QIODevice::ReadOnly)) {
        poser(erreur, f.errorString());
        return TEtatLecture::Illisible;
    }
    contenu = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        poser(erreur, f.errorString());
        contenu.clear();
        return TEtatLecture::Illisible;
    }
    return TEtatLecture::Lu;
}

} // namespace sauvegarde
