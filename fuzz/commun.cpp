#include "fuzz/commun.h"

#include "core/trace.h"
#include "mime/encodage_decodage.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

namespace fuzz {

namespace {
QString g_repertoire;

void supprimerRepertoire() {
    if (!g_repertoire.isEmpty()) QDir(g_repertoire).removeRecursively();
}
} // namespace

TEntree::~TEntree() {
    TTrace::instance().effacer();
}

const QString& Repertoire() {
    if (g_repertoire.isEmpty()) {
        // tmpfs when there is one: the readers write a file per input.
        QString base = QStringLiteral("/dev/shm");
        if (!QFileInfo(base).isDir() || !QFileInfo(base).isWritable()) base = QDir::tempPath();
        // The process id in the name lets scripts/fuzz.sh remove what a crash leaves.
        QByteArray modele = QFile::encodeName(base) + "/kelvarin-fuzz-" +
                            QByteArray::number(qint64(getpid())) + "-XXXXXX";
        if (!mkdtemp(modele.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        g_repertoire = QFile::decodeName(modele) + QLatin1Char('/');
        std::atexit(supprimerRepertoire);
        // The trace is kept in memory (capped); nothing needs to reach a terminal.
        TTrace::instance().OnLigne = nullptr;
    }
    return g_repertoire;
}

QString EcrireFichier(const QString& nom, const QByteArray& contenu) {
    const QString chemin = Repertoire() + nom;
    QFile f(chemin);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(contenu) != contenu.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(chemin));
        std::abort();
    }
    return chemin;
}

// Called for every input: a plain walk of the folder, without the sorted
// listing and the file information QDir would build.
void ViderRepertoire() {
    const QByteArray racine = QFile::encodeName(Repertoire());
    DIR* d = opendir(racine.constData());
    if (!d) return;
    QByteArrayList dossiers;
    while (const dirent* e = readdir(d)) {
        const QByteArray nom = e->d_name;
        if (nom == "." || nom == "..") continue;
        const QByteArray chemin = racine + nom;
        if (unlink(chemin.constData()) != 0 && errno == EISDIR) dossiers.append(chemin);
    }
    closedir(d);
    for (const QByteArray& chemin : dossiers)
        QDir(QFile::decodeName(chemin)).removeRecursively();
}

QByteArray LireFichier(const QString& chemin) {
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return {};
    return f.readAll();
}

bool MemesLignes(const QByteArray& a, const QByteArray& b) {
    QByteArrayList la = a.split('\n'), lb = b.split('\n');
    std::sort(la.begin(), la.end());
    std::sort(lb.begin(), lb.end());
    return la == lb;
}

void Echec(const char* quoi, const QByteArray& attendu, const QByteArray& obtenu) {
    std::fprintf(stderr,
                 "round trip broken: %s\n--- expected (%lld bytes)\n%s\n--- got (%lld bytes)\n%s\n",
                 quoi, static_cast<long long>(attendu.size()), attendu.toHex(' ').constData(),
                 static_cast<long long>(obtenu.size()), obtenu.toHex(' ').constData());
    std::abort();
}

TEncodageDecodage& Encodage() {
    static TEncodageDecodage* encodage = [] {
        auto* e = new TEncodageDecodage;
        e->ChargerCharsets(RepertoireDonneesSource() + QStringLiteral("/Encodage"));
        return e;
    }();
    return *encodage;
}

} // namespace fuzz
