#include "core/settings.h"

#include "core/cp1252.h"

namespace {

const QByteArray kInit = QByteArrayLiteral("Init");
const QByteArray kAffichage = QByteArrayLiteral("Affichage");
const QByteArray kRacine = QByteArrayLiteral("Racine");

enum class TGenre { Bool, Entier, Chaine, Guillemets };

// One entry per "Init" key, bound to its field, in file order.
struct TCle {
    const char* nom;
    TGenre genre;
    bool TConfig::*b = nullptr;
    int TConfig::*i = nullptr;
    QByteArray TConfig::*s = nullptr;
};

constexpr TCle B(const char* n, bool TConfig::*m) {
    return {n, TGenre::Bool, m, nullptr, nullptr};
}
constexpr TCle I(const char* n, int TConfig::*m) {
    return {n, TGenre::Entier, nullptr, m, nullptr};
}
constexpr TCle S(const char* n, QByteArray TConfig::*m) {
    return {n, TGenre::Chaine, nullptr, nullptr, m};
}
constexpr TCle Q(const char* n, QByteArray TConfig::*m) {
    return {n, TGenre::Guillemets, nullptr, nullptr, m};
}

const TCle kTable[] = {
    B("ModifSujet", &TConfig::ModifSujet),
    B("SpamSiPasSujetFrom", &TConfig::SpamSiPasSujetFrom),
    Q("DebutSujet", &TConfig::DebutSujet),
    Q("FinSujet", &TConfig::FinSujet),
    Q("DebutSujetBaye", &TConfig::DebutSujetBaye),
    Q("FinSujetBaye", &TConfig::FinSujetBaye),
    Q("DebutSujetIP", &TConfig::DebutSujetIP),
    Q("FinSujetIP", &TConfig::FinSujetIP),
    B("AjoutInfoBayesien", &TConfig::AjoutInfoBayesien),
    S("PortEcoute", &TConfig::PortEcoute),
    I("FormatParametre", &TConfig::FormatParametre),
    S("PortMail", &TConfig::PortMail),
    I("Modefonctionnement", &TConfig::Modefonctionnement),
    B("DNSAuto", &TConfig::DNSAuto),
    S("AdresseDNS", &TConfig::AdresseDNS),
    I("NbSocket", &TConfig::NbSocket),
    I("DureeStockage", &TConfig::DureeStockage),
    I("TimeOutRecherche", &TConfig::TimeOutRecherche),
    I("NbTentativeRecherche", &TConfig::NbTentativeRecherche),
    B("AnimerIcone", &TConfig::AnimerIcone),
    B("SupprimerSpam", &TConfig::SupprimerSpam),
    B("EnleveHTML", &TConfig::EnleveHTML),
    Q("SujetSupprime", &TConfig::SujetSupprime),
    B("ReemettreSpam", &TConfig::ReemettreSpam),
    I("PourcentageSpam2", &TConfig::PourcentageSpam2),
    I("PourcentageSpam", &TConfig::PourcentageSpam),
    I("ModeBayes", &TConfig::ModeBayes),
    B("BeepTimeOut", &TConfig::BeepTimeOut),
    I("CptResume", &TConfig::CptResume),
    S("DerniereVersion", &TConfig::DerniereVersion),
    I("NumLocal", &TConfig::NumLocal),
    B("LookXP", &TConfig::LookXP),
    B("ReduireKelvarin", &TConfig::ReduireKelvarin),
    B("PatienterVisible", &TConfig::PatienterVisible),
};

// A value that the reading would strip of its own enclosing quotes gets one
// more pair, so that it reads back as it was written.
QByteArray guillemets(QByteArrayView v) {
    const QByteArray valeur = v.toByteArray();
    if (EnleverGuillemets(v) != v) return "\"\"" + valeur + "\"\"";
    return '"' + valeur + '"';
}

// Between quotes when a reader would change the value (quotes at its ends
// removed, blanks at its ends trimmed).
QByteArray sansPerte(QByteArrayView v) {
    if (!TStockageConfig::RelueTelleQuelle(v)) return '"' + v.toByteArray() + '"';
    return v.toByteArray();
}

QByteArray pop3SiVide(QByteArray v) {
    return v.isEmpty() ? QByteArrayLiteral("pop3") : v;
}

// 0, 1 or 2; anything else is the default.
int securiteValide(int v) {
    return v >= 0 && v <= 2 ? v : 0;
}

// 0 the mean, 1 chi-square; anything else is the mean.
int calculValide(int v) {
    return v == 1 ? 1 : 0;
}

} // namespace

