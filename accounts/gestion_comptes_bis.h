#pragma once
// The accounts manager: the accounts that logged in through the proxy, their
// options and counters, kept sorted and stored in "comptesspam.qdl".

#include "accounts/un_compte_bis.h"
#include "core/fichier_protege.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TGestionComptesBis {
public:
    static constexpr const char* kNomFichier = "comptesspam.qdl";
    static constexpr int kVersionFichier = 1;

    TGestionComptesBis() = default;
    ~TGestionComptesBis() = default;
    TGestionComptesBis(const TGestionComptesBis&) = delete;
    TGestionComptesBis& operator=(const TGestionComptesBis&) = delete;

    // Asked once per run for the working and installation directories (in-out).
    std::function<void(TGestionComptesBis& sender, QString& chRepTravail,
                       QString& chRepInstallation)>
        OnInitRepertoire;

    // true: initialise the directories (once), then load; false: save.
    void setActive(bool actif);
    bool Active() const { return m_actif; }

    bool IgnoreModif = false;
    // The highest account number handed out so far: at least the highest
    // number in the list, so a run that created no account still keeps it.
    qint32 NumeroCompteMini() const;
    void setNumeroCompteMini(qint32 n) { m_numeroMini = n; }

    QString RepertoireTravail();
    QString RepertoireDonnees();  // working directory + "Donnees/"
    QString RepertoireDossiers(); // working directory + "Dossiers/"
    QString CheminFichier() { return RepertoireDonnees() + QLatin1String(kNomFichier); }

    // Load and save. Charger returns false when the file exists but cannot be read;
    // the manager then refuses to save over it (the accounts are kept on disk).
    bool Charger();
    bool Sauver();
    bool FichierProtege() const { return m_fichier.Protege(); }

    PUnCompteBis Chercher(QByteArrayView serveur, QByteArrayView login) const;
    // A new account is saved at once (when active), so its number is on disk
    // before its archive gets its first message.
    PUnCompteBis ChercherOuCreer(QByteArrayView serveur, QByteArrayView login);
    // A login through the proxy: find or create, make current, count the connection.
    PUnCompteBis Connexion(QByteArrayView serveur, QByteArrayView login);
    void CompterMessage(bool spam);
    // Skips a number whose archive files or folder exist: they belong to an
    // account lost with an unsaved accounts file.
    qint32 ProchainNumero();

    // Removes the account and its archive. Refused (false) while a live session
    // holds it (see Retenir).
    bool Supprimer(qint32 numero);
    // Sessions hold the account they logged in to, so it stays valid under them.
    void Retenir(PUnCompteBis compte);
    void Relacher(PUnCompteBis compte);
    int Utilisations(qint32 numero) const { return m_utilisations.value(numero); }

    int Count() const { return int(m_comptes.size()); }
    PUnCompteBis Compte(int index) const;
    PUnCompteBis CompteCourant() const { return m_courant; }
    void Trier();

    // Effective settings of an account (null: unknown account).
    static QByteArray PortEffectif(const TUnCompteBis* compte);
    static bool SupprimerSpamEffectif(const TUnCompteBis* compte);

    // The file format, separated from the disk for tests.
    QByteArray Serialiser() const;
    void Deserialiser(QByteArrayView contenu);

private:
    void initialiserRepertoires();
    bool archiveExiste(qint32 numero);

    std::vector<std::unique_ptr<TUnCompteBis>> m_comptes;
    QHash<qint32, int> m_utilisations;
    PUnCompteBis m_courant = nullptr;
    bool m_actif = false;
    bool m_repertoiresInitialises = false;
    TFichierProtege m_fichier{QLatin1String(kNomFichier)};
    qint32 m_numeroMini = 0;
    QString m_repTravail;
    QString m_repInstallation;
};
