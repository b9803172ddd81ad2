#include "tests/support/moteur/engin.h"

#include "core/config.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/kelvarin_process.h"

#include <QTest>

namespace testsupport {

TEngin::TReglagesParDefaut::TReglagesParDefaut() {
    Config() = TConfig();
}
TEngin::TReglagesParDefaut::~TReglagesParDefaut() {
    Config() = TConfig();
}

namespace {
TPointsAcces pointsDeTest(TPointsAcces p) {
    if (p.AdresseVersion.isEmpty()) p.AdresseVersion = QLatin1String(kAdresseVersionTest);
    return p;
}
} // namespace

TEngin::TEngin(const TRepertoires& reps, const TPointsAcces& points)
    : controleur(reps), moteur(controleur, pointsDeTest(points)) {}

bool TEngin::demarrer() {
    if (!controleur.Demarrer()) return false;
    return QTest::qWaitFor([this] { return controleur.DemarrageDiffereFait(); }, 5000);
}

quint16 TEngin::port() {
    return moteur.ServeurProxy().PortLocal();
}

} // namespace testsupport
