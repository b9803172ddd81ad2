#pragma once
// The options in memory: one process-wide value per key of the settings file,
// with the defaults of a new installation. Every subsystem reads them here;
// LireConfig/EcrireConfig (core/settings.h) move them to and from the file.

#include <QByteArray>
#include <QString>

struct TConfig {
    // Section "Init", in the order EcrireConfig writes them.
    bool ModifSujet = true;
    bool SpamSiPasSujetFrom = true;
    QByteArray DebutSujet = "[[**SPAM**]] ";
    QByteArray FinSujet;
    QByteArray DebutSujetBaye = "[[**SPAM2**]] ";
    QByteArray FinSujetBaye;
    QByteArray DebutSujetIP = "[[**SPAM2**]] ";
    QByteArray FinSujetIP;
    bool AjoutInfoBayesien = true;
    QByteArray PortEcoute = "pop3";
    int FormatParametre = 0;
    QByteArray PortMail = "pop3";
    int Modefonctionnement = 0;
    bool DNSAuto = true;
    QByteArray AdresseDNS;
    int NbSocket = 35;
    int DureeStockage = 8;
    int TimeOutRecherche = 5000;
    int NbTentativeRecherche = 3;
    bool AnimerIcone = true;
    bool SupprimerSpam = false;
    bool EnleveHTML = true;
    QByteArray SujetSupprime = "[[**SPAM**]] message de type spam";
    bool ReemettreSpam = false;
    int PourcentageSpam2 = 40;
    int PourcentageSpam = 60;
    int ModeBayes = 5;
    bool BeepTimeOut = true;
    int CptResume = 0;
    QByteArray DerniereVersion;
    int NumLocal = 0;
    bool LookXP = false;
    bool ReduireKelvarin = true;
    bool PatienterVisible = true;
    int VersionInterne = 2;
    // Upstream connection: 0 TLS when offered (POP3S port or STLS), 1 TLS
    // required, 2 plain text only; and a PEM file of extra trusted authorities.
    // Written after VersionInterne.
    int SecuriteAmont = 0;
    QByteArray CertificatsAmont;
    // How the Bayesian filter combines token probabilities: 0 the mean of the
    // qualifying tokens, 1 chi-square. Written after CertificatsAmont.
    int CalculBayes = 0;

    // Read but never written by EcrireConfig.
    bool CoderMDP = true;
    bool FreeSocket = true;
    bool TraductionInterface = false;
    bool LanguageDefaut = true;
    QByteArray LanguageForce;
    int NumeroCompteMini = 0;
    int NumeroDNSMini = 0;
    // Listening address: loopback unless set by hand (e.g. "0.0.0.0").
    QByteArray AdresseEcoute = "127.0.0.1";

    // Section "Racine": help mode, read once at start, never written.
    int AideActive2 = 3;

    // Section "Affichage".
    QByteArray NbJour = "3";
    QByteArray NbHeure = "0";
    int Affichage = 0;
    bool AfficherDNSBL = true;
};

// The process-wide settings.
TConfig& Config();
