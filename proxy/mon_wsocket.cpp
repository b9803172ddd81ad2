#include "proxy/mon_wsocket.h"

#include "accounts/gestion_comptes_bis.h"
#include "core/config.h"
#include "core/cp1252.h"
#include "core/date_time.h"
#include "core/masquer_mot_de_passe.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "proxy/reecriture.h"
#include "proxy/serveur_proxy.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

// Longest sample of a discarded line tail kept for the trace.
constexpr qsizetype kEchantillonIgnore = 64;
// The partial line kept while waiting for its LF: the command and one byte more.
constexpr qsizetype kEntreeMax = pop3::kLongueurCommandeMax + 1;
// Client lines held while an answer is still owed; beyond them the socket is
// not read, and its buffer is bounded, so a flood waits in the network.
constexpr qsizetype kLignesMax = 64;
constexpr qint64 kTamponClientMax = 64 * 1024;
constexpr qint64 kMorceauClient = 4096;
// Output not yet taken by the client beyond which its next command waits.
constexpr qint64 kSortieMax = 1024 * 1024;

} // namespace

TMonWSocket::TMonWSocket(TServeurProxy& serveur, TVerdict* verdict, int numero,
                         QTcpSocket* connexion, int delaiInactiviteMs, int delaiFermetureMs)
    : Client(new TClientPOP3(this)), m_serveur(serveur), m_reglages(serveur.Reglages()),
      m_verdict(verdict), m_numero(numero), m_socket(connexion), m_inactivite(new QTimer(this)),
      m_delaiFermetureMs(delaiFermetureMs) {
    m_socket->setParent(this);
    // Answers go out as soon as they are written: a status line followed by a
    // message must not wait for the client's delayed acknowledgement.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setReadBufferSize(kTamponClientMax);
    Client->Tag = numero;
    connect(m_socket, &QTcpSocket::readyRead, this, &TMonWSocket::surDonneesClient);
    connect(m_socket, &QTcpSocket::disconnected, this, &TMonWSocket::surFermeture);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (!m_lignes.isEmpty()) reprendre();
    });
    Client->OnRequestDone = [this](TRequetePOP3 r, int e) { surRequeteFinie(r, e); };
    Client->OnLigneServeur = [this](const QByteArray& l) { surLigneServeur(l); };
    Client->OnDebutMessage = [this] { surDebutMessage(); };
    Client->OnLigneMessage = [this](const QByteArray& l) { surLigneMessage(l); };
    Client->OnFinEntete = [this] { surFinEntete(); };
    Client->OnFinMessage = [this] { surFinMessage(); };
    m_inactivite->setSingleShot(true);
    m_inactivite->setInterval(delaiInactiviteMs);
    connect(m_inactivite, &QTimer::timeout, this, [this] {
        // A client waiting for its message (DNSBL lookups, or a long transfer
        // that still makes progress) is not idle; a silent server still is.
        if (m_livraisonAttendue || m_activiteAmont != m_activiteVue) {
            m_activiteVue = m_activiteAmont;
            m_inactivite->start();
            return;
        }
        TraceFormat(m_numero, Res("proxy01", u"Client inactif depuis %d s : fermeture"),
                    m_inactivite->interval() / 1000);
        Fermer();
    });
    m_inactivite->start();
}

TMonWSocket::~TMonWSocket() {
    retenirCompte(nullptr);
    m_socket->disconnect(this);
}

void TMonWSocket::retenirCompte(PUnCompteBis compte) {
    if (CompteSession == compte) return;
    m_serveur.Comptes().Relacher(CompteSession);
    CompteSession = compte;
    m_serveur.Comptes().Retenir(CompteSession);
}

void TMonWSocket::EnvoiClient(const QByteArray& texte, bool tracer) {
    if (Abandon || m_fermee || m_socket->state() != QAbstractSocket::ConnectedState) return;
    if (tracer) Trace(m_numero, QStringLiteral("< ") + cp1252::versUnicode(texte));
    if (m_socket->write(texte + "\r\n") < 0) {
        TraceFormat(m_numero, Res("princ23", u"Exception : envoi impossible de : %s"),
                    cp1252::versUnicode(texte));
        return;
    }
    m_inactivite->start();
}

