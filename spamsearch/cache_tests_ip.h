#pragma once
// The IP test cache: the lookup records of every address, their combined
// result, the reduction that merges and ages them, their sort orders and their
// file "recherche.qdl".
#include "core/fichier_protege.h"
#include "spamsearch/un_dns.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TTableServeurs;

enum TTriRecherche : quint8 { trTriIP = 0, trTriDate = 1 };

class TCacheTestsIP {
public:
    // New lookups are queued on the active servers of `serveurs`.
    explicit TCacheTestsIP(const TTableServeurs& serveurs) : m_serveurs(serveurs) {}

    PUneRechercheDNS ResultatIP(TAdresseIP ip, bool creer, bool* cree = nullptr);
    int Nb() const { return int(m_recherches.size()); }
    PUneRechercheDNS Recherche(int index) const;

    void Vider();
    // Reads the file: only finished answers (listed or not) enter; no reduction.
    void Charger(const QString& fichier);
    void Sauver(const QString& fichier);
    // The same on the file's bytes, which Charger and Sauver go through.
    void Deserialiser(QByteArrayView contenu);
    QByteArray Serialiser() const;
    // True when records were removed.
    bool Reduire();
    void Trier();
    void SupprimerTestsIP(TAdresseIP ip);
    // The server leaves the table: its waiting lookups go, the others keep
    // their result without it.
    void OublierServeur(PUnDNS serveur);
    // The table is read again: no record keeps its server.
    void OublierServeurs();

    int NbHeureMemoIP() const { return m_nbHeureMemoIP; }
    void setNbHeureMemoIP(int heures) { m_nbHeureMemoIP = heures; }
    TTriRecherche Tri() const { return m_tri; }
    void setTri(TTriRecherche tri) { m_tri = tri; }

    // The scheduler's walk over the records that wait for a socket, in list
    // order; `demarrer` returns false to stop. It may change the list.
    void ParcourirAttentes(const std::function<bool(TUneRechercheDNS&)>& demarrer);

private:
    void supprimer(const std::vector<bool>& aSupprimer);

    const TTableServeurs& m_serveurs;
    std::vector<std::unique_ptr<TUneRechercheDNS>> m_recherches;
    size_t m_premiereAttente = 0; // no record before this index is in state 0
    quint64 m_generation = 0;     // grows when records are removed or reordered
    int m_nbHeureMemoIP = 6;
    TTriRecherche m_tri = trTriDate;
    TFichierProtege m_fichier;
};
