#pragma once
// The verdict on each message retrieved through the proxy: header lines examined
// while they arrive (relay addresses, header lists), the list verdict, the relay
// addresses looked up in the DNSBL servers, the Bayesian score, learning, the
// archive, then the hand-over to the rewriting.
//
// The rules are pure functions (ExaminerLigneEntete, VerdictListes,
// DeciderVerdict); TVerdict runs them for the sessions of one listener and
// handles the DNS engine's events.

#include "accounts/un_compte_bis.h"
#include "accounts/un_message_mem.h"
#include "proxy/message_recupere.h"
#include "proxy/reecriture.h"
#include "spamsearch/extraction_ip.h"
#include "spamsearch/un_dns.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <cstdint>
#include <functional>
#include <vector>

class TChercheSPAMs;
class TFiltreBayes;
class TMonDossierBis;
class TMonMimeDecode;

// Input of the final step. Codes 3 to 10 are the list kinds (TTypeListe).
enum TCodeVerdict : uint8_t {
    cvAucun = 0,
    cvDNSBL = 1,
    cvSansTestIP = 2,
    cvNoirIP = 3,
    cvNoirEmetteur = 4,
    cvNoirSujet = 5,
    cvBlancIP = 6,
    cvBlancEmetteur = 7,
    cvBlancSujet = 8,
    cvNoirEntete = 9,
    cvBlancEntete = 10,
    cvSansSujetEmetteur = 11,
    cvHorsDestinataire = 12
};

constexpr bool EstCodeNoir(int code) {
    return code == cvNoirIP || code == cvNoirEmetteur || code == cvNoirSujet ||
           code == cvNoirEntete;
}
constexpr bool EstCodeBlanc(int code) {
    return code == cvBlancIP || code == cvBlancEmetteur || code == cvBlancSujet ||
           code == cvBlancEntete;
}

// What the rewriting receives from the verdict.
struct TResultatVerdict {
    TNiveauSpam Niveau = nsBon;
    bool SpamIP = false;
    bool SpamBayes = false;
    double Probabilite = -1; // percent; -1 when not scored
    QByteArray TexteXKelvarin;
    bool TestBayes = false;
};

// One header line (without its line end) of a message being retrieved: the
// relay address of a Received line goes into `adresses`, then the header lists
// may set `verdictListe` (10 white wins over 9 black). `champ` carries the
// current field name from line to line.
void ExaminerLigneEntete(TChercheSPAMs& cherche, QByteArrayView ligne, QByteArray& champ,
                         TAdressesRelais& adresses, uint8_t& verdictListe);

// What the list verdict looks at.
struct TEntreeListes {
    uint8_t VerdictListe = 0; // from the header lines
    QByteArray Emetteur;      // bare address of From
    QByteArray Sujet;         // decoded Subject
    QByteArray To, Cc;        // raw values
    TAdressesRelais Adresses;
    bool Destinataire = false; // the account checks its own address
    QByteArray EMail;          // the account's address, lower case
};

// The first list rule that applies, in precedence order; cvAucun when none.
int VerdictListes(const TChercheSPAMs& cherche, const TEntreeListes& e);

// The final step's inputs apart from the message record.
struct TEntreeVerdict {
    int Code = cvDNSBL;
    const TUneRechercheDNS* DNSBL = nullptr; // the DNSBL result, if any
    bool CommandeTOP = false;
    bool FiltreIP = true;
    bool FiltreBayes = true;
    QByteArray From, Subject; // raw header values
    bool SpamSiPasSujetFrom = true;
    int PourcentageSpam = 60;
    int PourcentageSpam2 = 40;
    QByteArray SeparateurDecimal = ".";
};

struct TDecisionVerdict {
    TResultatVerdict Resultat;
    int Code = cvAucun;     // after the no-subject-and-no-sender rule
    bool Apprendre = false; // learn the scored document (as spam when the level is not 0)
    bool Archiver = false;  // RETR: the record's flags are set, the message is archived
};

// The final step's rules. Fills the verdict fields of `message` (the SpamIP
// flag and DNSBL fields always; the rest only for RETR). `scoreBayes` scores
// the message and returns its spam percentage; it runs at most once.
TDecisionVerdict DeciderVerdict(const TEntreeVerdict& e, TUnMessageMem& message,
                                const std::function<double()>& scoreBayes);

// What the verdict sees of a session that retrieves a message.
class TSessionJugee {
public:
    virtual int Numero() const = 0;
    virtual bool Ouverte() const = 0;
    virtual TMessageRecupere& Message() = 0;
    // The verdict is in: rewrite the message and send it.
    virtual void Livrer(const TResultatVerdict& verdict) = 0;

protected:
    ~TSessionJugee() = default;
};

// The verdict of the sessions of one listener, which hands it to each session
// it creates. It needs the spam search component, the decoder for incoming
// mail, the proxy's archive, the Bayesian filter and the live settings (each
// message is judged with them as they stand then).
class TVerdict : public QObject {
public:
    TVerdict(TChercheSPAMs& cherche, TMonMimeDecode& decodeur, TMonDossierBis& archive,
             const TConfig& reglages);
    ~TVerdict() override;

    // Routes the DNS engine's OnReponseDNS and OnTimeOut here (safe if this
    // object goes first).
    void Brancher(TChercheSPAMs& cherche);

    // A header line of the message being retrieved.
    void LigneEntete(TMessageRecupere& m, QByteArrayView ligne);
    // The relay-address check: at the header end (corps false) and when the
    // message is complete (corps true), which concludes or waits for the DNS.
    void VerifierIP(TSessionJugee& s, bool corps);
    // The DNS engine's events.
    void ReponseDNS(TUneRechercheDNS& xDNSBL, bool bPartiel);
    void TimeOut(TUneRechercheDNS& x);
    // A DNSBL server left the lookups (deleted or made inactive): every
    // session waiting for answers is judged when none can come any more for
    // its addresses.
    void RevoirSessionsEnAttente();
    void RevoirSession(TSessionJugee& s);
    // Judges, learns, archives and delivers; once per message.
    void VerdictFinal(TSessionJugee& s, int code, const TUneRechercheDNS* dnsbl);

    // The knowledge base when it exists (none: messages are neither scored nor learned).
    std::function<TFiltreBayes*()> FiltreBayes;
    // The listener's sessions: their numbers, and one by number (null when gone).
    std::function<std::vector<int>()> NumerosSessions;
    std::function<TSessionJugee*(int numero)> Session;

    std::function<void()> OnBip;               // a lookup attempt timed out (BeepTimeOut)
    std::function<void()> OnRafraichirTestsIP; // lookups were queued: refresh the IP test list

private:
    struct TBilan {
        PUneRechercheDNS liste = nullptr;   // a listed address's record
        PUneRechercheDNS premier = nullptr; // first record met, from the last address
        bool sansResultat = false;          // some address has no record
        bool enCours = false;               // some lookup waits or runs
    };
    void verifierIP(TSessionJugee& s, bool corps);
    TBilan bilan(const TMessageRecupere& m, bool compter);
    void archiver(TSessionJugee& s);
    template <typename F> void pourSessionsEnAttente(F&& f);

    TChercheSPAMs& m_cherche;
    TMonMimeDecode& m_decodeur;
    TMonDossierBis& m_archive;
    const TConfig& m_reglages;
    QByteArray m_separateur;
};
