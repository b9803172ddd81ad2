#include "bayes/mon_bayes_db.h"

#include "bayes/bayes_doc.h"
#include "core/cp1252.h"
#include "core/record_fields.h"
#include "core/safe_save.h"
#include "core/trace.h"

#include <QDir>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <tuple>

namespace bayes {

size_t qHash(const TCleMot& cle, size_t graine) noexcept {
    // FNV-1a over the bytes with a-z folded, so equal tokens in token order hash alike.
    uint64_t h = 1469598103934665603ull ^ graine;
    for (char ch : cle.mot) {
        unsigned c = static_cast<unsigned char>(ch);
        if (c >= 'a' && c <= 'z') c -= 0x20;
        h ^= c;
        h *= 1099511628211ull;
    }
    return static_cast<size_t>(h ^ (h >> 29));
}

int32_t compteSelonMode(const TCompteMot& c, int mode, bool sansTexte) {
    switch (mode & 0x7F) {
    case 0:
    case 6:
        return ajouterSature(c.Texte, c.Html);
    case 1:
    case 7:
        return c.Texte;
    case 2:
    case 8:
        return sansTexte ? c.Html : c.Texte;
    case 3:
    case 9:
        return ajouterSature(ajouterSature(c.EnTete, c.Texte), c.Html);
    case 4:
    case 10:
        return ajouterSature(c.EnTete, c.Texte);
    case 5:
    case 11:
        return ajouterSature(c.EnTete, sansTexte ? c.Html : c.Texte);
    default:
        return 0;
    }
}

QByteArray TListeIgnoree::Texte() const {
    return m_lignes.join("\r\n");
}

void TListeIgnoree::setTexte(QByteArrayView texte) {
    Vider();
    for (QByteArrayView ligne : texte.toByteArray().split('\n')) {
        if (ligne.endsWith('\r')) ligne.chop(1);
        if (ligne.isEmpty()) continue;
        m_lignes.append(ligne.toByteArray());
        m_minuscules.insert(cp1252::minuscules(ligne));
    }
}

bool TListeIgnoree::Contient(QByteArrayView mot) const {
    return !m_minuscules.isEmpty() && m_minuscules.contains(cp1252::minuscules(mot));
}

void TListeIgnoree::Trier() {
    std::stable_sort(m_lignes.begin(), m_lignes.end(),
                     [](const QByteArray& a, const QByteArray& b) {
                         return cp1252::minuscules(a) < cp1252::minuscules(b);
                     });
}

void TListeIgnoree::Vider() {
    m_lignes.clear();
    m_minuscules.clear();
}

} // namespace bayes

namespace {

int chiffres(int32_t v) {
    uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    int n = v < 0 ? 2 : 1;
    while (u >= 10) {
        u /= 10;
        ++n;
    }
    return n;
}

char* ecrireNombre(char* p, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    if (v < 0) {
        *p++ = '-';
        u = 0u - u;
    }
    char tmp[12];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    while (n)
        *p++ = tmp[--n];
    return p;
}

} // namespace

TMonBayesDB::TMonBayesDB(const QString& fileSpec, const QString& repertoire, bool charger)
    : FileSpec(fileSpec), Repertoire(repertoire) {
    if (fileSpec.isEmpty()) throw std::invalid_argument("BayesDB (Create): FileSpec is blank");
    Modifie = false;
    if (!charger) return;
    Charger();
    ChargerListesIgnorees();
}

TMonBayesDB::~TMonBayesDB() {
    if (!Temporaire && Modifie) {
        QString erreur;
        if (!Sauver(&erreur)) Trace(QStringLiteral("BayesDB : ") + erreur);
    }
}

void TMonBayesDB::Vider() {
    m_stock.Vider();
    std::vector<uint32_t>().swap(m_ordre);
    m_ordreExplicite = false;
    m_nbTries = 0;
    m_doublons = false;
    m_negatifs = false;
    Modifie = false;
    SommeSpam = SommeBon = ProbaSpam = ProbaBon = 0;
    NbSpamAppris = NbBonAppris = 0;
}

