#include "spamsearch/table_serveurs.h"

#include "core/record_fields.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace {

constexpr int kVersionFichier = 1;

// Names are compared and sorted without regard to ASCII case only: accented
// letters keep their case, as the table always had them. Bytes unsigned, a
// prefix first; nothing is copied (the table is sorted at every addition).
int comparerAscii(QByteArrayView a, QByteArrayView b) {
    const auto bas = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'A' && u <= 'Z' ? u + 32u : unsigned(u);
    };
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned ca = bas(a[i]), cb = bas(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

QList<QByteArray> codesDe(std::initializer_list<const char*> codes) {
    QList<QByteArray> l;
    for (const char* c : codes)
        l.append(QByteArray(c));
    return l;
}

} // namespace

PUnDNS TTableServeurs::Serveur(int index) const {
    if (index < 0 || size_t(index) >= m_serveurs.size()) return nullptr;
    return m_serveurs[size_t(index)].get();
}

PUnDNS TTableServeurs::TrouverNom(QByteArrayView nom) const {
    for (const auto& s : m_serveurs)
        if (comparerAscii(s->Nom, nom) == 0) return s.get();
    return nullptr;
}

PUnDNS TTableServeurs::TrouverNumero(qint32 numero) const {
    for (const auto& s : m_serveurs)
        if (s->Numero == numero) return s.get();
    return nullptr;
}

qint32 TTableServeurs::PlusGrandNumero() const {
    qint32 n = 0;
    for (const auto& s : m_serveurs)
        n = qMax(n, s->Numero);
    return n;
}

qint32 TTableServeurs::NumeroSuivant() {
    const qint64 plusGrand = PlusGrandNumero();
    qint64 n = qMax<qint64>(1, qMax<qint64>(plusGrand + 1, qint64(m_numeroMini) + 1));
    n = qMin<qint64>(n, std::numeric_limits<qint32>::max());
    m_numeroMini = qint32(n - 1);
    return qint32(n);
}

qint32 TTableServeurs::NumeroMini() const {
    // The floor stays one below the last number given; a restart must not give
    // that number again, so the highest number in use counts too.
    return qMax(m_numeroMini, PlusGrandNumero());
}

void TTableServeurs::setNumeroMini(qint32 valeur) {
    NumeroSuivant();
    if (valeur > m_numeroMini) m_numeroMini = valeur;
}

void TTableServeurs::Trier() {
    std::stable_sort(m_serveurs.begin(), m_serveurs.end(), [](const auto& a, const auto& b) {
        return comparerAscii(a->Nom, b->Nom) < 0;
    });
}

PUnDNS TTableServeurs::Ajouter(const QByteArray& nom, const QByteArray& zone,
                               const QList<QByteArray>& codes, bool actif) {
    if (TrouverNom(nom)) return nullptr;
    auto s = std::make_unique<TUnDNS>();
    s->Numero = NumeroSuivant();
    s->Nom = nom;
    s->Zone = zone;
    s->Codes = codes;
    s->Actif = actif;
    PUnDNS p = s.get();
    m_serveurs.push_back(std::move(s));
    Trier();
    return p;
}

void TTableServeurs::Retirer(PUnDNS serveur) {
    const auto it = std::find_if(m_serveurs.begin(), m_serveurs.end(),
                                 [serveur](const auto& p) { return p.get() == serveur; });
    if (it != m_serveurs.end()) m_serveurs.erase(it);
}

void TTableServeurs::Modifier(PUnDNS serveur, const QByteArray& nom, const QByteArray& zone,
                              const QList<QByteArray>& codes) {
    if (!serveur) return;
    serveur->Nom = nom;
    serveur->Zone = zone;
    serveur->Codes = codes;
    Trier();
}

QString TTableServeurs::Erreur(PUnDNS serveur, QByteArrayView nom, QByteArrayView zone) const {
    if (nom.trimmed().isEmpty() || zone.trimmed().isEmpty())
        return Res("cdns01", u"Le nom et l'adresse sont obligatoires");
    const bool memeNom = serveur && serveur->Nom == nom;
    if (!memeNom) {
        PUnDNS autre = TrouverNom(nom);
        if (autre && autre != serveur) return Res("cdns02", u"Un serveur existe déja avec ce nom");
    }
    return {};
}

void TTableServeurs::AjusterCorrection(qint32 numero, bool versPasSpam) {
    PUnDNS s = TrouverNumero(numero);
    if (!s) return;
    if (versPasSpam) {
        if (s->NbCorrection < std::numeric_limits<qint32>::max()) ++s->NbCorrection;
    } else if (s->NbCorrection > 0) {
        --s->NbCorrection;
    }
}

void TTableServeurs::RAZVitesse() {
    for (auto& s : m_serveurs) {
        s->TempsRAZ = 0;
        s->NbTestRAZ = 0;
    }
}