const QList<QByteArray>& ClesInit() {
    static const QList<QByteArray> cles = [] {
        QList<QByteArray> r;
        for (const TCle& k : kTable)
            r.append(QByteArray(k.nom));
        r.append(QByteArrayLiteral("Mode2"));
        r.append(QByteArrayLiteral("VersionInterne"));
        return r;
    }();
    return cles;
}

bool EstCleEntreGuillemets(QByteArrayView cle) {
    for (const TCle& k : kTable) {
        if (k.genre == TGenre::Guillemets && cle == QByteArrayView(k.nom)) return true;
    }
    return false;
}

QByteArray EnleverGuillemets(QByteArrayView v) {
    if (v.size() >= 3 && v.front() == '"' && v.back() == '"') {
        return v.sliced(1, v.size() - 2).toByteArray();
    }
    return v.toByteArray();
}

void LireConfig(TStockageConfig& ini, TConfig& c) {
    // These three are read with a fixed default, not the value in memory.
    c.AdresseDNS.clear();
    c.DerniereVersion.clear();
    c.NumLocal = 0;
    ini.DefinirSection(kInit);
    for (const TCle& k : kTable) {
        switch (k.genre) {
        case TGenre::Bool:
            c.*k.b = ini.LireBool(k.nom, c.*k.b);
            break;
        case TGenre::Entier:
            c.*k.i = ini.LireEntier(k.nom, c.*k.i);
            break;
        case TGenre::Chaine:
            c.*k.s = ini.LireChaine(k.nom, c.*k.s);
            break;
        case TGenre::Guillemets:
            c.*k.s = EnleverGuillemets(ini.LireChaine(k.nom, c.*k.s));
            break;
        }
    }
    c.SecuriteAmont = securiteValide(ini.LireEntier("SecuriteAmont", c.SecuriteAmont));
    c.CertificatsAmont = ini.LireChaine("CertificatsAmont", c.CertificatsAmont).trimmed();
    c.CalculBayes = calculValide(ini.LireEntier("CalculBayes", c.CalculBayes));
    ini.DefinirSection({});
    c.PortEcoute = pop3SiVide(c.PortEcoute);
    c.PortMail = pop3SiVide(c.PortMail);
}

void EcrireConfig(TStockageConfig& ini, const TConfig& c) {
    TStockageConfig::TLot lot(ini);
    ini.DefinirSection(kInit);
    for (const TCle& k : kTable) {
        switch (k.genre) {
        case TGenre::Bool:
            ini.EcrireBool(k.nom, c.*k.b);
            break;
        case TGenre::Entier:
            ini.EcrireEntier(k.nom, c.*k.i);
            break;
        case TGenre::Chaine:
            ini.EcrireChaine(k.nom, sansPerte(c.*k.s));
            break;
        case TGenre::Guillemets:
            ini.EcrireChaine(k.nom, guillemets(c.*k.s));
            break;
        }
    }
    ini.EcrireBool("Mode2", false);
    ini.EcrireEntier("VersionInterne", 2);
    ini.EcrireEntier("SecuriteAmont", c.SecuriteAmont);
    ini.EcrireChaine("CertificatsAmont", sansPerte(c.CertificatsAmont));
    ini.EcrireEntier("CalculBayes", c.CalculBayes);
    ini.DefinirSection({});
}

