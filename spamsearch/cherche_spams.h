#pragma once
// The spam-search component: the fifteen filter lists, the DNSBL server table,
// the pool of DNS query sockets and the IP test cache.
#include "spamsearch/adresse_ip.h"
#include "spamsearch/message_dns.h"
#include "spamsearch/un_dns.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class TWSocketDNS;

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

enum TTriRecherche : quint8 { trTriIP = 0, trTriDate = 1 };

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
        return m_listes[size_t(liste)];
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
        return int(m_serveurs.size());
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
        return qMax(m_numeroDNSMini, PlusGrandNumero());
    }
    void setNumeroDNSMini(qint32 valeur);
    qint32 PlusGrandNumero() const;

    // ---- DNS query engine
    PUneRechercheDNS ResultatIP(TAdresseIP ip, bool creer, bool* cree = nullptr);
    void LancerRecherches();
    int NbMaxSocketDNS() const {
        return m_nbMaxSocketDNS;
    }
    void setNbMaxSocketDNS(int valeur) {
        m_nbMaxSocketDNS = valeur < 1 ? 1 : valeur;
    }
    bool FreeSocket() const {
        return m_freeSocket;
    }
    void setFreeSocket(bool valeur);
    quint32 TimeOutRecherche() const {
        return m_timeOutRecherche;
    }
    void setTimeOutRecherche(quint32 ms) {
        m_timeOutRecherche = ms;
    }
    int NbTentativeRecherche() const {
        return m_nbTentativeRecherche;
    }
    void setNbTentativeRecherche(int n) {
        m_nbTentativeRecherche = n < 0 ? 0 : n;
    }
    QByteArray DNSPrincipal() const {
        return m_dnsPrincipal;
    }
    void setDNSPrincipal(const QByteArray& adresse) {
        m_dnsPrincipal = adresse;
    }
    quint16 PortDNS() const {
        return m_portDNS;
    }
    void setPortDNS(quint16 port) {
        m_portDNS = port;
    }
    int NbSocketDNS() const {
        return int(m_socketsTravail.size());
    }
    int NbSocketDNSFree() const {
        return int(m_socketsLibres.size());
    }
    int PicSocketDNS() const {
        return m_picSockets;
    } // most sockets that worked at once

    // ---- IP test cache
    void ChargerRecherches();
    void SauverRecherches();
    void ReduireRecherches();
    void TrierRecherches();
    void SupprimerTestsIP(TAdresseIP ip);
    int NbRecherche() const {
        return int(m_recherches.size());
    }
    PUneRechercheDNS Recherche(int index) const;
    // The manual test of the IP test page; false when the text is not an address.
    bool TesterIP(QByteArrayView texte);
    int NbHeureMemoIP() const {
        return m_nbHeureMemoIP;
    }
    void setNbHeureMemoIP(int heures) {
        m_nbHeureMemoIP = heures;
    }
    TTriRecherche TriRecherches() const {
        return m_tri;
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
    // A server left the lookups (deleted or made inactive): messages waiting on
    // it may now be concluded.
    std::function<void(TChercheSPAMs&, qint32 numero)> OnServeurRetire;

private:
    void remplirServeursDefaut();
    QString chemin(const QString& nom) const;
    TWSocketDNS* prendreSocket();
    void libererSocket(TWSocketDNS* socket);
    void demarrerTentative(TWSocketDNS* socket, PUneRechercheDNS recherche, bool premiere);
    void finTentative(TWSocketDNS& socket, int erreur, const messagedns::TReponseDNS& reponse);
    void compterTentative(TWSocketDNS& socket);
    void reveiller();
    void viderRecherches();
    void supprimerRecherches(const std::vector<bool>& aSupprimer);

    bool m_active = false;
    QString m_repTravail;
    QString m_repDonnees;
    QString m_repDossiers;

    std::array<QList<QByteArray>, lfNombre> m_listes;
    std::array<bool, lfNombre> m_listeProtegee{}; // exists but could not be read
    bool m_serveursProteges = false;
    bool m_recherchesProtegees = false;

    std::vector<std::unique_ptr<TUnDNS>> m_serveurs;
    qint32 m_numeroDNSMini = 0;

    std::vector<std::unique_ptr<TUneRechercheDNS>> m_recherches;
    size_t m_premiereAttente = 0; // no record before this index is in state 0
    quint64 m_generation = 0;     // grows when records are removed or reordered
    int m_nbHeureMemoIP = 6;
    TTriRecherche m_tri = trTriDate;

    std::vector<TWSocketDNS*> m_socketsTravail;
    std::vector<TWSocketDNS*> m_socketsLibres;
    int m_picSockets = 0;
    int m_nbMaxSocketDNS = 35;
    bool m_freeSocket = true;
    quint32 m_timeOutRecherche = 10000;
    int m_nbTentativeRecherche = 3;
    QByteArray m_dnsPrincipal;
    quint16 m_portDNS = 53;
    bool m_reveilPoste = false;
    bool m_dansLancer = false;
    QTimer m_timer;
};
