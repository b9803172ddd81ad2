#pragma once
// Thunderbird's accounts: the profiles named in profiles.ini (the usual place,
// Flatpak's and Snap's), and the POP3 accounts in each profile's prefs.js.
//
// Re-pointing an account to the proxy sets its server to "localhost", its
// login to the proxy's form, its port to the proxy's listening port and its
// connection to plain text (the proxy is on this machine). What the account
// had before (port, connection security, authentication method) is kept in
// the account itself, under "mail.server.serverN.kelvarin.origine", so that
// pointing it back restores it exactly. prefs.js is replaced atomically,
// every other line kept byte for byte, with a copy of the previous file
// beside it ("prefs.js.kelvarin.bak"). Nothing is written while a profile is
// in use: Thunderbird rewrites prefs.js when it runs.

#include "integration/comptes_client_courrier.h"

#include <QString>
#include <QStringList>

class TPrefsJs;

class TThunderbird : public TComptesClientCourrier {
public:
    // `home` is the user's home folder (tests use their own).
    explicit TThunderbird(QString home);

    // The proxy's listening port, given to re-pointed accounts.
    quint16 PortEcoute = 110;

    struct TProfil {
        QString Nom;
        QString Chemin; // folder, canonical
    };
    // The profiles.ini files where Thunderbird may keep its profiles.
    QStringList FichiersProfils() const;
    // Every profile they name, once each.
    QList<TProfil> Profils() const;
    // A profile that a running Thunderbird holds: its "lock" link exists, or
    // another process holds the lock on ".parentlock".
    static bool ProfilVerrouille(const QString& chemin);

    QList<TUnMail> Lister() override;
    QString Verrou() override;
    bool Ecrire(const QList<TEcritureCompte>& ecritures, QString& erreur) override;

    // A key is the profile's folder and the server's key ("server2").
    static QString Cle(const QString& profil, const QString& serveur);
    static bool SeparerCle(const QString& cle, QString& profil, QString& serveur);

    // The POP3 accounts of one prefs.js, keys without their profile, in the
    // account manager's order.
    static QList<TUnMail> ComptesPOP3(const TPrefsJs& prefs);
    // One account of one prefs.js changed as the dialog asks; false when the
    // account is no longer there.
    static bool Appliquer(TPrefsJs& prefs, const QString& serveur, const TEcritureCompte& e,
                          quint16 portEcoute);

private:
    QString m_home;
};
