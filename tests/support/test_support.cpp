#include "tests/support/test_support.h"

#include <QDir>

namespace testsupport {
QString cheminFixture(const QString& relatif) {
    return QDir(QStringLiteral(KELVARIN_FIXTURES_DIR)).filePath(relatif);
}
} // namespace testsupport