void LireAutresCles(TStockageConfig& ini, TConfig& c) {
    ini.DefinirSection(kInit);
    c.CoderMDP = ini.LireBool("CoderMDP", c.CoderMDP);
    c.FreeSocket = ini.LireBool("FreeSocket", c.FreeSocket);
    c.TraductionInterface = ini.LireBool("TraductionInterface", c.TraductionInterface);
    c.LanguageDefaut = ini.LireBool("LanguageDefaut", c.LanguageDefaut);
    c.LanguageForce = ini.LireChaine("LanguageForce", c.LanguageForce);
    c.NumeroCompteMini = ini.LireEntier("NumeroCompteMini", c.NumeroCompteMini);
    c.NumeroDNSMini = ini.LireEntier("NumeroDNSMini", c.NumeroDNSMini);
    c.AdresseEcoute = ini.LireChaine("AdresseEcoute", c.AdresseEcoute).trimmed();
    if (c.AdresseEcoute.isEmpty()) c.AdresseEcoute = QByteArrayLiteral("127.0.0.1");
    c.VersionInterne = ini.LireEntier("VersionInterne", 2);
    ini.DefinirSection(kAffichage);
    c.NbJour = ini.LireChaine("NbJour", c.NbJour);
    c.NbHeure = ini.LireChaine("NbHeure", c.NbHeure);
    c.Affichage = ini.LireEntier("Affichage", c.Affichage);
    c.AfficherDNSBL = ini.LireBool("AfficherDNSBL", c.AfficherDNSBL);
    ini.DefinirSection(kRacine);
    c.AideActive2 = ini.LireEntier("AideActive2", c.AideActive2);
    ini.DefinirSection({});
}

void SauverConfig(TStockageConfig& ini, const TConfig& c, int numeroCompteMini, int numeroDNSMini) {
    TStockageConfig::TLot lot(ini);
    EcrireConfig(ini, c);
    ini.DefinirSection(kAffichage);
    ini.EcrireChaine("NbJour", sansPerte(c.NbJour));
    ini.EcrireChaine("NbHeure", sansPerte(c.NbHeure));
    ini.EcrireEntier("Affichage", c.Affichage);
    ini.EcrireBool("AfficherDNSBL", c.AfficherDNSBL);
    ini.DefinirSection(kInit);
    ini.EcrireEntier("NumeroCompteMini", numeroCompteMini);
    ini.EcrireEntier("NumeroDNSMini", numeroDNSMini);
    ini.DefinirSection({});
}

QByteArray AdresseDNSEffective(const TConfig& c, const std::function<QByteArray()>& dnsMachine) {
    if ((c.DNSAuto || c.AdresseDNS.isEmpty()) && dnsMachine) return dnsMachine();
    return c.AdresseDNS;
}

TSaisieOptions SaisieDepuisConfig(const TConfig& c) {
    TSaisieOptions s;
    s.ModifSujet = c.ModifSujet;
    s.DebutSujet = cp1252::versUnicode(c.DebutSujet);
    s.FinSujet = cp1252::versUnicode(c.FinSujet);
    s.DebutSujetBaye = cp1252::versUnicode(c.DebutSujetBaye);
    s.FinSujetBaye = cp1252::versUnicode(c.FinSujetBaye);
    s.DebutSujetIP = cp1252::versUnicode(c.DebutSujetIP);
    s.FinSujetIP = cp1252::versUnicode(c.FinSujetIP);
    s.AjoutInfoBayesien = c.AjoutInfoBayesien;
    s.PortMail = cp1252::versUnicode(c.PortMail);
    s.DNSAuto = c.DNSAuto;
    s.AdresseDNS = cp1252::versUnicode(c.AdresseDNS);
    s.NbSocket = QString::number(c.NbSocket);
    s.DureeStockage = QString::number(c.DureeStockage);
    s.NbTentativeRecherche = QString::number(c.NbTentativeRecherche);
    s.TimeOutRecherche = QString::number(c.TimeOutRecherche);
    s.AnimerIcone = c.AnimerIcone;
    s.SupprimerSpam = c.SupprimerSpam;
    s.EnleveHTML = c.EnleveHTML;
    s.SujetSupprime = cp1252::versUnicode(c.SujetSupprime);
    s.ReemettreSpam = c.ReemettreSpam;
    s.SpamSiPasSujetFrom = c.SpamSiPasSujetFrom;
    s.FormatParametre = c.FormatParametre;
    s.PortEcoute = cp1252::versUnicode(c.PortEcoute);
    s.PourcentageSpam2 = QString::number(c.PourcentageSpam2);
    s.PourcentageSpam = QString::number(c.PourcentageSpam);
    s.BeepTimeOut = c.BeepTimeOut;
    s.PatienterVisible = c.PatienterVisible;
    s.LookXP = c.LookXP;
    s.ReduireKelvarin = c.ReduireKelvarin;
    s.SecuriteAmont = c.SecuriteAmont;
    return s;
}