void TMonBayesDB::Echanger(TMonBayesDB& autre) noexcept {
    using std::swap;
    m_stock.echanger(autre.m_stock);
    swap(m_ordre, autre.m_ordre);
    swap(m_ordreExplicite, autre.m_ordreExplicite);
    swap(m_nbTries, autre.m_nbTries);
    swap(m_doublons, autre.m_doublons);
    swap(m_negatifs, autre.m_negatifs);
    swap(m_fichier, autre.m_fichier);
    swap(NbSpamAppris, autre.NbSpamAppris);
    swap(NbBonAppris, autre.NbBonAppris);
    swap(Modifie, autre.Modifie);
    swap(SommeSpam, autre.SommeSpam);
    swap(SommeBon, autre.SommeBon);
    swap(ProbaSpam, autre.ProbaSpam);
    swap(ProbaBon, autre.ProbaBon);
}

void TMonBayesDB::ordreExplicite() {
    if (m_ordreExplicite) return;
    m_ordre.resize(m_stock.Taille());
    for (uint32_t i = 0; i < m_stock.Taille(); ++i)
        m_ordre[i] = i;
    m_ordreExplicite = true;
}

void TMonBayesDB::Ordonner() {
    const size_t nb = static_cast<size_t>(NbMots());
    if (m_nbTries >= nb) return;
    // Learned tokens were appended: sort them and merge them into the sorted head.
    ordreExplicite();
    const auto avant = [this](uint32_t a, uint32_t b) {
        return bayes::comparerMots(m_stock[a].Mot, m_stock[b].Mot) < 0;
    };
    const auto milieu = m_ordre.begin() + static_cast<std::ptrdiff_t>(m_nbTries);
    std::stable_sort(milieu, m_ordre.end(), avant);
    std::inplace_merge(m_ordre.begin(), milieu, m_ordre.end(), avant);
    m_nbTries = m_ordre.size();
}

void TMonBayesDB::reconstruireIndex() {
    m_stock.ViderIndex();
    const size_t nb = static_cast<size_t>(NbMots());
    m_stock.ReserverIndex(nb);
    m_doublons = false;
    for (size_t i = 0; i < nb; ++i) {
        // The first in order keeps the key.
        if (!m_stock.Indexer(numero(i))) m_doublons = true;
    }
}

TUnElement* TMonBayesDB::ajouterElement(QByteArrayView mot, const TCompteMot& spam,
                                        const TCompteMot& bon) {
    const uint32_t i = m_stock.Ajouter(mot, spam, bon);
    if (m_ordreExplicite) m_ordre.push_back(i);
    if (!m_stock.Indexer(i)) m_doublons = true;
    return &m_stock[i];
}

int32_t TMonBayesDB::Inserer(std::unique_ptr<TUnElement> element) {
    if (TUnElement* existant = Trouver(element->Mot)) {
        Ordonner();
        const size_t nb = static_cast<size_t>(NbMots());
        for (size_t i = 0; i < nb; ++i)
            if (&m_stock[numero(i)] == existant) return static_cast<int32_t>(i);
    }
    ajouterElement(element->Mot, element->CoteSpam, element->CoteBon);
    return NbMots() - 1;
}

bool TMonBayesDB::Chercher(QByteArrayView mot, int32_t& indice) {
    Ordonner();
    const size_t nb = static_cast<size_t>(NbMots());
    size_t bas = 0, haut = nb;
    while (bas < haut) {
        const size_t m = bas + (haut - bas) / 2;
        if (bayes::comparerMots(m_stock[numero(m)].Mot, mot) < 0)
            bas = m + 1;
        else
            haut = m;
    }
    indice = static_cast<int32_t>(bas);
    return bas < nb && bayes::comparerMots(m_stock[numero(bas)].Mot, mot) == 0;
}

TUnElement* TMonBayesDB::Trouver(QByteArrayView mot) {
    const int64_t i = m_stock.Chercher(mot);
    return i < 0 ? nullptr : &m_stock[static_cast<uint32_t>(i)];
}

