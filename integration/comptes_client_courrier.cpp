#include "integration/comptes_client_courrier.h"

#include "core/cp1252.h"
#include "proxy/analyse_pop3.h"

QList<TUnMail> TComptesMemoire::Lister() {
    QList<TUnMail> r;
    for (const TUnMail& m : Comptes)
        if (!m.ServeurPOP3.isEmpty()) r.append(m);
    return r;
}

bool TComptesMemoire::Ecrire(const QList<TEcritureCompte>& ecritures, QString& erreur) {
    if (!ErreurEcriture.isEmpty()) {
        erreur = ErreurEcriture;
        return false;
    }
    for (const TEcritureCompte& e : ecritures) {
        for (TUnMail& m : Comptes) {
            if (m.Cle != e.Cle) continue;
            m.ServeurPOP3 = e.ServeurPOP3;
            m.UtilisateurPOP3 = e.UtilisateurPOP3;
            Ecritures.append(e);
        }
    }
    return true;
}

TConfigComptesCourrier::TConfigComptesCourrier(TComptesClientCourrier& client, int formatParametre,
                                               quint16 portDefaut)
    : m_client(client), m_format(formatParametre), m_portDefaut(portDefaut) {}

bool TConfigComptesCourrier::EstLocalhost(const QString& serveur) {
    return serveur.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

void TConfigComptesCourrier::Lire() {
    m_mails = m_client.Lister();
    m_coches.clear();
    for (const TUnMail& m : m_mails)
        m_coches.append(EstLocalhost(m.ServeurPOP3));
}

QString TConfigComptesCourrier::Ligne(int i) const {
    const TUnMail& m = m_mails[i];
    return m.NomCompte + QStringLiteral(" (") + m.ServeurPOP3 + QLatin1Char(')');
}

QString TConfigComptesCourrier::LoginProxy(const TUnMail& m, int format, quint16 portDefaut) {
    const bool autrePort = m.Port != 0 && m.Port != portDefaut;
    const quint16 port = m.Port != 0 ? m.Port : portDefaut != 0 ? portDefaut : 110;
    const QString barre = QStringLiteral("/");
    // Format 1 accepts only "server/port/user"; format 2 both.
    if (format == 1 || (format == 2 && autrePort))
        return m.ServeurPOP3 + barre + QString::number(port) + barre + m.UtilisateurPOP3;
    QString login = m.UtilisateurPOP3 + QLatin1Char('@') + m.ServeurPOP3;
    if (autrePort) login += QLatin1Char('|') + QString::number(m.Port);
    return login;
}

std::optional<TEcritureCompte> TConfigComptesCourrier::SeparerLogin(const QString& login) {
    TEcritureCompte r;
    // "server/port/user": a server name holds no "@", a user name may.
    const qsizetype s1 = login.indexOf(QLatin1Char('/'));
    const qsizetype s2 = s1 < 0 ? -1 : login.indexOf(QLatin1Char('/'), s1 + 1);
    if (s2 > 0 && !login.first(s1).contains(QLatin1Char('@'))) {
        r.ServeurPOP3 = login.first(s1);
        r.Port = pop3::resoudrePort(cp1252::depuisUnicode(login.sliced(s1 + 1, s2 - s1 - 1)));
        r.UtilisateurPOP3 = login.sliced(s2 + 1);
        if (r.ServeurPOP3.isEmpty()) return std::nullopt;
        return r;
    }
    const qsizetype a = login.lastIndexOf(QLatin1Char('@'));
    if (a < 0) return std::nullopt;
    r.UtilisateurPOP3 = login.first(a);
    r.ServeurPOP3 = login.sliced(a + 1);
    if (const qsizetype b = r.ServeurPOP3.indexOf(QLatin1Char('|')); b >= 0) {
        r.Port = pop3::resoudrePort(cp1252::depuisUnicode(r.ServeurPOP3.sliced(b + 1)));
        r.ServeurPOP3.truncate(b);
    }
    return r;
}

QList<TEcritureCompte> TConfigComptesCourrier::Ecritures() const {
    QList<TEcritureCompte> r;
    for (qsizetype i = 0; i < m_mails.size(); ++i) {
        const TUnMail& m = m_mails[i];
        const bool local = EstLocalhost(m.ServeurPOP3);
        if (m_coches[i] && !local) {
            r.append(
                {m.Cle, QStringLiteral("localhost"), LoginProxy(m, m_format, m_portDefaut), 0});
        } else if (!m_coches[i] && local) {
            // A login that names no server is left as it is.
            if (std::optional<TEcritureCompte> e = SeparerLogin(m.UtilisateurPOP3)) {
                e->Cle = m.Cle;
                r.append(*e);
            }
        }
    }
    return r;
}

TConfigComptesCourrier::TResultat TConfigComptesCourrier::Valider(QString& message) {
    message = m_client.Verrou();
    if (!message.isEmpty()) return rvVerrouille;
    const QList<TEcritureCompte> e = Ecritures();
    if (e.isEmpty()) return rvEcrit;
    return m_client.Ecrire(e, message) ? rvEcrit : rvErreur;
}
