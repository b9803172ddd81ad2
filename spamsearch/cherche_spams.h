#pragma once
// The spam-search component: the fifteen filter lists, the DNSBL server table,
// the pool of DNS query sockets and the IP test cache. It is the face the rest
// of the program sees; each job lives in a part of its own behind it.
#include "spamsearch/adresse_ip.h"
#include "spamsearch/cache_tests_ip.h"
#include "spamsearch/listes_filtres.h"
#include "spamsearch/planificateur_dns.h"
#include "spamsearch/table_serveurs.h"
#include "spamsearch/un_dns.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class TChercheSPAMs : public QObject {
public:
    explicit TChercheSPAMs(QObject* parent = nullptr);
    ~TChercheSPAMs() override;

    static QString NomFichierListe(TListeFiltre liste);

    // ---- Lifecycle
    bool Active() const { return m_active; }
    void setActive(bool actif);
    QString RepertoireDonnees() const { return m_repDonnees; }
    QString RepertoireDossiers() const { return m_repDossiers; }
    // Writes the DNSBL table, the IP test cache and the lists. A file that
    // existed but could not be read at load is kept, not overwritten.
    void SauverTout();

    // ---- Filter lists
    QByteArray Liste(TListeFiltre liste) const;                  // lines, each ended by CR LF
    void DefinirListe(TListeFiltre liste, QByteArrayView texte); // split at CR LF, LF or CR
    const QList<QByteArray>& LignesListe(TListeFiltre liste) const {
        return m_listes.Lignes(liste);
    }
    // The fifteen list properties under their own names.
#define KELVARIN_LISTE(Nom)                                                                        \
    QByteArray Liste##Nom() const {                                                                \
        return Liste(lf##Nom);                                                                     \
    }                                                                                              \
    void setListe##Nom(QByteArrayView texte) {                                                     \
        DefinirListe(lf##Nom, texte);                                                              \
    }
    KELVARIN_LISTE(NoireIP)
    KELVARIN_LISTE(NoireEmetteur)
    KELVARIN_LISTE(NoireEmetteurRegExp)
    KELVARIN_LISTE(NoireSujet)
    KELVARIN_LISTE(NoireSujetRegExp)
    KELVARIN_LISTE(BlancheIP)
    KELVARIN_LISTE(BlancheEmetteur)
    KELVARIN_LISTE(BlancheEmetteurRegExp)
    KELVARIN_LISTE(BlancheSujet)
    KELVARIN_LISTE(BlancheSujetRegExp)
    KELVARIN_LISTE(NoireEntete)
    KELVARIN_LISTE(NoireEnteteRegExp)
    KELVARIN_LISTE(BlancheEntete)
    KELVARIN_LISTE(BlancheEnteteRegExp)
