#pragma once
// One archived message: the verdict's description kept in the index files of
// the account's archive (the text itself lives in the per-day data files).

#include "core/date_time.h"

#include <QByteArray>
#include <QtGlobal>

struct TUnMessageMem {
    qint32 Numero = 0;   // within the account, from 1, increasing
    QByteArray Sujet;    // raw Subject value
    QByteArray Emetteur; // raw From value
    bool TestIP = false;
    bool TestBayes = false;
    bool ListeBlanche = false;
    bool ListeNoire = false;
    bool HorsDestinataire = false;
    bool Spam = false;
    bool SpamIP = false;
    qint32 ServeurDNSBL = 0;
    QByteArray ReponseDNSBL;
    qint32 ProbaBayes = 0;   // tenths of a percent
    qint16 TailleEntete = 0; // 0: messages added by the proxy
    TDateTime Reception = 0; // selects the data files
    qint32 NbLignes = 0;     // stored on 16 bits
    qint32 Taille = 0;
    qint32 Index = 0; // position in the in-memory list

    bool Supprime = false; // left out at the next save

    // The flags byte of the fixed index record.
    enum : quint8 {
        fmTestIP = 1,
        fmTestBayes = 2,
        fmListeBlanche = 4,
        fmListeNoire = 8,
        fmSpam = 16,
        fmSpamIP = 32,
        fmHorsDestinataire = 64
    };
    quint8 Drapeaux() const;
    void setDrapeaux(quint8 d);
};
using PUnMessageMem = TUnMessageMem*;

inline quint8 TUnMessageMem::Drapeaux() const {
    return quint8((TestIP ? fmTestIP : 0) | (TestBayes ? fmTestBayes : 0) |
                  (ListeBlanche ? fmListeBlanche : 0) | (ListeNoire ? fmListeNoire : 0) |
                  (Spam ? fmSpam : 0) | (SpamIP ? fmSpamIP : 0) |
                  (HorsDestinataire ? fmHorsDestinataire : 0));
}

inline void TUnMessageMem::setDrapeaux(quint8 d) {
    TestIP = d & fmTestIP;
    TestBayes = d & fmTestBayes;
    ListeBlanche = d & fmListeBlanche;
    ListeNoire = d & fmListeNoire;
    Spam = d & fmSpam;
    SpamIP = d & fmSpamIP;
    HorsDestinataire = d & fmHorsDestinataire;
}