bool TMonBayesDB::Charger(QString* erreur) {
    Vider();
    Modifie = false;
    QByteArray contenu;
    QString raison;
    // Keep an unreadable file as it is: a later save must not replace it with less.
    const auto etat = m_fichier.Lire(FileSpec, contenu, &raison);
    if (etat == sauvegarde::TEtatLecture::Absent) return true;
    if (etat == sauvegarde::TEtatLecture::Illisible) {
        if (erreur) *erreur = raison;
        return false;
    }

    const char* d = contenu.constData();
    const qsizetype n = contenu.size();
    // Hashes taken while the token is at hand; the index is built once the
    // number of tokens is known, fetching its slots ahead.
    std::vector<uint64_t> hachages;
    hachages.reserve(static_cast<size_t>(n / 24) + 16);

    bool premiere = true;
    bool enOrdre = true;
    const TUnElement* precedent = nullptr;
    // Next CR and LF, each found with one vectorised search per line end.
    const char* const fin = d + n;
    const char* cr = nullptr;
    const char* lf = nullptr;
    const char* p = d;
    while (p < fin || premiere) {
        if (cr < p) cr = static_cast<const char*>(std::memchr(p, '\r', size_t(fin - p)));
        if (!cr) cr = fin;
        if (lf < p) lf = static_cast<const char*>(std::memchr(p, '\n', size_t(fin - p)));
        if (!lf) lf = fin;
        const char* finLigne = std::min(cr, lf);
        const QByteArrayView ligne(p, finLigne - p);
        // CR LF is one line end; CR or LF alone is accepted too.
        p = finLigne;
        if (p < fin) p += (*p == '\r' && p + 1 < fin && p[1] == '\n') ? 2 : 1;
        champs::TLecteurChamps r(ligne);
        if (premiere) {
            premiere = false;
            r.lireBrut();
            NbSpamAppris = r.lireEntier();
            NbBonAppris = r.lireEntier();
            if (finLigne >= fin) break;
            continue;
        }
        const QByteArrayView mot = r.lireBrut();
        TCompteMot spam, bon;
        spam.Total = r.lireEntier();
        bon.Total = r.lireEntier();
        if (spam.Total == 0 && bon.Total == 0) continue;
        spam.EnTete = r.lireEntier();
        spam.Texte = r.lireEntier();
        spam.Html = r.lireEntier();
        bon.EnTete = r.lireEntier();
        bon.Texte = r.lireEntier();
        bon.Html = r.lireEntier();
        if (spam.Total < 0) m_negatifs = true;
        hachages.push_back(bayes::hacherMot(mot));
        const uint32_t i = m_stock.Ajouter(mot, spam, bon);
        const TUnElement& e = m_stock[i];
        // A file this program wrote is in order: checked while the previous token is at hand.
        if (enOrdre && precedent && bayes::comparerMots(e.Mot, precedent->Mot) < 0) enOrdre = false;
        precedent = &e;
    }
    // The first in the file keeps the key: after a stable sort, the first in order.
    const size_t nb = hachages.size();
    // Room for the tokens learned after the load, so the first of them does not
    // rehash the whole table.
    m_stock.ReserverIndex(nb + nb / 8 + 64);
    constexpr size_t kAvance = 8;
    for (size_t i = 0; i < nb; ++i) {
        if (i + kAvance < nb) m_stock.Prevoir(hachages[i + kAvance]);
        if (!m_stock.Indexer(static_cast<uint32_t>(i), hachages[i])) m_doublons = true;
    }
    std::vector<uint64_t>().swap(hachages);
    if (!enOrdre) {
        ordreExplicite();
        std::stable_sort(m_ordre.begin(), m_ordre.end(), [this](uint32_t a, uint32_t b) {
            return bayes::comparerMots(m_stock[a].Mot, m_stock[b].Mot) < 0;
        });
    }
    m_nbTries = static_cast<size_t>(NbMots());
    return true;
}

