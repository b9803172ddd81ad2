#pragma once
// The mail client's accounts as the proxy sees them: a small interface over
// wherever the client keeps them (Thunderbird's prefs.js on Linux), the
// in-memory store that stands in for a client, and the rules of the dialog
// that re-points the POP3 accounts to the proxy and back.
//
// Texts are QString here: they are another program's text (prefs.js is
// UTF-8), shown in the window and written back unchanged.

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// One POP3 account of the mail client.
struct TUnMail {
    QString Cle;             // the account's key in the client's store
    QString NomCompte;       // the name the user gave it
    QString ServeurPOP3;     // incoming server
    QString UtilisateurPOP3; // login
    // The incoming port when the client keeps one for the account (0: none).
    quint16 Port = 0;
};

// New incoming server and login for one account.
struct TEcritureCompte {
    QString Cle;
    QString ServeurPOP3;
    QString UtilisateurPOP3;
    // Back from the proxy: the port that the login named (0: none).
    quint16 Port = 0;
    bool operator==(const TEcritureCompte&) const = default;
};

class TComptesClientCourrier {
public:
    virtual ~TComptesClientCourrier() = default;
    // The client's accounts that have an incoming POP3 server, in its order.
    // An account that cannot be read is left out.
    virtual QList<TUnMail> Lister() = 0;
    // Why nothing may be written now (the client is running); empty when
    // writing is possible.
    virtual QString Verrou() = 0;
    // Writes every account's new server and login; an account that can no
    // longer be found is skipped. False, with the reason, when the store could
    // not be written.
    virtual bool Ecrire(const QList<TEcritureCompte>& ecritures, QString& erreur) = 0;
};

// A client's accounts held in memory: the registry of the design, with its
// keys, for the dialog's rules and its tests.
class TComptesMemoire : public TComptesClientCourrier {
public:
    QList<TUnMail> Comptes;           // listed when they have a server
    QString VerrouActuel;             // what Verrou() says
    QList<TEcritureCompte> Ecritures; // every write, in order
    QString ErreurEcriture;           // when set, Ecrire fails with it

    QList<TUnMail> Lister() override;
    QString Verrou() override { return VerrouActuel; }
    bool Ecrire(const QList<TEcritureCompte>& ecritures, QString& erreur) override;
};

// The dialog's rules: which accounts are ticked, and what validating writes.
class TConfigComptesCourrier {
public:
    // `formatParametre`: the accepted login formats (FormatParametre);
    // `portDefaut`: the upstream port used when a login names none (PortMail).
    TConfigComptesCourrier(TComptesClientCourrier& client, int formatParametre, quint16 portDefaut);

    // Reads the accounts: an account is ticked when its server is "localhost".
    void Lire();
    int Count() const { return int(m_mails.size()); }
    const TUnMail& Mail(int i) const { return m_mails[i]; }
    bool Coche(int i) const { return m_coches[i]; }
    void setCoche(int i, bool coche) { m_coches[i] = coche; }
    // Why nothing may be written now; empty when writing is possible.
    QString Verrou() { return m_client.Verrou(); }
    // "name (server)".
    QString Ligne(int i) const;

    // What validating writes, from the values read when the dialog opened:
    // a ticked account not on "localhost" goes to "localhost" with its login in
    // the proxy's format; an unticked one on "localhost" gets back the server
    // and login that its login names; the others are not touched.
    QList<TEcritureCompte> Ecritures() const;

    enum TResultat { rvEcrit, rvVerrouille, rvErreur };
    // Checks the client's lock, then writes. `message` says why on failure.
    TResultat Valider(QString& message);

    static bool EstLocalhost(const QString& serveur);
    // The login that makes the proxy fetch the account's mail: "user@server"
    // (the first format) when the account uses the default port, else the port
    // named too: "server/port/user" when the slash format is accepted,
    // "user@server|port" otherwise.
    static QString LoginProxy(const TUnMail& mail, int formatParametre, quint16 portDefaut);
    // The server, login and port that a proxy login names; none when it names
    // no server (no "@" and not "server/port/user"). The "@" form splits at the
    // last "@".
    static std::optional<TEcritureCompte> SeparerLogin(const QString& login);

private:
    TComptesClientCourrier& m_client;
    int m_format;
    quint16 m_portDefaut;
    QList<TUnMail> m_mails;
    QList<bool> m_coches;
};
