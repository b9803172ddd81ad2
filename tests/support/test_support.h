#pragma once
// Shared test helpers: temporary homes, fixture paths.

#include <QString>

namespace testsupport {
QString cheminFixture(const QString& relatif);
} // namespace testsupport
