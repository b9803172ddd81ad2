#pragma once
// The accounts page's rows: what each account shows and in which colour, and
// the page's commands over the accounts manager. The widget only paints.

#include "accounts/gestion_comptes_bis.h"

#include <QList>
#include <QString>

// One run of text of a row with its colour.
struct TMorceauCompte {
    enum TCouleur { ccNormal, ccBleu, ccRouge };
    QString Texte;
    TCouleur Couleur = ccNormal;
};

struct TLigneCompte {
    qint32 Numero = 0;
    bool PastilleRouge = false;      // ConfigGenerale is clear
    QList<TMorceauCompte> Nom;       // first column
    QList<TMorceauCompte> Compteurs; // second column: counters, rate, disabled filters
    QString TexteNom() const;
    QString TexteCompteurs() const;
};

class TPageComptes {
public:
    explicit TPageComptes(TGestionComptesBis& comptes) : m_comptes(comptes) {}

    static TLigneCompte Ligne(const TUnCompteBis& c);
    // Every account, in the manager's order.
    QList<TLigneCompte> Lignes() const;
    // "taux de spam": NbSpams / NbMessages x 100 with one decimal.
    static QString Taux(qint32 spams, qint32 messages);

    // "Supprimer": false when refused (a session still uses the account) or unknown.
    bool Supprimer(qint32 numero);
    TGestionComptesBis& Comptes() { return m_comptes; }

private:
    TGestionComptesBis& m_comptes;
};

// The per-account dialog's values, as typed, and their validation.
struct TSaisieCompte {
    QString EMail, Nom, Port;
    bool FiltreIP = true, FiltreBayes = true, Destinataire = false, ConfigGenerale = true,
         SupprimerSpam = false;
};
// The dialog filled from the account; with the general configuration the
// panel shows the global PortMail and SupprimerSpam.
TSaisieCompte SaisieDepuisCompte(const TUnCompteBis& c);
// Validating: every field stored, EMail trimmed and lower-cased, Port trimmed.
void AppliquerSaisieCompte(const TSaisieCompte& s, TUnCompteBis& c);
