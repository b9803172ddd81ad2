#pragma once
// The options between the settings file and memory: reading and writing the
// "Init", "Affichage" and "Racine" keys, and the checks of the Apply button.

#include "core/config.h"
#include "core/stockage_config.h"

#include <QString>

#include <functional>

// Every key of the "Init" table, in the order EcrireConfig writes it.
const QList<QByteArray>& ClesInit();
// The subject keys written between double quotes.
bool EstCleEntreGuillemets(QByteArrayView cle);
// The second unquoting of those keys: a value of at least 3 characters that
// both begins and ends with a double quote loses them; any other is unchanged.
QByteArray EnleverGuillemets(QByteArrayView valeur);

// Reads the "Init" table; each key's default is the value held in memory.
void LireConfig(TStockageConfig& ini, TConfig& c);
// Writes the "Init" table in order, then Mode2=0 and VersionInterne=2, then
// the upstream connection's SecuriteAmont and CertificatsAmont.
void EcrireConfig(TStockageConfig& ini, const TConfig& c);
// The keys read but never written by EcrireConfig, "Affichage", VersionInterne
// and "Racine": what start-up reads besides LireConfig.
void LireAutresCles(TStockageConfig& ini, TConfig& c);
// EcrireConfig, the "Affichage" keys and the two highest numbers given out.
void SauverConfig(TStockageConfig& ini, const TConfig& c, int numeroCompteMini, int numeroDNSMini);

// The DNS server of the DNSBL queries: the machine's one when automatic or unset.
QByteArray AdresseDNSEffective(const TConfig& c, const std::function<QByteArray()>& dnsMachine);

// What the user typed on the options pages, as texts and ticks.
struct TSaisieOptions {
    bool ModifSujet = true;
    QString DebutSujet, FinSujet, DebutSujetBaye, FinSujetBaye, DebutSujetIP, FinSujetIP;
    bool AjoutInfoBayesien = true;
    QString PortMail;
    bool DNSAuto = true;
    QString AdresseDNS;
    QString NbSocket, DureeStockage, NbTentativeRecherche, TimeOutRecherche;
    bool AnimerIcone = true, SupprimerSpam = false, EnleveHTML = true;
    QString SujetSupprime;
    bool ReemettreSpam = false, SpamSiPasSujetFrom = true;
    int FormatParametre = 0;
    QString PortEcoute;
    QString PourcentageSpam2, PourcentageSpam;
    bool BeepTimeOut = true, PatienterVisible = true, LookXP = false, ReduireKelvarin = true;
    int SecuriteAmont = 0; // item index of the upstream security choice
};

// The controls filled from the settings.
TSaisieOptions SaisieDepuisConfig(const TConfig& c);

struct TResultatAppliquer {
    bool PortEcouteChange = false; // the listener is to be reopened on PortEcoute
    bool LookXPChange = false;
};

// A typed integer: a text that is not an integer counts as 0, then the floor.
int EntierSaisi(const QString& texte, int plancher);

// The Apply checks, in their order, from the typed values into the settings.
TResultatAppliquer AppliquerSaisie(const TSaisieOptions& s, TConfig& c,
                                   const std::function<QByteArray()>& dnsMachine);
