#include "tests/support/moteur/banc_moteur.h"

#include "core/trace.h"
#include "proxy/serveur_proxy.h"

#include <QTest>

namespace testsupport {

TBancMoteur::TBancMoteur(const TCles& cles, const TPointsAcces& points)
    : m_maison(TMaison::fusionner({{"DNSAuto", "0"}, {"AdresseDNS", "127.0.0.1"}}, cles)),
      m_engin(std::make_unique<TEngin>(m_maison.reps, points)) {
    TServeurProxy& p = m_engin->moteur.ServeurProxy();
    // Counted, then passed on to the program's own handlers.
    const auto compter = [](std::function<void()>& evenement, int& compteur) {
        evenement = [suite = evenement, &compteur] {
            ++compteur;
            if (suite) suite();
        };
    };
    compter(p.OnDemarrerTimerQuit, DemarrerTimerQuit);
    compter(p.OnArreterTimerQuit, ArreterTimerQuit);
    compter(p.OnSessionTerminee, SessionsTerminees);
    TTrace::instance().OnLigne = [this](const TLigneTrace& l) { Traces << l.prefixe + l.texte; };
}

TBancMoteur::~TBancMoteur() {
    Arreter();
    m_engin.reset();
    TTrace::instance().OnLigne = nullptr;
}

bool TBancMoteur::Demarrer() {
    return m_engin->demarrer() && Proxy().Ecoute();
}

void TBancMoteur::Arreter() {
    if (m_engin) m_engin->controleur.Arreter();
}

TServeurProxy& TBancMoteur::Proxy() {
    return Moteur().ServeurProxy();
}

quint16 TBancMoteur::Port() {
    return Proxy().PortLocal();
}

void TBancMoteur::SansServeursDNSBL() {
    TChercheSPAMs& c = Moteur().ChercheSPAMs1;
    while (c.NbServeur() > 0)
        c.SupprimerServeur(c.Serveur(0)->Nom);
}

std::unique_ptr<TClientLignes> TBancMoteur::Client() {
    auto c = std::make_unique<TClientLignes>();
    if (!c->connecter(Port())) return nullptr;
    if (c->ligne() != "+OK Bienvenue sur Kelvarin") return nullptr;
    return c;
}

bool TBancMoteur::AttendreSessions(int n, int delaiMs) {
    return QTest::qWaitFor([&] { return Proxy().NbSessions() == n; }, delaiMs);
}

bool TBancMoteur::TraceContient(const QString& texte) const {
    for (const QString& t : Traces)
        if (t.contains(texte)) return true;
    return false;
}

} // namespace testsupport