int EntierSaisi(const QString& texte, int plancher) {
    bool ok = false;
    int v = texte.trimmed().toInt(&ok, 10);
    if (!ok) v = 0;
    return v < plancher ? plancher : v;
}

TResultatAppliquer AppliquerSaisie(const TSaisieOptions& s, TConfig& c,
                                   const std::function<QByteArray()>& dnsMachine) {
    TResultatAppliquer r;
    c.ModifSujet = s.ModifSujet;
    c.DebutSujet = cp1252::depuisUnicode(s.DebutSujet);
    c.FinSujet = cp1252::depuisUnicode(s.FinSujet);
    c.DebutSujetBaye = cp1252::depuisUnicode(s.DebutSujetBaye);
    c.FinSujetBaye = cp1252::depuisUnicode(s.FinSujetBaye);
    c.DebutSujetIP = cp1252::depuisUnicode(s.DebutSujetIP);
    c.FinSujetIP = cp1252::depuisUnicode(s.FinSujetIP);
    c.AjoutInfoBayesien = s.AjoutInfoBayesien;

    c.PortMail = pop3SiVide(cp1252::depuisUnicode(s.PortMail));

    c.DNSAuto = s.DNSAuto;
    if (c.DNSAuto) {
        c.AdresseDNS = dnsMachine ? dnsMachine() : QByteArray();
    } else {
        c.AdresseDNS = cp1252::depuisUnicode(s.AdresseDNS);
    }

    c.NbSocket = EntierSaisi(s.NbSocket, 20);
    c.DureeStockage = EntierSaisi(s.DureeStockage, 1);
    c.NbTentativeRecherche = EntierSaisi(s.NbTentativeRecherche, 1);
    c.TimeOutRecherche = EntierSaisi(s.TimeOutRecherche, 1000);

    c.AnimerIcone = s.AnimerIcone;
    c.SupprimerSpam = s.SupprimerSpam;
    c.EnleveHTML = s.EnleveHTML;
    c.SujetSupprime = cp1252::depuisUnicode(s.SujetSupprime);
    c.ReemettreSpam = s.ReemettreSpam;
    c.SpamSiPasSujetFrom = s.SpamSiPasSujetFrom;
    c.FormatParametre = s.FormatParametre;

    // The raw text is compared, so " 110 " against "110" counts as a change.
    const QByteArray port = cp1252::depuisUnicode(s.PortEcoute);
    if (port != c.PortEcoute) {
        c.PortEcoute = pop3SiVide(port.trimmed());
        r.PortEcouteChange = true;
    }

    c.PourcentageSpam2 = EntierSaisi(s.PourcentageSpam2, 5);
    c.PourcentageSpam = EntierSaisi(s.PourcentageSpam, 5);

    c.BeepTimeOut = s.BeepTimeOut;
    c.PatienterVisible = s.PatienterVisible;
    r.LookXPChange = s.LookXP != c.LookXP;
    c.LookXP = s.LookXP;
    c.ReduireKelvarin = s.ReduireKelvarin;
    c.SecuriteAmont = securiteValide(s.SecuriteAmont);
    return r;
}