void TMonWSocket::Fermer() {
    if (m_fermee) return;
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        surFermeture();
        return;
    }
    m_socket->disconnectFromHost(); // pending answers go out first
    if (m_socket->state() == QAbstractSocket::UnconnectedState) return;
    // A client that stopped reading would keep the output, and the session,
    // forever.
    QTimer::singleShot(std::max(0, m_delaiFermetureMs), this, [this] {
        if (m_fermee) return;
        m_socket->abort();
        surFermeture();
    });
}

// ---------------------------------------------------------------- client side

void TMonWSocket::surDonneesClient() {
    try {
        if (m_socket->bytesAvailable() <= 0) {
            Trace(m_numero, Res("princ64", u"Erreur dans ClientDataAvailable : len<=0"));
            return;
        }
        lireCommandes();
    } catch (const std::exception& e) {
        TraceException(m_numero, u"ClientDataAvailable", TexteErreur(e));
    }
}

void TMonWSocket::reprendre() {
    try {
        lireCommandes();
    } catch (const std::exception& e) {
        TraceException(m_numero, u"ClientDataAvailable", TexteErreur(e));
    }
}

void TMonWSocket::programmerReprise() {
    if (m_repriseProgrammee) return;
    m_repriseProgrammee = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_repriseProgrammee = false;
            reprendre();
        },
        Qt::QueuedConnection);
}

bool TMonWSocket::peutExecuter(const QByteArray& ligne) const {
    // Nothing may come between a message and its delivery: the lookups end
    // by themselves, so the wait is bounded.
    if (m_livraisonAttendue) return false;
    // A client that does not read its mail cannot pile up more of it.
    if (m_socket->bytesToWrite() > kSortieMax) return false;
    const TRequetePOP3 r = Client->RequestType();
    if (r == TRequetePOP3::rqAucune) return true;
    // An answer is on its way (the chained login's included: its server lines
    // must not reach the client as answers to later commands), and a line of
    // ours in the middle would be read as part of it. QUIT alone goes
    // through, the way out of a server that hangs.
    return pop3::analyserCommande(ligne).mot == "QUIT";
}

void TMonWSocket::lireCommandes() {
    // A connection on its way out executes nothing more.
    const auto ouverte = [this] {
        return !m_fermee && m_socket->state() == QAbstractSocket::ConnectedState;
    };
    for (;;) {
        while (!m_lignes.isEmpty() && ouverte()) {
            if (!peutExecuter(m_lignes.front())) return;
            executer(m_lignes.takeFirst());
        }
        if (!ouverte() || m_lignes.size() >= kLignesMax || m_socket->bytesAvailable() <= 0) return;
        decouper(m_socket->read(kMorceauClient));
    }
}

void TMonWSocket::decouper(QByteArrayView recu) {
    qsizetype pos = 0;
    while (pos < recu.size()) {
        const qsizetype lf = recu.indexOf('\n', pos);
        const qsizetype fin = lf < 0 ? recu.size() : lf;
        QByteArrayView morceau = recu.sliced(pos, fin - pos);
        // Keep only the start of a long line; its tail is never a command.
        const qsizetype place = std::max<qsizetype>(0, kEntreeMax - m_entree.size());
        if (morceau.size() > place) {
            if (m_debordement.size() < kEchantillonIgnore)
                m_debordement.append(morceau.sliced(place).first(std::min<qsizetype>(
                    morceau.size() - place, kEchantillonIgnore - m_debordement.size())));
            morceau = morceau.first(place);
            m_tropLong = true;
        }
        m_entree.append(morceau);
        if (lf < 0) break;
        pos = lf + 1;
        QByteArray ligne = std::move(m_entree);
        m_entree.clear();
        if (m_tropLong) {
            ligne.append(m_debordement);
            m_debordement.clear();
            m_tropLong = false;
        }
        m_lignes.append(std::move(ligne));
    }
}

