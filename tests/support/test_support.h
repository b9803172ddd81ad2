#pragma once
// Shared test helpers: fixture paths, whole-file reads and writes.

#include <QByteArray>
#include <QString>

namespace testsupport {
QString cheminFixture(const QString& relatif);
// The whole content of a file; `siAbsent` when it cannot be read.
QByteArray lireFichier(const QString& chemin, const QByteArray& siAbsent = {});
// Writes a file whole, its folders created; a failure fails the running test.
void ecrireFichier(const QString& chemin, const QByteArray& contenu);
} // namespace testsupport
