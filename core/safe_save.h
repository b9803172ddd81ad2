#pragma once
// Safe save of data files. A file is always written whole to a temporary file
// first; only then does the previous copy step aside as ".bak" and the new one
// take its name, and the ".bak" is removed last. At every moment one complete
// copy exists under the name or, between the two renames, under ".bak".

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <functional>

namespace sauvegarde {

// Same name, extension ".bak" ("comptesspam.qdl" -> "comptesspam.bak").
QString cheminBak(const QString& chemin);
// The temporary file a save writes first.
QString cheminTemporaire(const QString& chemin);

// Writes the new content; returns false (old file untouched) when it fails.
using TEcrivain = std::function<bool(QIODevice&)>;
bool sauverAvec(const QString& chemin, const TEcrivain& ecrire, QString* erreur = nullptr);
bool sauver(const QString& chemin, const QByteArray& contenu, QString* erreur = nullptr);

// Replaces a file atomically without keeping a ".bak" (settings file).
bool ecrireAtomique(const QString& chemin, const QByteArray& contenu, QString* erreur = nullptr);

// Appends to a file (created when missing) with one system write per call
// and no sync, for journals whose reader copes with a torn last entry.
bool ajouter(const QString& chemin, QByteArrayView donnees, QString* erreur = nullptr);

enum class TEtatLecture { Lu, Absent, Illisible };
// Reads a data file; a missing file with a ".bak" beside it reads the ".bak"
// (an interrupted save). `depuisBak` tells which copy was read.
TEtatLecture lire(const QString& chemin, QByteArray& contenu, QString* erreur = nullptr,
                  bool* depuisBak = nullptr);

} // namespace sauvegarde