bool TMonBayesDB::Sauver(QString* erreur) {
    if (Temporaire || NbMots() == 0 || !Modifie) return true;
    // Refused, and traced, before anything is built.
    if (m_fichier.Protege()) return m_fichier.SauverAvec(FileSpec, {}, erreur);
    Ordonner();
    // One buffer sized beforehand from the tokens and the numbers.
    qsizetype taille = 1 + 1 + chiffres(NbSpamAppris) + 1 + chiffres(NbBonAppris) + 2;
    const size_t nb = static_cast<size_t>(NbMots());
    constexpr size_t kAvance = 16; // an explicit order jumps around the chunks: fetch ahead
    for (size_t i = 0; i < nb; ++i) {
        if (m_ordreExplicite && i + kAvance < nb)
            __builtin_prefetch(&m_stock[m_ordre[i + kAvance]]);
        const TUnElement& e = m_stock[numero(i)];
        const TCompteMot& s = e.CoteSpam;
        const TCompteMot& b = e.CoteBon;
        taille += e.Mot.size() + 8 + 2 + chiffres(s.Total) + chiffres(b.Total) +
                  chiffres(s.EnTete) + chiffres(s.Texte) + chiffres(s.Html) + chiffres(b.EnTete) +
                  chiffres(b.Texte) + chiffres(b.Html);
    }
    QByteArray tampon(taille, Qt::Uninitialized);
    char* p = tampon.data();
    *p++ = '*';
    *p++ = '\t';
    p = ecrireNombre(p, NbSpamAppris);
    *p++ = '\t';
    p = ecrireNombre(p, NbBonAppris);
    *p++ = '\r';
    *p++ = '\n';
    for (size_t i = 0; i < nb; ++i) {
        if (m_ordreExplicite && i + kAvance < nb) {
            __builtin_prefetch(&m_stock[m_ordre[i + kAvance]]);
            __builtin_prefetch(m_stock[m_ordre[i + kAvance / 2]].Mot.constData());
        }
        const TUnElement& e = m_stock[numero(i)];
        const TCompteMot& s = e.CoteSpam;
        const TCompteMot& b = e.CoteBon;
        std::memcpy(p, e.Mot.constData(), static_cast<size_t>(e.Mot.size()));
        p += e.Mot.size();
        for (int32_t v : {s.Total, b.Total, s.EnTete, s.Texte, s.Html, b.EnTete, b.Texte, b.Html}) {
            *p++ = '\t';
            p = ecrireNombre(p, v);
        }
        *p++ = '\r';
        *p++ = '\n';
    }
    tampon.truncate(p - tampon.constData());
    QString raison;
    const auto ecrire = [this, &tampon](QIODevice& d) {
        if (EcrireFichier) return EcrireFichier(d, tampon);
        return d.write(tampon) == tampon.size();
    };
    if (!m_fichier.SauverAvec(FileSpec, ecrire, &raison)) {
        if (erreur) *erreur = raison;
        return false;
    }
    Modifie = false;
    return true;
}

