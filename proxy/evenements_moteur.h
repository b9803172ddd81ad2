#pragma once
// What the engine tells the views: one object with Qt signals that any number
// of views connect to. The engine's own std::function hooks stay between a
// component and its owner; the assembly (TMoteur) re-emits them here.

#include "core/trace.h"

#include <QObject>
#include <QString>

class TEvenementsMoteur : public QObject {
    Q_OBJECT
public:
    // The knowledge base's work, for the tray icon and the busy cursor.
    enum TEtatBase { ebRepos = 0, ebChargement = 1, ebSauvegarde = 2 };

    explicit TEvenementsMoteur(QObject* parent = nullptr); // listens to the trace
    ~TEvenementsMoteur() override;
    TEvenementsMoteur(const TEvenementsMoteur&) = delete;
    TEvenementsMoteur& operator=(const TEvenementsMoteur&) = delete;

    // Whether a view shows the warnings (none: the engine traces them).
    bool AvertissementEcoute() const;
    // Whether a view asks the new-version question (none: the engine traces it).
    bool NouvelleVersionEcoute() const;

signals:
    void LigneTrace(const TLigneTrace& ligne);
    void SessionOuverte();          // a client connected
    void SessionChangee();          // a login found or created its account
    void SessionFermee(int numero); // a session was released
    void CommandeClient();          // a client command arrived
    void MessageJuge(int session, bool spam);
    void TestsIPModifies();  // DNSBL lookups were queued or answered
    void TestsIPReduits();   // the IP test list was reduced, or its lookups ended
    void EtatBase(int etat); // TEtatBase
    void AvancementReconstruction(const QString& ligne1, const QString& ligne2);
    void FinReconstruction();
    void Occupe(bool occupe); // CalculEnCours set or cleared
    void Avertissement(const QString& texte);
    void Bip();
    void NouvelleVersion(const QString& version); // the version server knows a newer one

private:
    int m_ecouteurTrace = 0;
};