void TMonWSocket::executer(const QByteArray& ligneBrute) {
    if (Client->Connecte() && Client->Etat() != TEtatPOP3::epTransaction) {
        if (OnBip) OnBip();
        Trace(m_numero, Res("princ63", u"POP3 pas prêt"));
    }
    const pop3::TCommandeClient c = pop3::analyserCommande(ligneBrute);
    const bool secret = c.mot == "PASS" || c.mot == "RPOP" || c.mot == "AUTH";
    if (!c.ignore.isEmpty()) {
        // A secret's tail is shown as stars of the same length, never in clear.
        const QByteArray ignore =
            secret && m_reglages.CoderMDP ? QByteArray(c.ignore.size(), '*') : c.ignore;
        TraceFormat(m_numero, Res("princ65", u"ATTENTION : chaine ignorée = %s"),
                    cp1252::versUnicode(ignore));
    }
    QByteArray tracee = c.ligne;
    if (secret && m_reglages.CoderMDP) {
        // Masked, with the command word as it is executed.
        tracee = MasquerMotDePasse(c.ligne);
        if (tracee.size() >= c.mot.size()) tracee.replace(0, c.mot.size(), c.mot);
    }
    Trace(m_numero, QStringLiteral("> ") + cp1252::versUnicode(tracee));

    if (OnCommandeClient) OnCommandeClient();
    m_inactivite->start();
    m_relaisAvant = RelaisReponse;
    RelaisReponse = true;
    Quitter = false;
    CommandeEnAttente = true;

    const QByteArray& mot = c.mot;
    if (mot == "USER") {
        RelaisReponse = false;
        Commande = cmLogin;
        loginEtape1(c.argument);
    } else if (mot == "PASS" || mot == "RPOP") {
        RelaisReponse = false;
        Commande = cmLogin;
        loginEtape2(c.argument);
    } else if (mot == "QUIT") {
        quitter();
    } else if (mot == "STAT") {
        relayer(c, cmAutre, &TClientPOP3::Stat);
    } else if (mot == "LIST") {
        Client->MsgNum = pop3::lireNombre(c.argument);
        relayer(c, cmAutre, &TClientPOP3::List);
    } else if (mot == "UIDL") {
        m_message.AttenteDNS = false;
        Client->MsgNum = pop3::lireNombre(c.argument);
        relayer(c, cmAutre, &TClientPOP3::Uidl);
    } else if (mot == "RETR") {
        Client->MsgNum = pop3::lireNombre(c.argument);
        // Archived mail only for a client the server let in.
        if (NbFictifs > 0 && m_loginReussi && Client->MsgNum > m_nbReels && !Client->Occupe()) {
            retrFictif(int(Client->MsgNum - m_nbReels));
            return;
        }
        relayer(c, cmRetr, &TClientPOP3::Retr);
    } else if (mot == "TOP") {
        const qsizetype espace = c.argument.indexOf(' ');
        Client->MsgNum = espace < 0 ? 0 : pop3::lireNombre(c.argument.first(espace));
        Client->MsgLines = pop3::lireNombre(
            espace < 0 ? c.argument
                       : c.argument.sliced(espace + 1)
                             .first(std::min<qsizetype>(1000, c.argument.size() - espace - 1)));
        relayer(c, cmTop, &TClientPOP3::Top);
    } else if (mot == "DELE") {
        Client->MsgNum = pop3::lireNombre(c.argument);
        if (NbFictifs > 0 && Client->MsgNum > m_nbReels) {
            Commande = cmAutre;
            EnvoiClient("+OK " + cp1252::depuisUnicode(Res("princ108", u"Suppression fictive")));
            return;
        }
        relayer(c, cmAutre, &TClientPOP3::Dele);
    } else if (mot == "NOOP") {
        relayer(c, cmAutre, &TClientPOP3::Noop);
    } else if (mot == "RSET") {
        relayer(c, cmAutre, &TClientPOP3::RSet);
    } else if (mot == "LAST") {
        relayer(c, cmAutre, &TClientPOP3::Last);
    } else if (mot == "CAPA") {
        Commande = cmAutre;
        EnvoiClient("-ERR " + cp1252::depuisUnicode(Res("princ71", u"CAPA pas connu")));
    } else if (mot == "AUTH") {
        Commande = cmAutre;
        EnvoiClient("-ERR " + cp1252::depuisUnicode(Res("princ72", u"Pas maintenant")));
    } else {
        Commande = cmAutre;
        EnvoiClient("-ERR " +
                    cp1252::depuisUnicode(Format(Res("princ73", u"Commande inconnue : %s"),
                                                 {cp1252::versUnicode(c.ligne)})));
    }
}

