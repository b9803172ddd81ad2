#include "tests/support/moteur/banc_moteur.h"

#include "core/config.h"
#include "core/trace.h"
#include "proxy/serveur_proxy.h"

#include <QFile>
#include <QTest>

namespace testsupport {

TBancMoteur::TBancMoteur(const TCles& cles, const TPointsAcces& points) {
    Config() = TConfig();
    m_reps.Installation = m_reps.Travail = m_dir.path() + QLatin1Char('/');
    TCles toutes = {{"PortEcoute", "0"}, {"DNSAuto", "0"}, {"AdresseDNS", "127.0.0.1"}};
    for (const auto& cle : cles) {
        toutes.removeIf([&cle](const auto& c) { return c.first == cle.first; });
        toutes.append(cle);
    }
    QByteArray ini = "[Init]\r\n";
    for (const auto& [cle, valeur] : toutes)
        ini += cle + '=' + valeur + "\r\n";
    QFile f(m_reps.Ini());
    if (f.open(QIODevice::WriteOnly)) f.write(ini);
    f.close();
    m_controleur = std::make_unique<TControleur>(m_reps);
    m_moteur = std::make_unique<TMoteur>(*m_controleur, points);
    TServeurProxy& p = m_moteur->ServeurProxy();
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
    m_moteur.reset();
    m_controleur.reset();
    TTrace::instance().OnLigne = nullptr;
    Config() = TConfig();
}

bool TBancMoteur::Demarrer() {
    if (!m_controleur->Demarrer()) return false;
    if (!QTest::qWaitFor([this] { return m_controleur->DemarrageDiffereFait(); }, 5000))
        return false;
    return Proxy().Ecoute();
}

void TBancMoteur::Arreter() {
    if (m_controleur) m_controleur->Arreter();
}

TServeurProxy& TBancMoteur::Proxy() {
    return m_moteur->ServeurProxy();
}

quint16 TBancMoteur::Port() {
    return Proxy().PortLocal();
}

void TBancMoteur::SansServeursDNSBL() {
    TChercheSPAMs& c = m_moteur->ChercheSPAMs1;
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