void TMonBayesDB::Fusionner(TMonBayesDB& autre) {
    if (autre.NbMots() == 0) return;
    Modifie = true;
    autre.Ordonner();
    const size_t nbAutre = static_cast<size_t>(autre.NbMots());
    if (NbMots() == 0) {
        // Copied in the other's order: the storage order is token order.
        m_stock.Vider(); // removed elements only
        std::vector<uint32_t>().swap(m_ordre);
        m_ordreExplicite = false;
        for (size_t j = 0; j < nbAutre; ++j) {
            const TUnElement& o = autre.m_stock[autre.numero(j)];
            m_stock.Ajouter(o.Mot, o.CoteSpam, o.CoteBon);
        }
        m_negatifs = m_negatifs || autre.m_negatifs;
        reconstruireIndex();
    } else {
        Ordonner();
        const size_t nb = static_cast<size_t>(NbMots());
        std::vector<uint32_t> liste;
        liste.reserve(nb + nbAutre);
        std::vector<uint32_t> nouveaux;
        size_t i = 0, j = 0;
        while (i < nb || j < nbAutre) {
            int c;
            if (i >= nb)
                c = 1;
            else if (j >= nbAutre)
                c = -1;
            else
                c = bayes::comparerMots(m_stock[numero(i)].Mot, autre.m_stock[autre.numero(j)].Mot);
            if (c < 0) {
                liste.push_back(numero(i++));
            } else if (c > 0) {
                const TUnElement& o = autre.m_stock[autre.numero(j++)];
                const uint32_t k = m_stock.Ajouter(o.Mot, o.CoteSpam, o.CoteBon);
                liste.push_back(k);
                nouveaux.push_back(k);
            } else {
                TUnElement& e = m_stock[numero(i)];
                const TUnElement& o = autre.m_stock[autre.numero(j++)];
                for (auto [a, b] :
                     {std::pair{&e.CoteSpam, &o.CoteSpam}, std::pair{&e.CoteBon, &o.CoteBon}}) {
                    a->Total = bayes::ajouterSature(a->Total, b->Total);
                    a->EnTete = bayes::ajouterSature(a->EnTete, b->EnTete);
                    a->Texte = bayes::ajouterSature(a->Texte, b->Texte);
                    a->Html = bayes::ajouterSature(a->Html, b->Html);
                }
                if (e.CoteSpam.Total < 0) m_negatifs = true;
                liste.push_back(numero(i++));
            }
        }
        m_ordre = std::move(liste);
        m_ordreExplicite = true;
        // Only the new tokens need indexing, unless a key could belong to an
        // element earlier in order than the one that holds it.
        bool collision = false;
        for (uint32_t k : nouveaux)
            if (!m_stock.Indexer(k)) collision = true;
        if (collision || m_doublons) reconstruireIndex();
    }
    NbSpamAppris = bayes::ajouterSature(NbSpamAppris, autre.NbSpamAppris);
    NbBonAppris = bayes::ajouterSature(NbBonAppris, autre.NbBonAppris);
    // Both lists were in token order, so the merged (or copied) list is too.
    m_nbTries = static_cast<size_t>(NbMots());
}

int32_t TMonBayesDB::CompteSpam(QByteArrayView mot, int mode) {
    const TUnElement* e = Trouver(mot);
    return e ? bayes::compteSelonMode(e->CoteSpam, mode, SansTexte) : 0;
}

int32_t TMonBayesDB::CompteBon(QByteArrayView mot, int mode) {
    const TUnElement* e = Trouver(mot);
    return e ? bayes::compteSelonMode(e->CoteBon, mode, SansTexte) : 0;
}

double TMonBayesDB::Probabilite(QByteArrayView mot, int mode) {
    return ProbabiliteElement(Trouver(mot), mode);
}

double TMonBayesDB::ProbabiliteElement(const TUnElement* e, int mode) const {
    if (NbSpamAppris <= 0 || !e) return 0;
    const double s = bayes::compteSelonMode(e->CoteSpam, mode, SansTexte);
    const double g = bayes::compteSelonMode(e->CoteBon, mode, SansTexte);
    return s + g > 0 ? s / (s + g) : 0;
}

void TMonBayesDB::Apprendre(TBayesDoc& doc, bool estSpam) {
    appliquer(doc, estSpam, +1);
}

void TMonBayesDB::Desapprendre(TBayesDoc& doc, bool estSpam) {
    appliquer(doc, estSpam, -1);
}