void TMonWSocket::relayer(const pop3::TCommandeClient& c, TCommandeSession code,
                          bool (TClientPOP3::*operation)()) {
    if (Client->Occupe()) {
        // Refused without touching the operation that runs: its data lines
        // would otherwise be relayed raw or dropped.
        RelaisReponse = m_relaisAvant;
        (Client->*operation)(); // only to get the client's refusal text
    } else {
        Commande = code;
        if (code == cmRetr || code == cmTop) {
            m_message.Commande = code;
            m_message.Compte = CompteSession;
            m_message.VerdictListe = 0;
            m_message.AttenteDNS = false;
            m_message.ReponseRetenue.clear();
            if (code == cmRetr) m_message.EnvoiFictif = false;
            // Fixed for the whole message: the held status line and the
            // delivery must agree even if the account changes meanwhile.
            m_supprimerSpam = TGestionComptesBis::SupprimerSpamEffectif(CompteSession);
        }
        m_ligneEnvoyee = false;
        if ((Client->*operation)()) return;
    }
    EnvoiClient("-ERR " + c.mot + " : " + cp1252::depuisUnicode(Client->ErrorMessage()));
}

void TMonWSocket::loginEtape1(const QByteArray& argument) {
    const pop3::TLogin l = pop3::analyserLogin(argument, m_reglages.FormatParametre);
    if (!l.ok) {
        const QString t = m_reglages.FormatParametre == 1
                              ? Res("princ126", u"Format attendu=serveur/port/nomutilisateur")
                              : Res("princ66", u"Format attendu=nomutilisateur@serveur");
        EnvoiClient("-ERR " + cp1252::depuisUnicode(t));
        return;
    }
    try {
        Abandon = true;
        Client->Abort();
        Abandon = false;
        m_loginReussi = false;
        Client->UserName = l.utilisateur;
        TGestionComptesBis& comptes = m_serveur.Comptes();
        PUnCompteBis compte = comptes.Chercher(l.serveur, l.utilisateur);
        Client->Host = l.serveur;
        if (!l.port.isEmpty()) {
            Client->Port = l.port;
            if (compte && compte->ConfigGenerale)
                compte->Port = l.port == m_reglages.PortMail ? QByteArray() : l.port;
        } else {
            Client->Port = TGestionComptesBis::PortEffectif(compte);
        }
        EnvoiClient("+OK " +
                    cp1252::depuisUnicode(Res("princ67", u"Et maintenant, votre mot de passe")));
    } catch (const std::exception& e) {
        Abandon = false;
        EnvoiClient("-ERR Erreur : " + cp1252::depuisUnicode(TexteErreur(e)));
    }
}

