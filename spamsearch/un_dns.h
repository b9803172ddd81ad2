#pragma once
// Records of the search component: one DNSBL server, one lookup of one address
// on one server.
#include "core/date_time.h"
#include "spamsearch/adresse_ip.h"

#include <QByteArray>
#include <QList>

struct TUnDNS {
    bool Actif = true;
    qint32 Numero = 0;
    QByteArray Nom;
    QByteArray Zone;
    qint32 NbTest = 0;
    qint32 NbSpam = 0;
    qint32 NbFauxPositif = 0;
    QList<QByteArray> Codes; // empty: any answer means listed
    qint32 NbTimeOut = 0;
    qint32 NbCorrection = 0;
    quint32 TempsRAZ = 0; // not saved
    qint32 NbTestRAZ = 0; // not saved
};
using PUnDNS = TUnDNS*;

enum TEtatRecherche : quint8 {
    erPasCherche = 0,
    erEnCours = 1,
    erSpam = 2,
    erPasSpam = 3,
    erTimeOut = 4,
    erAbandon = 5
};

struct TUneRechercheDNS {
    TAdresseIP IP = 0;
    TUnDNS* Serveur = nullptr; // none for a merged entry or a deleted server
    quint8 Etat = erPasCherche;
    QByteArray Reponse;
    qint32 NbUtilisation = 0;
    TDateTime DateReponse = 0;
};
using PUneRechercheDNS = TUneRechercheDNS*;
