#pragma once
// The fifteen filter lists: their lines, their files and the matching of one kind.
#include "core/fichier_protege.h"
#include "spamsearch/adresse_ip.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>
#include <functional>

enum TTypeListe : quint8 {
    tlNoireIP = 3,
    tlNoireEmetteur = 4,
    tlNoireSujet = 5,
    tlBlancheIP = 6,
    tlBlancheEmetteur = 7,
    tlBlancheSujet = 8,
    tlNoireEntete = 9,
    tlBlancheEntete = 10
};

// The fifteen list files, in load and save order.
enum TListeFiltre : quint8 {
    lfNoireIP,
    lfNoireEmetteur,
    lfNoireEmetteurRegExp,
    lfNoireSujet,
    lfNoireSujetRegExp,
    lfBlancheIP,
    lfBlancheEmetteur,
    lfBlancheEmetteurRegExp,
    lfBlancheSujet,
    lfBlancheSujetRegExp,
    lfNoireEntete,
    lfNoireEnteteRegExp,
    lfBlancheEntete,
    lfBlancheEnteteRegExp,
    lfIgnorerIP,
    lfNombre
};

class TListesFiltres {
public:
    // Whether one expression of a list matches the value.
    using TTesteurRegExp =
        std::function<bool(const QByteArray& valeur, const QByteArray& expression)>;

    static QString NomFichier(TListeFiltre liste);
    // A list's lines as a text holds them: split at CR LF, LF or CR.
    static QList<QByteArray> DecouperLignes(QByteArrayView texte);

    QByteArray Texte(TListeFiltre liste) const;             // lines, each ended by CR LF
    void Definir(TListeFiltre liste, QByteArrayView texte); // split at CR LF, LF or CR
    const QList<QByteArray>& Lignes(TListeFiltre liste) const { return m_listes[liste]; }

    // The files of the data directory `repDonnees` (ended by '/'). A missing
    // ignore file gives its three default lines; a file that exists but cannot
    // be read leaves its list empty and is never saved over.
    void Charger(const QString& repDonnees);
    void Sauver(const QString& repDonnees);

    // The plain list of the kind, then its expression list when a tester is given.
    bool Tester(int type, QByteArrayView valeur, const TTesteurRegExp& testerRegExp) const;
    bool Renseignee(int type) const;
    // A line of the ignore list matches the address.
    bool Ignoree(TAdresseIP ip) const;

private:
    std::array<QList<QByteArray>, lfNombre> m_listes;
    std::array<TFichierProtege, lfNombre> m_fichiers;
};