void TMonWSocket::loginEtape2(const QByteArray& argument) {
    if (Client->UserName.isEmpty()) {
        EnvoiClient("-ERR " + cp1252::depuisUnicode(Res("princ68", u"Il manque votre nom")));
        return;
    }
    Client->PassWord = argument;
    TraceFormat(m_numero, Res("princ69", u"Traitement : serveur=%s, port=%s, login=%s"),
                cp1252::versUnicode(Client->Host), cp1252::versUnicode(Client->Port),
                cp1252::versUnicode(Client->UserName));
    m_taillesListe.clear();
    TGestionComptesBis& comptes = m_serveur.Comptes();
    PUnCompteBis compte = comptes.Connexion(Client->Host, Client->UserName);
    if (OnComptesModifies) OnComptesModifies();
    m_loginReussi = false;
    // From here, a command of the client before the login ends is noted.
    CommandeEnAttente = false;
    Client->SecuriteAmont = m_reglages.SecuriteAmont;
    Client->PortTlsImplicite = m_serveur.PortTlsImplicite;
    Client->CertificatsAmont.clear();
    if (!m_reglages.CertificatsAmont.isEmpty() && m_reglages.SecuriteAmont != saTexteClair) {
        // Unreadable, the file adds nothing: verification stays on, against
        // the system's authorities only.
        QString erreur;
        const QString chemin = cp1252::versUnicode(m_reglages.CertificatsAmont);
        if (!TClientPOP3::ChargerCertificats(chemin, Client->CertificatsAmont, erreur))
            TraceFormat(m_numero, Res("tls09", u"Certificats de confiance %s illisibles : %s"),
                        chemin, erreur);
    }
    if (!Client->Login()) {
        // Say why at once: the client would otherwise wait for an answer.
        EnvoiClient("-ERR " + cp1252::depuisUnicode(Client->ErrorMessage()));
    }
    retenirCompte(compte);
    // The re-emissions queued now are the ones this session presents; any
    // queued later wait for the next login.
    m_fictifs.clear();
    m_nbReels = 0;
    if (compte && m_serveur.MessagesFictifs)
        m_fictifs = m_serveur.MessagesFictifs->DuCompte(compte->Numero);
    NbFictifs = qint32(m_fictifs.size());
    TailleFictifs = 0;
    for (const TMessageFictif& f : m_fictifs)
        TailleFictifs += f.Taille;
}

void TMonWSocket::quitter() {
    // Only the re-emissions presented to a logged-in session are consumed.
    if (m_loginReussi && !m_fictifs.isEmpty() && m_serveur.MessagesFictifs)
        m_serveur.MessagesFictifs->Retirer(m_fictifs);
    m_fictifs.clear();
    NbFictifs = 0;
    TailleFictifs = 0;
    Quitter = true;
    Commande = cmQuit;
    if (OnQuit) OnQuit();
    if (!Client->Occupe()) {
        if (Client->Quit()) return;
    } else {
        Client->Abort();
    }
    EnvoiClient("+OK " + cp1252::depuisUnicode(Res("princ70", u"Au revoir")));
}

void TMonWSocket::surFermeture() {
    if (m_fermee) return;
    try {
        m_inactivite->stop();
        Client->Abort();
        m_fermee = true;
        if (OnFermee) OnFermee(*this);
    } catch (const std::exception& e) {
        TraceException(m_numero, u"SessionClosed", TexteErreur(e));
    }
}

// ---------------------------------------------------------------- upstream side

void TMonWSocket::surRequeteFinie(TRequetePOP3 requete, int erreur) {
    // The client's next line, if it waits, after this answer's last bytes.
    programmerReprise();
    try {
        if (requete == TRequetePOP3::rqLogin) {
            if (erreur != TClientPOP3::erAucune) {
                if (!Abandon)
                    EnvoiClient("-ERR " +
                                cp1252::depuisUnicode(Format(Res("princ27", u"Erreur : %s"),
                                                             {Client->ErrorMessage()})));
                return;
            }
            m_loginReussi = true;
            if (CommandeEnAttente) {
                TraceFormat(m_numero,
                            Res("princ26", u"Attente vraie réponse du serveur (réponse=%s)"),
                            cp1252::versUnicode(Client->LastResponse()));
                RelaisReponse = false;
                return;
            }
            if (Abandon) return;
            if (Client->LastResponse().startsWith("+OK"))
                EnvoiClient(Client->LastResponse());
            else
                EnvoiClient("+OK " + cp1252::depuisUnicode(Res("princ25", u"Connecté")));
            return;
        }
        if (erreur != TClientPOP3::erConnexion || requete == TRequetePOP3::rqQuit) return;
        // The server is gone in the middle of an answer: a partial message is
        // never judged, and the client must not wait for a "." that cannot come.
        Trace(m_numero, QStringLiteral("<< ") + Client->ErrorMessage());
        if (!m_ligneEnvoyee) EnvoiClient("-ERR " + cp1252::depuisUnicode(Client->ErrorMessage()));
        m_message.Flux.clear();
        Fermer();
    } catch (const std::exception& e) {
        TraceException(m_numero, u"RequestDone", TexteErreur(e));
    }
}

