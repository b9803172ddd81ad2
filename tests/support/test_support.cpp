#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

namespace testsupport {
QString cheminFixture(const QString& relatif) {
    return QDir(QStringLiteral(KELVARIN_FIXTURES_DIR)).filePath(relatif);
}

QByteArray lireFichier(const QString& chemin, const QByteArray& siAbsent) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : siAbsent;
}

void ecrireFichier(const QString& chemin, const QByteArray& contenu) {
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    QFile f(chemin);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(chemin));
    QCOMPARE(f.write(contenu), contenu.size());
}
} // namespace testsupport