void TMonBayesDB::appliquer(TBayesDoc& doc, bool estSpam, int delta) {
    // Learned into an empty stand-in, the message could never be saved, and the
    // base would never be dropped to be read again: it waits for a good load.
    if (m_fichier.Protege()) {
        Trace(QStringLiteral("BayesDB : ") + FileSpec +
              QStringLiteral(" illisible, message non appris"));
        return;
    }
    Modifie = true;
    for (const auto& d : doc.Elements()) {
        const TCompteMot& occ = d->CoteSpam;
        if (TUnElement* e = Trouver(d->Mot)) {
            TCompteMot& cote = estSpam ? e->CoteSpam : e->CoteBon;
            cote.Total = bayes::ajouterSature(cote.Total, delta);
            if (e->CoteSpam.Total <= 0 && e->CoteBon.Total <= 0) {
                e->CoteSpam.Total = e->CoteBon.Total = -10000;
            } else {
                if (occ.EnTete > 0) cote.EnTete = bayes::ajouterSature(cote.EnTete, delta);
                if (occ.Texte > 0) cote.Texte = bayes::ajouterSature(cote.Texte, delta);
                if (occ.Html > 0) cote.Html = bayes::ajouterSature(cote.Html, delta);
            }
            if (e->CoteSpam.Total < 0) m_negatifs = true;
        } else if (delta > 0) {
            TCompteMot cote, autreCote;
            cote.Total = 1;
            cote.EnTete = occ.EnTete > 0 ? 1 : 0;
            cote.Texte = occ.Texte > 0 ? 1 : 0;
            cote.Html = occ.Html > 0 ? 1 : 0;
            ajouterElement(d->Mot, estSpam ? cote : autreCote, estSpam ? autreCote : cote);
        }
    }
    if (m_negatifs) retirerNegatifs();
    int32_t& nb = estSpam ? NbSpamAppris : NbBonAppris;
    nb = bayes::ajouterSature(nb, delta);
    if (delta < 0) {
        NbSpamAppris = std::max(NbSpamAppris, 0);
        NbBonAppris = std::max(NbBonAppris, 0);
    }
}

void TMonBayesDB::retirerNegatifs() {
    m_negatifs = false;
    Ordonner();
    const size_t nb = static_cast<size_t>(NbMots());
    size_t i = 0;
    while (i < nb && m_stock[numero(i)].CoteSpam.Total >= 0)
        ++i;
    if (i == nb) return;
    // The removed elements stay in their chunk, out of the order and the index,
    // until the base is emptied: the others keep their address.
    ordreExplicite();
    size_t garde = i;
    for (; i < nb; ++i) {
        const uint32_t k = m_ordre[i];
        if (m_stock[k].CoteSpam.Total < 0)
            m_stock.Desindexer(k);
        else
            m_ordre[garde++] = k;
    }
    m_ordre.resize(garde);
    m_nbTries = m_ordre.size();
    if (m_doublons) reconstruireIndex();
}

bool TMonBayesDB::SauverListesIgnorees(QString* erreur) {
    const QDir rep(Repertoire);
    bool ok = true;
    for (auto [liste, fichier, nom] :
         {std::tuple{&m_motsIgnores, &m_fichierMotsIgnores, NomMotsIgnores()},
          std::tuple{&m_entetesIgnorees, &m_fichierEntetesIgnorees, NomEntetesIgnorees()}}) {
        QByteArray contenu;
        for (const QByteArray& l : liste->Lignes())
            contenu += l + "\r\n";
        QString raison;
        if (!fichier->Sauver(rep.filePath(nom), contenu, &raison)) {
            ok = false;
            if (!fichier->Protege())
                Trace(QStringLiteral("BayesDB : ") + rep.filePath(nom) + QStringLiteral(" : ") +
                      raison);
            if (erreur) *erreur = raison;
        }
        liste->Trier();
    }
    return ok;
}

void TMonBayesDB::ChargerListesIgnorees() {
    const QDir rep(Repertoire);
    for (auto [liste, fichier, nom] :
         {std::tuple{&m_motsIgnores, &m_fichierMotsIgnores, NomMotsIgnores()},
          std::tuple{&m_entetesIgnorees, &m_fichierEntetesIgnorees, NomEntetesIgnorees()}}) {
        QByteArray contenu;
        fichier->Lire(rep.filePath(nom), contenu); // an unreadable list is traced and kept
        liste->setTexte(contenu);
        liste->Trier();
    }
}