void TMonWSocket::surLigneServeur(const QByteArray& ligne) {
    ++m_activiteAmont;
    // The chained login's own lines do not answer a command sent after PASS.
    if (Client->RequestType() != TRequetePOP3::rqLogin) CommandeEnAttente = false;
    if (Client->RequestType() == TRequetePOP3::rqAucune) {
        // Nothing was asked (a server's farewell before it drops an idle
        // connection): the client must not take it for an answer.
        Trace(m_numero, QStringLiteral("<< ") + cp1252::versUnicode(ligne));
        return;
    }
    if (!RelaisReponse) {
        if (Commande != cmRetr && Commande != cmTop)
            Trace(m_numero, QStringLiteral("<< ") + cp1252::versUnicode(ligne));
        return;
    }
    if (Client->RequestType() == TRequetePOP3::rqList && ligne != ".") {
        qint64 n = 0, taille = 0;
        if (pop3::analyserLigneListe(ligne, n, taille) &&
            (Client->MsgNum > 0 || !ligne.startsWith("+OK")))
            m_taillesListe.insert(n, taille);
    }
    if (NbFictifs > 0 && presenterFictifs(ligne)) return;
    // Only a good status line has a message behind it; any other ends the
    // request at once and nothing would ever send it.
    if ((Commande == cmRetr || Commande == cmTop) && m_supprimerSpam && ligne.startsWith("+OK")) {
        // Held until the verdict: spam may be replaced by a notice.
        m_message.ReponseRetenue = ligne;
        return;
    }
    if (Abandon) return;
    m_ligneEnvoyee = true;
    EnvoiClient(ligne);
}

void TMonWSocket::surDebutMessage() {
    TMessageRecupere& m = m_message;
    m.VerdictFait = false;
    m.AdressesIP.vider();
    m.ChampEntete.clear();
    m.From.clear();
    m.To.clear();
    m.Cc.clear();
    m.Subject.clear();
    m.Flux.clear();
    // Sized once from the LIST figure when the session saw one (bounded, so a
    // false figure costs little) rather than grown line by line.
    const qint64 annonce = std::clamp<qint64>(m_taillesListe.value(Client->MsgNum, 0), 0, 8 << 20);
    m.Flux.reserve(qsizetype(std::max<qint64>(annonce + annonce / 16 + 64, 4096)));
    m.MessageEnCours = TUnMessageMem();
    m.Taille = 0;
    Trace(m_numero, Res("princ28", u"< début message [....]"));
    RelaisReponse = false;
}

void TMonWSocket::surLigneMessage(const QByteArray& ligne) {
    if (Commande != cmRetr && Commande != cmTop) return;
    // The line and its CR LF in one step: the buffer grows geometrically and
    // is usually sized from the LIST figure already.
    QByteArray& flux = m_message.Flux;
    const qsizetype n = flux.size();
    flux.resize(n + ligne.size() + 2);
    char* d = flux.data() + n;
    std::memcpy(d, ligne.constData(), size_t(ligne.size()));
    d[ligne.size()] = '\r';
    d[ligne.size() + 1] = '\n';
    // Relay addresses and header lists, while the header arrives.
    if (Client->HeaderFlag())
        if (m_verdict) m_verdict->LigneEntete(m_message, ligne);
}

void TMonWSocket::surFinEntete() {
    TMessageRecupere& m = m_message;
    const pop3::TChampsEntete& entete = Client->Entete();
    m.From = entete.From;
    m.To = entete.To;
    m.Cc = entete.Cc;
    m.Subject = entete.Subject;
    m.MessageEnCours.Sujet = entete.Subject;
    m.MessageEnCours.Emetteur = entete.From;
    m.MessageEnCours.NbLignes = Client->MsgLines;
    // The record keeps 16 bits: a larger header is read whole.
    const qint64 taille = Client->HeaderSize();
    m.MessageEnCours.TailleEntete = taille > INT16_MAX ? 0 : qint16(taille);
    // Lookups of unknown relay addresses start while the body arrives.
    if (Commande == cmRetr || Commande == cmTop)
        if (m_verdict) m_verdict->VerifierIP(*this, false);
}

