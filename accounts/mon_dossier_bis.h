#pragma once
// The archive of one account at a time: the index of its judged messages in
// two files ("N-var.qdl", 38-byte fixed records; "N-fix.qdl", subject, sender
// and DNSBL answer) and, through TGestionFichierMessage, their texts.
//
// The proxy and the review page each hold a view of the same archive. A view
// whose account was saved by another view since it loaded it reads the index
// again before it uses it (opening the same account, looking a message up,
// adding one) and merges its own unsaved changes into the newer index before
// it saves, so neither view writes an out-of-date list over the other's.
//
// A view that keeps accounts (the proxy's, fetching for several accounts at
// once) puts the open account aside when it opens another, without saving it
// when all its changes are in its journal, and takes it back as it left it.

#include "accounts/gestion_fichier_message.h"
#include "accounts/un_compte_bis.h"
#include "accounts/un_message_mem.h"
#include "core/fichier_protege.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TMonDossierBis {
public:
    static constexpr int kTailleFixe = 38;
    static constexpr int kTailleEnteteFixe = 11; // "VERSION=1" CR LF
    static constexpr int kTailleMiniVar = 14;
    static constexpr int kVersion = 1;
    static constexpr int kQuoiArchive = 4;

    TMonDossierBis() = default;
    ~TMonDossierBis(); // closes (saves) the open account
    TMonDossierBis(const TMonDossierBis&) = delete;
    TMonDossierBis& operator=(const TMonDossierBis&) = delete;

    // The archive directory ("Dossiers/"), with its trailing "/".
    void setRepertoireDossiers(const QString& repertoire);
    QString RepertoireDossiers() const { return m_repDossiers; }

    // Opens an account (null: none). The same account: nothing; another one
    // open: saved first (or put aside, see GarderComptes). Returns false when
    // the open account could not be saved: it then stays open with its
    // records (Compte() unchanged), unless its index is protected
    // (unreadable), which is never written. Null also saves the accounts put
    // aside, and keeps aside only those that could not be saved.
    bool Ouvrir(TUnCompteBis* compte);
    // Saves the open account and those put aside; the ones saved leave memory.
    bool Fermer();
    // Saves one account, open or put aside; true when this view does not hold it.
    bool SauverCompte(qint32 compte);
    // The same, and lets it go once saved.
    bool FermerCompte(qint32 compte);
    // The open account or one put aside.
    bool Contient(qint32 compte) const;
    // Any account open or put aside.
    bool Occupe() const { return m_compte >= 0 || !m_cotes.empty(); }
    int NbComptesDeCote() const { return int(m_cotes.size()); }
    bool Charger();
    bool Sauver(QString* erreur = nullptr);
    bool IndexProtege() const { return m_index.Protege(); }
    // Another view saved the open account since this one loaded or saved it.
    bool Perime() const;
    // Reads the index again when another view saved it: the records of this
    // view are replaced, or kept with the newer records added when this view
    // has unsaved changes. True when the index was read again.
    bool Actualiser();

    // Archives a judged message; the record is copied from `modele`. Returns
    // false with the reason when its text could not be stored (the record is
    // in the list all the same, as `nouveau`).
    bool AjouterMessage(const TUnMessageMem& modele, const QByteArray& texte,
                        PUnMessageMem* nouveau = nullptr, QString* erreur = nullptr);
    // Brings the index up to date first (see Actualiser): a record taken
    // before another view saved the account is gone once it was read again,
    // unless this view had unsaved changes.
    PUnMessageMem ChercherNumero(qint32 numero);
    // Marks a record of the open account deleted; the next save leaves it out.
    void MarquerSupprime(TUnMessageMem& message);
    // Text of a message from the data files (only TailleEntete bytes when
    // `enteteSeul` and TailleEntete is not 0). false when not found.
    bool LireTexte(const TUnMessageMem& message, QByteArray& texte, bool enteteSeul,
                   QString* erreur = nullptr);

    qint32 Compte() const { return m_compte; }
    qint32 PremierNumMessage() const;
    qint32 DernierNumMessage() const;
    int NbMessage() const { return int(m_messages.size()); }
    int NbTotal() const;
    PUnMessageMem Message(int index) const;
    // Highest number ever handed out in this account (kept across deletions).
    qint32 NumeroMaxDonne() const { return m_numeroMax; }

    bool FixeModifie = false;
    bool VarModifie = false;
    quint32 TickOuverture = 0;
    // Opening another account puts the open one aside instead of closing it.
    // Such a view changes records only through its own methods: a change
    // made directly may wait in memory until the account is saved.
    bool GarderComptes = false;
    // Records held aside, all accounts together, before the oldest is saved
    // and let go.
    int MaxMessagesDeCote = 200000;

    std::function<void(TMonDossierBis& sender, int iPosition)> OnAvancement;
    std::function<void(TMonDossierBis& sender, int iQuoi, const QString& chFichier,
                       bool& bRestaure)>
        OnProblemeSauvegarde;

    QString CheminFixe() const;     // "N-var.qdl": the 38-byte records
    QString CheminVariable() const; // "N-fix.qdl": the texts
    QString CheminNumero() const;   // highest number handed out
    // Records added since the last save, appended one by one, so that a run
    // that ends without saving loses none: the next load takes them back.
    QString CheminJournal() const;
    TGestionFichierMessage& Fichiers() { return m_fichiers; }

    // The byte layouts, apart from the disk.
    static QByteArray CoderFixe(const TUnMessageMem& m);
    static bool DecoderFixe(const char* donnees, TUnMessageMem& m); // false: Numero below 1
    static QByteArray CoderVariable(const TUnMessageMem& m);
    // Cuts the three lengths to the limits of the variable record.
    static void LimiterLongueurs(qsizetype& l1, qsizetype& l2, qsizetype& l3);
    QByteArray SerialiserFixe() const;
    QByteArray SerialiserVariable() const;
    // Fills the list from the two files' contents; returns the file version.
    int Deserialiser(const QByteArray& fixe, const QByteArray& variable);