#undef KELVARIN_LISTE
    QByteArray IgnorerIP() const {
        return Liste(lfIgnorerIP);
    }
    void setIgnorerIP(QByteArrayView texte) {
        DefinirListe(lfIgnorerIP, texte);
    }
    void ChargerListes();
    void SauverListes();
    bool TesterListe(int type, QByteArrayView valeur) const;
    bool ListeRenseignee(int type) const;
    bool EstIPInternet(TAdresseIP ip);
    static bool CorrespondFiltre(QByteArrayView valeur, QByteArrayView motif, bool cidrAutorise) {
        return ::CorrespondFiltre(valeur, motif, cidrAutorise);
    }

    // ---- DNSBL server table
    void ChargerServeurs();
    void SauverServeurs();
    int NbServeur() const {
        return m_serveurs.Nb();
    }
    PUnDNS Serveur(int index) const;
    PUnDNS TrouverServeurNom(QByteArrayView nom) const;
    PUnDNS TrouverServeurNumero(qint32 numero) const;
    qint32 NumeroSuivant();
    PUnDNS AjouterServeur(const QByteArray& nom, const QByteArray& zone,
                          const QList<QByteArray>& codes, bool actif);
    void SupprimerServeur(QByteArrayView nom);
    // The page's modification: name, zone and codes of an existing server.
    void ModifierServeur(PUnDNS serveur, const QByteArray& nom, const QByteArray& zone,
                         const QList<QByteArray>& codes);
    // The dialog's checks: empty text, or the error to show (cdns01, cdns02).
    QString ErreurServeur(PUnDNS serveur, QByteArrayView nom, QByteArrayView zone) const;
    void DefinirActifServeur(PUnDNS serveur, bool actif);
    // A message flagged by this server was re-marked: as not spam (+1) or as
    // spam again (-1, never below 0). Unknown numbers are ignored.
    void AjusterCorrection(qint32 numero, bool versPasSpam);
    void TrierServeurs();
    void RAZVitesse();
    void RAZCompteurs();
    // The floor of new server numbers, never below a number in use: the value
    // the settings keep.
    qint32 NumeroDNSMini() const {
        return m_serveurs.NumeroMini();
    }
    void setNumeroDNSMini(qint32 valeur);
    qint32 PlusGrandNumero() const;

    // ---- DNS query engine
    PUneRechercheDNS ResultatIP(TAdresseIP ip, bool creer, bool* cree = nullptr);
    void LancerRecherches();
    int NbMaxSocketDNS() const {
        return m_planificateur.NbMaxSocketDNS();
    }
    void setNbMaxSocketDNS(int valeur) {
        m_planificateur.setNbMaxSocketDNS(valeur);
    }
    bool FreeSocket() const {
        return m_planificateur.FreeSocket();
    }
    void setFreeSocket(bool valeur) {
        m_planificateur.setFreeSocket(valeur);
    }
    quint32 TimeOutRecherche() const {
        return m_planificateur.TimeOutRecherche();
    }
    void setTimeOutRecherche(quint32 ms) {
        m_planificateur.setTimeOutRecherche(ms);
    }
    int NbTentativeRecherche() const {
        return m_planificateur.NbTentativeRecherche();
    }
    void setNbTentativeRecherche(int n) {
        m_planificateur.setNbTentativeRecherche(n);
    }
    QByteArray DNSPrincipal() const {
        return m_planificateur.DNSPrincipal();
    }
    void setDNSPrincipal(const QByteArray& adresse) {
        m_planificateur.setDNSPrincipal(adresse);
    }
    quint16 PortDNS() const {
        return m_planificateur.PortDNS();
    }
    void setPortDNS(quint16 port) {
        m_planificateur.setPortDNS(port);
    }
    int NbSocketDNS() const {
        return m_planificateur.NbSocketDNS();
    }
    int NbSocketDNSFree() const {
        return m_planificateur.NbSocketDNSFree();
    }
    int PicSocketDNS() const {
        return m_planificateur.PicSocketDNS();
    } // most sockets that worked at once

    // ---- IP test cache
    void ChargerRecherches();
    void SauverRecherches();
    void ReduireRecherches();
    void TrierRecherches();
    void SupprimerTestsIP(TAdresseIP ip);
    int NbRecherche() const {
        return m_cache.Nb();
    }
    PUneRechercheDNS Recherche(int index) const;
    // The manual test of the IP test page; false when the text is not an address.
    bool TesterIP(QByteArrayView texte);
    int NbHeureMemoIP() const {
        return m_cache.NbHeureMemoIP();
    }
    void setNbHeureMemoIP(int heures) {
        m_cache.setNbHeureMemoIP(heures);
    }
    TTriRecherche TriRecherches() const {
        return m_cache.Tri();
    }
    void setTriRecherches(TTriRecherche tri);

    // ---- Events
    std::function<void(TChercheSPAMs&, const QByteArray& chValeur,
                       const QByteArray& chCritereRegExp, bool& bVerifier)>
        OnTestRegExp;
    std::function<void(TChercheSPAMs&, TAdresseIP xIP, bool& bVerifier)> OnIPInternet;
    std::function<void(TChercheSPAMs&, QString& chRepTravail, QString& chRepInstallation)>
        OnInitRepertoire;
    std::function<void(TChercheSPAMs&, TUneRechercheDNS& xDNSBL, bool bPartiel)> OnReponseDNS;
    std::function<void(TChercheSPAMs&, TUneRechercheDNS& x)> OnTimeOut;
    std::function<void(TChercheSPAMs&)> OnReduireListeSpams;
    // The pool of query sockets became idle (after its reduction): every
    // lookup queued so far has its final state.
    std::function<void(TChercheSPAMs&)> OnRecherchesTerminees;
    // A server left the lookups (deleted or made inactive): messages waiting on
    // it may now be concluded.
    std::function<void(TChercheSPAMs&, qint32 numero)> OnServeurRetire;

private:
    QString chemin(const QString& nom) const;

    bool m_active = false;
    QString m_repTravail;
    QString m_repDonnees;
    QString m_repDossiers;

    TListesFiltres m_listes;
    TTableServeurs m_serveurs;
    TCacheTestsIP m_cache{m_serveurs};
    TPlanificateurDNS m_planificateur{m_cache};
};
