#include "proxy/serveur_proxy.h"

#include "accounts/gestion_comptes_bis.h"
#include "core/config.h"
#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "proxy/analyse_pop3.h"
#include "proxy/mon_wsocket.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

#include <exception>

TServeurProxy::TServeurProxy(TGestionComptesBis& comptes, const TConfig& reglages, QObject* parent)
    : QObject(parent), m_comptes(comptes), m_reglages(reglages), m_ecoute(new QTcpServer(this)) {
    m_ecoute->setMaxPendingConnections(5);
    m_ecoute->setProxy(QNetworkProxy::NoProxy);
    connect(m_ecoute, &QTcpServer::newConnection, this, &TServeurProxy::surNouvelleConnexion);
}

TServeurProxy::~TServeurProxy() {
    m_ecoute->close();
    // Sessions go first: they hand their accounts back to the manager.
    m_sessions.clear();
}

bool TServeurProxy::Ouvrir(const QByteArray& port, QString* erreur) {
    if (m_ecoute->isListening()) m_ecoute->close();
    const quint16 numero = pop3::resoudrePort(port);
    QHostAddress adresse;
    const QByteArray texteAdresse = m_reglages.AdresseEcoute.trimmed();
    if (!adresse.setAddress(
            cp1252::versUnicode(texteAdresse.isEmpty() ? "127.0.0.1" : texteAdresse)))
        adresse = QHostAddress::LocalHost;
    // Port "0" asks for any free port (tests); an unknown service name fails.
    const bool zero = port.trimmed() == "0";
    bool ouvert = (numero != 0 || zero) && m_ecoute->listen(adresse, numero);
    if (!ouvert && numero != 0 && numero < 1024 &&
        m_ecoute->serverError() == QAbstractSocket::SocketAccessError) {
        // An ordinary user may not open a port below 1024: listen on the
        // usual unprivileged one instead of not filtering at all.
        const QString refus = m_ecoute->errorString();
        ouvert = m_ecoute->listen(adresse, kPortRepli);
        if (ouvert)
            Trace(Format(Res("princ29b", u"Port %s refusé par le système (%s) : Kelvarin écoute "
                                         u"sur le port %s."),
                         {cp1252::versUnicode(port), refus, QString::number(kPortRepli)}));
    }
    if (!ouvert) {
        const QString t =
            Format(Res("princ29", u"Impossible d'ouvrir le port %s\r\nKelvarin non actif."),
                   {cp1252::versUnicode(port)});
        if (numero != 0 || zero) TraceException(u"Ouvrir", m_ecoute->errorString());
        if (erreur) *erreur = t;
        return false;
    }
    return true;
}

void TServeurProxy::Fermer() {
    m_ecoute->close();
}
bool TServeurProxy::Ecoute() const {
    return m_ecoute->isListening();
}
quint16 TServeurProxy::PortLocal() const {
    return m_ecoute->serverPort();
}

TMonWSocket* TServeurProxy::Session(int numero) const {
    for (const auto& s : m_sessions)
        if (s->Numero() == numero) return s.get();
    return nullptr;
}

std::vector<int> TServeurProxy::NumerosSessions() const {
    std::vector<int> numeros;
    numeros.reserve(m_sessions.size());
    for (const auto& s : m_sessions)
        numeros.push_back(s->Numero());
    return numeros;
}

TMonWSocket* TServeurProxy::SessionIndex(int index) const {
    if (index < 0 || index >= NbSessions()) return nullptr;
    return m_sessions[size_t(index)].get();
}