void TMonWSocket::surFinMessage() {
    try {
        if (Client->HeaderFlag()) {
            Trace(m_numero, QStringLiteral("HeaderFlag=true"));
            if (OnBip) OnBip();
            surFinEntete();
        }
        Trace(m_numero, QStringLiteral("< fin message [....]"));
        if (Commande == cmRetr || Commande == cmTop) {
            messageComplet();
        } else {
            if (m_socket->state() == QAbstractSocket::ConnectedState) m_socket->write(".\r\n");
        }
    } catch (const std::exception& e) {
        TraceException(m_numero, u"MessageEnd", TexteErreur(e));
        // Never delivered: the client must not wait for it.
        if (m_livraisonAttendue) {
            m_livraisonAttendue = false;
            Fermer();
        }
    }
}

void TMonWSocket::messageComplet() {
    // The message's own size: its LIST figure when the session saw one, else
    // what arrived (a STAT figure is the whole mailbox).
    TMessageRecupere& m = m_message;
    m.Taille = m_taillesListe.value(Client->MsgNum, m.Flux.size());
    m.MessageEnCours.Taille = qint32(std::min<qint64>(m.Taille, INT32_MAX));
    // The client's next command waits for the delivery.
    m_livraisonAttendue = true;
    // The verdict judges now or once the DNSBL answers are in; without one
    // the message goes out unmarked.
    if (m_verdict)
        m_verdict->VerifierIP(*this, true);
    else
        livrer();
}

void TMonWSocket::livrer() {
    Livrer(TResultatVerdict{});
}

void TMonWSocket::Livrer(const TResultatVerdict& verdict) {
    // Whatever happens below, the client's waiting commands run afterwards.
    m_livraisonAttendue = false;
    programmerReprise();
    try {
        livrerMessage(verdict);
    } catch (const std::exception& e) {
        // Part of a message must never pass for the whole: the client sees
        // the connection end instead.
        TraceException(m_numero, u"Livrer", TexteErreur(e));
        Fermer();
    }
    m_message.ReponseRetenue.clear();
    m_message.EnvoiFictif = false;
    m_message.VerdictFait = true;
    // A large message is now in the output queue: its received copy goes,
    // so a client that does not read holds one copy, not two.
    if (m_message.Flux.capacity() > kSortieMax) m_message.Flux = QByteArray();
}

void TMonWSocket::livrerMessage(const TResultatVerdict& verdict) {
    TMessageAReecrire m;
    const TMessageRecupere& recu = m_message;
    m.Flux = recu.Flux;
    m.Niveau = verdict.Niveau;
    m.SpamIP = verdict.SpamIP;
    m.SpamBayes = verdict.SpamBayes;
    m.Probabilite = verdict.Probabilite;
    m.TexteXKelvarin = verdict.TexteXKelvarin;
    m.TestBayes = verdict.TestBayes;
    m.CommandeTOP = recu.Commande == cmTop;
    m.EnvoiFictif = recu.EnvoiFictif;
    // A status line already relayed cannot be replaced by a notice.
    m.SupprimerSpam = m_supprimerSpam && !m_ligneEnvoyee && !recu.EnvoiFictif;
    m.ReponseRetenue = recu.ReponseRetenue;
    m.From = recu.From;
    m.To = recu.To;
    m.Subject = recu.Subject;
    if (CompteSession) m.NomCompte = CompteSession->Nom;
    const TMessageReecrit r = ReecrireMessage(m, m_reglages);
    if (!recu.EnvoiFictif) {
        m_serveur.Comptes().CompterMessage(m.Niveau != nsBon);
        if (OnMessageJuge) OnMessageJuge(m.Niveau != nsBon);
    }
    for (const QString& t : r.Traces)
        Trace(m_numero, t);
    if (!Abandon && !m_fermee && m_socket->state() == QAbstractSocket::ConnectedState) {
        if (m_socket->write(r.Octets) < 0)
            TraceFormat(m_numero, Res("princ23", u"Exception : envoi impossible de : %s"),
                        cp1252::versUnicode(recu.MessageEnCours.Sujet));
        // Out now rather than at the loop's next turn: the client waits for
        // exactly these bytes. Never blocks; what the network refuses waits.
        m_socket->flush();
        m_inactivite->start();
    }
}

