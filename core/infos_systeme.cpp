#include "core/infos_systeme.h"

#include <QFile>
#include <QStorageInfo>

namespace {
QByteArray valeur(const QByteArray& texte, QByteArrayView cle) {
    for (const QByteArray& ligne : texte.split('\n')) {
        const QByteArray l = ligne.trimmed();
        if (!l.startsWith(cle) || l.size() <= cle.size() || l[cle.size()] != '=') continue;
        QByteArray v = l.mid(cle.size() + 1).trimmed();
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        return v;
    }
    return {};
}
QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

QString NomSystemeDepuisOsRelease(const QByteArray& osRelease) {
    QByteArray nom = valeur(osRelease, "PRETTY_NAME");
    if (nom.isEmpty()) {
        nom = valeur(osRelease, "NAME");
        const QByteArray version = valeur(osRelease, "VERSION");
        if (!nom.isEmpty() && !version.isEmpty()) nom += ' ' + version;
    }
    // os-release is UTF-8 by its own definition.
    return QString::fromUtf8(nom);
}

QString NomSysteme() {
    QString nom = NomSystemeDepuisOsRelease(lire(QStringLiteral("/etc/os-release")));
    if (nom.isEmpty()) nom = NomSystemeDepuisOsRelease(lire(QStringLiteral("/usr/lib/os-release")));
    return nom.isEmpty() ? QStringLiteral("Linux") : nom;
}

qint64 MemoireDepuisMeminfo(const QByteArray& meminfo) {
    for (const QByteArray& ligne : meminfo.split('\n')) {
        if (!ligne.startsWith("MemTotal:")) continue;
        const QList<QByteArray> champs = ligne.mid(9).simplified().split(' ');
        bool ok = false;
        const qint64 v = champs.value(0).toLongLong(&ok);
        return ok ? v : 0;
    }
    return 0;
}

qint64 MemoireTotaleKo() {
    return MemoireDepuisMeminfo(lire(QStringLiteral("/proc/meminfo")));
}

TEspaceDisque EspaceDisque(const QString& repertoire) {
    const QStorageInfo s(repertoire);
    TEspaceDisque e;
    if (!s.isValid() || !s.isReady()) return e;
    e.LibreKo = s.bytesAvailable() / 1024;
    e.TotalKo = s.bytesTotal() / 1024;
    e.Valide = true;
    return e;
}