void TTableServeurs::RAZCompteurs() {
    for (auto& s : m_serveurs) {
        s->NbTest = s->NbSpam = s->NbFauxPositif = s->NbTimeOut = s->NbCorrection = 0;
        s->TempsRAZ = 0;
        s->NbTestRAZ = 0;
    }
}

void TTableServeurs::remplirDefaut() {
    // Zones of services that no longer exist lie under ".invalid": a zone that
    // changes hands may answer for every address and list the whole Internet.
    struct TDefaut {
        const char* nom;
        const char* zone;
        bool actif;
        QList<QByteArray> codes;
    };
    QList<QByteArray> ahbl;
    for (int i = 2; i <= 13; ++i)
        ahbl.append("127.0.0." + QByteArray::number(i));
    ahbl.append("127.0.0.127");
    QList<QByteArray> fiveTen{"127.0.0.2"};
    for (int i = 4; i <= 12; ++i)
        fiveTen.append("127.0.0." + QByteArray::number(i));
    const TDefaut defauts[] = {
        {"Spamhaus SBL+XBL", "sbl-xbl.spamhaus.org", true,
         codesDe({"127.0.0.2", "127.0.0.4", "127.0.0.5", "127.0.0.6"})},
        {"CHI-KOR", "chi-kor.invalid", true, // service closed
         codesDe({"127.0.0.156", "127.0.1.152", "127.0.1.154"})},
        {"DSBL", "list.dsbl.invalid", true, codesDe({"127.0.0.2"})},         // closed
        {"SPEWS", "spews.invalid", false, codesDe({"127.0.0.2"})},           // closed
        {"dsbu", "unconfirmed.dsbl.invalid", false, codesDe({"127.0.0.2"})}, // closed
        // Only 127.0.0.2 means listed: queries that come through a public or
        // rate-limited resolver are answered 127.255.255.x, which would
        // otherwise mark nearly every message as spam.
        {"cbl", "cbl.abuseat.org", true, codesDe({"127.0.0.2"})},
        {"ahbl", "dnsbl.ahbl.invalid", true, ahbl},                       // closed
        {"Five-Ten-SG", "blackholes.five-ten-sg.invalid", true, fiveTen}, // closed
        {"Messagelabs", "messagelabs.invalid", true, {}},                 // no public zone
        {"psbl", "psbl.surriel.com", true, codesDe({"127.0.0.2"})},
        {"drblv", "drblv.invalid", true, codesDe({"127.0.0.2"})}, // closed
    };
    for (const TDefaut& d : defauts)
        Ajouter(QByteArray(d.nom), QByteArray(d.zone), d.codes, d.actif);
}

void TTableServeurs::Charger(const QString& fichier) {
    QByteArray contenu;
    if (m_fichier.Lire(fichier, contenu) != sauvegarde::TEtatLecture::Lu) contenu.clear();
    Deserialiser(contenu);
}

void TTableServeurs::Deserialiser(QByteArrayView contenu) {
    m_serveurs.clear();
    if (!contenu.isEmpty()) {
        for (QByteArrayView ligne : fichierqdl::lignesDonnees(contenu)) {
            champs::TLecteurChamps l(ligne);
            auto s = std::make_unique<TUnDNS>();
            s->Numero = l.lireEntier();
            s->Nom = l.lireChaine();
            s->Zone = l.lireChaine();
            s->NbTest = l.lireEntier();
            s->NbSpam = l.lireEntier();
            s->NbFauxPositif = l.lireEntier();
            s->NbTimeOut = l.lireEntier();
            const int nbCodes = l.lireEntier();
            // A damaged count cannot make us read past the line.
            for (int i = 0; i < nbCodes && !l.fin(); ++i)
                s->Codes.append(l.lireChaine());
            s->NbCorrection = l.lireEntier();
            s->Actif = (l.lireEntier() % 2) == 0;
            m_serveurs.push_back(std::move(s));
        }
    }
    if (m_serveurs.empty()) remplirDefaut();
    Trier();
}

void TTableServeurs::Sauver(const QString& fichier) {
    m_fichier.SauverOuTracer(fichier, Serialiser());
}

QByteArray TTableServeurs::Serialiser() const {
    QByteArray contenu = fichierqdl::entete(kVersionFichier);
    champs::TEcrivainChamps e;
    for (const auto& s : m_serveurs) {
        e.entier(s->Numero).chaine(s->Nom).chaine(s->Zone);
        e.entier(s->NbTest).entier(s->NbSpam).entier(s->NbFauxPositif).entier(s->NbTimeOut);
        e.entier(s->Codes.size());
        for (const QByteArray& c : s->Codes)
            e.chaine(c);
        e.brut({}).entier(s->NbCorrection).entier(s->Actif ? 0 : 1);
        e.ajouterA(contenu);
    }
    return contenu;
}