void TServeurProxy::surNouvelleConnexion() {
    while (QTcpSocket* connexion = m_ecoute->nextPendingConnection()) {
        if (OnConnexionAcceptee) OnConnexionAcceptee();
        m_dernierNumero = m_sessions.empty() ? 1 : m_dernierNumero + 1;
        const int numero = m_dernierNumero;
        m_sessions.push_back(std::make_unique<TMonWSocket>(*this, Verdict, numero, connexion,
                                                           DelaiInactiviteMs, DelaiFermetureMs));
        TMonWSocket& s = *m_sessions.back();
        s.OnBip = [this] {
            if (OnBip) OnBip();
        };
        s.OnCommandeClient = [this] {
            if (OnCommandeClient) OnCommandeClient();
        };
        s.OnComptesModifies = [this] {
            if (OnComptesModifies) OnComptesModifies();
        };
        s.OnQuit = [this, &s] {
            if (OnDemarrerTimerQuit) OnDemarrerTimerQuit();
            if (OnArchiveSession) OnArchiveSession(s, true);
        };
        s.OnFermee = [this](TMonWSocket& session) { sessionFermee(session); };
        s.OnMessageJuge = [this, numero = s.Numero()](bool spam) {
            if (OnMessageJuge) OnMessageJuge(numero, spam);
        };
        try {
            Trace(numero, QStringLiteral("Connection"));
            s.EnvoiClient("+OK " +
                          cp1252::depuisUnicode(Res("princ62", u"Bienvenue sur Kelvarin")));
            s.Client->Host.clear();
            s.Client->Port = m_reglages.PortMail;
            s.Client->UserName.clear();
            s.Client->PassWord.clear();
        } catch (const std::exception& e) {
            TraceException(u"WSocket1SessionAvailable", TexteErreur(e));
        }
        // A client gone before we saw it is closed now.
        if (connexion->state() != QAbstractSocket::ConnectedState) s.Fermer();
    }
}

bool TServeurProxy::AutreSessionOuverte(const TMonWSocket& session, qint32 compte) const {
    for (const auto& s : m_sessions) {
        if (s.get() == &session || !s->Ouverte()) continue;
        if (compte < 0 || (s->CompteSession && s->CompteSession->Numero == compte)) return true;
    }
    return false;
}

bool TServeurProxy::sessionQuiAttendQuitter() const {
    for (const auto& s : m_sessions)
        if (s->Ouverte() && s->Quitter) return true;
    return false;
}

void TServeurProxy::sessionFermee(TMonWSocket& session) {
    Trace(session.Numero(), Res("princ74", u"Fermé"));
    if (m_sessions.size() == 1) Trace(QString());
    // Another session that sent QUIT still needs the timer.
    if (!sessionQuiAttendQuitter() && OnArreterTimerQuit) OnArreterTimerQuit();
    if (OnSessionTerminee) OnSessionTerminee();
    if (OnArchiveSession) OnArchiveSession(session, false);
    const int numero = session.Numero();
    QMetaObject::invokeMethod(
        this, [this, numero] { detruireSocket(numero); }, Qt::QueuedConnection);
}

void TServeurProxy::detruireSocket(int numero) {
    for (auto it = m_sessions.rbegin(); it != m_sessions.rend(); ++it) {
        if ((*it)->Numero() != numero) continue;
        TraceFormat(-1, Res("princ75", u"Destruction socket n°%d"), numero);
        m_sessions.erase(std::next(it).base());
        if (OnSessionLiberee) OnSessionLiberee(numero);
        break;
    }
    if (m_sessions.empty() && OnFermerArchive) OnFermerArchive();
}

void TServeurProxy::TimerQuitEcoule() {
    if (OnArreterTimerQuit) OnArreterTimerQuit();
    Trace(Res("princ76", u"Timer : close"));
    // Closing may report at once; collect first.
    std::vector<int> aFermer;
    for (const auto& s : m_sessions)
        if (s->Quitter && s->Ouverte()) aFermer.push_back(s->Numero());
    for (int n : aFermer)
        if (TMonWSocket* s = Session(n)) s->Fermer();
}

void TServeurProxy::FermerSessions() {
    for (int n : NumerosSessions())
        if (TMonWSocket* s = Session(n)) s->Fermer();
}