private:
    void Vider();
    // Records in number order, each knowing its place.
    void trierParNumero();
    void Restaurer();
    bool EcrireIndex(QString* erreur);
    QString CleIndex() const;
    // Keeps this view's records and adds the newer ones from the files.
    void Fusionner();
    // Adds the journal's records that the list lacks; returns how many.
    int ReprendreJournal();
    bool Journaliser(const TUnMessageMem& m, QString* erreur);

    // Everything that belongs to the open account, swapped in and out whole.
    struct TCompteDeCote {
        std::vector<std::unique_ptr<TUnMessageMem>> messages;
        TGestionFichierMessage fichiers;
        qint32 compte = -1;
        qint32 numeroMax = 0;
        TFichierProtege index;
        bool journalIllisible = false;
        bool horsJournal = false;
        quint64 generation = 0;
        bool fixeModifie = false;
        bool varModifie = false;
        quint32 tickOuverture = 0;
    };
    void echanger(TCompteDeCote& c);
    // Empties the open account's place (saved or given up before).
    void lacher();
    void mettreDeCote();
    bool reprendre(qint32 compte);
    // Saves an account put aside; false when it could not be.
    bool sauverDeCote(TCompteDeCote& c);
    void limiterDeCote();
    bool fermerDeCote();

    std::vector<std::unique_ptr<TUnMessageMem>> m_messages;
    TGestionFichierMessage m_fichiers;
    QString m_repDossiers;
    qint32 m_compte = -1;
    qint32 m_numeroMax = 0;
    // An index that could not be read is never overwritten.
    TFichierProtege m_index;
    bool m_journalIllisible = false;
    // Changes that the journal does not hold: the account is saved before it
    // is put aside.
    bool m_horsJournal = false;
    // Put aside, the oldest first.
    std::vector<std::unique_ptr<TCompteDeCote>> m_cotes;
    // The account's save count (among all views) when this view last loaded or saved it.
    quint64 m_generation = 0;
};
