#pragma once
// The DNSBL server table: its records, their numbering, their file "dns.qdl"
// and the default table.
#include "core/fichier_protege.h"
#include "spamsearch/un_dns.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

class TTableServeurs {
public:
    int Nb() const { return int(m_serveurs.size()); }
    PUnDNS Serveur(int index) const;
    PUnDNS TrouverNom(QByteArrayView nom) const; // without regard to ASCII case
    PUnDNS TrouverNumero(qint32 numero) const;
    const std::vector<std::unique_ptr<TUnDNS>>& Serveurs() const { return m_serveurs; }

    qint32 PlusGrandNumero() const;
    // The number for a new server, above every number given so far.
    qint32 NumeroSuivant();
    // The floor of new numbers as the settings keep it: never below a number in use.
    qint32 NumeroMini() const;
    void setNumeroMini(qint32 valeur); // never lowers it

    // Nothing (nullptr) when the name is taken.
    PUnDNS Ajouter(const QByteArray& nom, const QByteArray& zone, const QList<QByteArray>& codes,
                   bool actif);
    void Retirer(PUnDNS serveur); // frees the record
    void Modifier(PUnDNS serveur, const QByteArray& nom, const QByteArray& zone,
                  const QList<QByteArray>& codes);
    QString Erreur(PUnDNS serveur, QByteArrayView nom, QByteArrayView zone) const;
    void AjusterCorrection(qint32 numero, bool versPasSpam);
    void Trier();
    void RAZVitesse();
    void RAZCompteurs();

    // Reads the file; a table that stays empty gets the default servers.
    void Charger(const QString& fichier);
    void Sauver(const QString& fichier);
    // The same on the file's bytes, which Charger and Sauver go through.
    void Deserialiser(QByteArrayView contenu);
    QByteArray Serialiser() const;

private:
    void remplirDefaut();

    std::vector<std::unique_ptr<TUnDNS>> m_serveurs;
    qint32 m_numeroMini = 0;
    TFichierProtege m_fichier;
};
