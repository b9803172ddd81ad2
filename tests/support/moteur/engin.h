#pragma once
// The controller and the engine as main() builds them, on a home's folders.
// The controller keeps the settings process-wide: they are set back to the
// defaults before the engine starts and after it is gone, so no test inherits
// another's.

#include "core/controleur.h"
#include "core/repertoires.h"
#include "proxy/moteur.h"

namespace testsupport {

class TEngin {
    // First member: set up before the controller, undone after the engine's
    // shutdown has written the settings.
    struct TReglagesParDefaut {
        TReglagesParDefaut();
        ~TReglagesParDefaut();
    } m_defaut;

public:
    explicit TEngin(const TRepertoires& reps, const TPointsAcces& points = {});

    // Start-up and the deferred start; false when either did not finish.
    bool demarrer();
    quint16 port();

    TControleur controleur;
    TMoteur moteur;
};

} // namespace testsupport
