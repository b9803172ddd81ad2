#pragma once
// One mailbox (POP3 server and user name) that has logged in through the proxy.

#include <QByteArray>
#include <QtGlobal>

struct TUnCompteBis {
    qint32 Numero = 0;
    QByteArray EMail; // trimmed, lower case
    QByteArray Nom;   // display name; default Serveur + "/" + Login
    QByteArray Serveur;
    QByteArray Login;
    QByteArray Port; // empty: the general PortMail
    bool FiltreIP = true;
    bool FiltreBayes = true;
    bool SupprimerSpam = false;
    bool ConfigGenerale = true;
    bool Destinataire = false;
    qint32 NbMessages = 0;
    qint32 NbSpams = 0;
    qint32 NbConnexions = 0;
    qint32 DernierNumero = 0; // filled by the archive, not stored in the accounts file

    // Flags field of the file: the defaults give 0.
    enum : int {
        drFiltreIPInactif = 1,
        drFiltreBayesInactif = 2,
        drSupprimerSpam = 4,
        drConfigParticuliere = 8,
        drDestinataire = 16
    };
    int drapeaux() const;
    void poserDrapeaux(int valeur);

    QByteArray nomParDefaut() const { return Serveur + '/' + Login; }
};
using PUnCompteBis = TUnCompteBis*;