// ---------------------------------------------------------------- re-emitted messages

bool TMonWSocket::presenterFictifs(const QByteArray& ligne) {
    if (Abandon) return false;
    const TRequetePOP3 requete = Client->RequestType();
    if (requete == TRequetePOP3::rqStat) {
        if (!ligne.startsWith("+OK ")) return false;
        qint64 nombre = 0, taille = 0;
        pop3::analyserReponseStat(ligne, nombre, taille);
        m_nbReels = std::max(m_nbReels, nombre);
        m_ligneEnvoyee = true;
        EnvoiClient("+OK " + QByteArray::number(nombre + NbFictifs) + ' ' +
                    QByteArray::number(taille + TailleFictifs));
        return true;
    }
    if ((requete != TRequetePOP3::rqList && requete != TRequetePOP3::rqUidl) || Client->MsgNum != 0)
        return false;
    if (ligne != ".") {
        // A client may list before any STAT: re-emissions then follow the
        // highest number listed, never reuse a real message's number.
        if (!ligne.startsWith("+OK") && !ligne.startsWith("-ERR")) {
            qsizetype pos = 0;
            m_nbReels = std::max(m_nbReels, pop3::lireNombre64(ligne, pos));
        }
        return false;
    }
    const qint64 reels = m_nbReels;
    for (qsizetype k = 1; k <= m_fictifs.size(); ++k) {
        const TMessageFictif& f = m_fictifs[k - 1];
        const QByteArray numero = QByteArray::number(reels + k);
        if (requete == TRequetePOP3::rqList)
            EnvoiClient(numero + ' ' + QByteArray::number(f.Taille));
        else
            EnvoiClient(numero + " KV-UIDL-" + QByteArray::number(f.Compte) + '-' +
                        QByteArray::number(f.Id));
    }
    EnvoiClient(ligne);
    return true;
}

void TMonWSocket::retrFictif(int k) {
    Commande = cmRetr;
    m_message.Commande = cmRetr;
    m_message.Compte = CompteSession;
    m_ligneEnvoyee = false;
    if (k < 1 || k > m_fictifs.size()) {
        EnvoiClient("-ERR existe pas");
        return;
    }
    const TMessageFictif f = m_fictifs[k - 1];
    // Nothing is judged: no lookup to wait for, no verdict to make.
    TMessageRecupere& m = m_message;
    m.AttenteDNS = false;
    m.VerdictFait = false;
    m.VerdictListe = 0;
    m.MessageEnCours = TUnMessageMem();
    QByteArray archive;
    QString erreur;
    const bool lu =
        m_serveur.OnLireFictif && m_serveur.OnLireFictif(f.Compte, f.Id, archive, erreur);
    if (!lu) {
        // Never another message's text: the buffer is not reused.
        m.Flux.clear();
        m.EnvoiFictif = false;
        m.VerdictFait = true;
        TraceFormat(m_numero, Res("proxy02", u"Message ré-émis %d illisible : %s"), f.Id, erreur);
        EnvoiClient("-ERR " + cp1252::depuisUnicode(Res("proxy03", u"Message ré-émis illisible")));
        return;
    }
    m.Flux = std::move(archive);
    m.EnvoiFictif = true;
    m.ReponseRetenue = "+OK " + cp1252::depuisUnicode(Res("princ107", u"Message fictif"));
    Trace(m_numero, QStringLiteral("< ") + cp1252::versUnicode(m.ReponseRetenue));
    livrer();
}
