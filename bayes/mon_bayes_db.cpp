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
    m_trie = true;
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
    m_index.clear();
    TBayesBase::Vider();
    m_nbTries = 0;
    m_doublons = false;
    m_negatifs = false;
    Modifie = false;
    m_trie = true;
    SommeSpam = SommeBon = ProbaSpam = ProbaBon = 0;
    NbSpamAppris = NbBonAppris = 0;
}

void TMonBayesDB::Echanger(TMonBayesDB& autre) noexcept {
    using std::swap;
    swap(m_elements, autre.m_elements);
    swap(m_trie, autre.m_trie);
    swap(m_index, autre.m_index);
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

void TMonBayesDB::Ordonner() {
    if (!m_trie || m_nbTries >= m_elements.size()) return;
    // Learned tokens were appended: sort them and merge them into the sorted head.
    const auto milieu = m_elements.begin() + static_cast<std::ptrdiff_t>(m_nbTries);
    std::stable_sort(milieu, m_elements.end(), bayes::avantMot);
    std::inplace_merge(m_elements.begin(), milieu, m_elements.end(), bayes::avantMot);
    m_nbTries = m_elements.size();
}

void TMonBayesDB::reconstruireIndex() {
    m_index.clear();
    m_index.reserve(static_cast<qsizetype>(m_elements.size()));
    m_doublons = false;
    const size_t nb = m_elements.size();
    constexpr size_t kAvance = 16;
    for (size_t i = 0; i < nb; ++i) {
        if (i + kAvance < nb) {
            __builtin_prefetch(m_elements[i + kAvance].get());
            __builtin_prefetch(m_elements[i + kAvance / 2]->Mot.constData());
        }
        TUnElement* e = m_elements[i].get();
        const bayes::TCleMot cle{e->Mot};
        if (m_index.contains(cle))
            m_doublons = true; // the first in order keeps the key
        else
            m_index.emplace(cle, e);
    }
}

void TMonBayesDB::ajouterElement(std::unique_ptr<TUnElement> e) {
    m_index.emplace(bayes::TCleMot{e->Mot}, e.get());
    m_elements.push_back(std::move(e));
}

int32_t TMonBayesDB::Inserer(std::unique_ptr<TUnElement> element) {
    if (TUnElement* existant = Trouver(element->Mot)) {
        Ordonner();
        for (size_t i = 0; i < m_elements.size(); ++i)
            if (m_elements[i].get() == existant) return static_cast<int32_t>(i);
    }
    ajouterElement(std::move(element));
    return static_cast<int32_t>(m_elements.size() - 1);
}

TUnElement* TMonBayesDB::Trouver(QByteArrayView mot) {
    const auto it = m_index.constFind(bayes::TCleMot{mot});
    return it == m_index.cend() ? nullptr : it.value();
}

bool TMonBayesDB::Charger(QString* erreur) {
    Vider();
    Modifie = false;
    m_trie = false;
    QByteArray contenu;
    QString raison;
    // Keep an unreadable file as it is: a later save must not replace it with less.
    const auto etat = m_fichier.Lire(FileSpec, contenu, &raison);
    if (etat == sauvegarde::TEtatLecture::Absent) {
        m_trie = true;
        return true;
    }
    if (etat == sauvegarde::TEtatLecture::Illisible) {
        m_trie = true;
        if (erreur) *erreur = raison;
        return false;
    }

    const char* d = contenu.constData();
    const qsizetype n = contenu.size();
    qsizetype lignes = 1;
    for (qsizetype i = 0; i < n; ++i)
        if (d[i] == '\n' || d[i] == '\r') ++lignes;
    Reserver(static_cast<int32_t>(std::min<qsizetype>(lignes, INT32_MAX)));

    bool premiere = true;
    bool enOrdre = true;
    qsizetype debut = 0;
    while (debut < n || premiere) {
        qsizetype fin = debut;
        while (fin < n && d[fin] != '\n' && d[fin] != '\r')
            ++fin;
        const QByteArrayView ligne(d + debut, fin - debut);
        // CR LF is one line end; CR or LF alone is accepted too.
        qsizetype suivant = fin;
        if (suivant < n)
            suivant += (d[suivant] == '\r' && suivant + 1 < n && d[suivant + 1] == '\n') ? 2 : 1;
        debut = suivant;
        champs::TLecteurChamps r(ligne);
        if (premiere) {
            premiere = false;
            r.lireBrut();
            NbSpamAppris = r.lireEntier();
            NbBonAppris = r.lireEntier();
            if (fin >= n) break;
            continue;
        }
        const QByteArrayView mot = r.lireBrut();
        const int32_t totalSpam = r.lireEntier();
        const int32_t totalBon = r.lireEntier();
        if (totalSpam == 0 && totalBon == 0) continue;
        auto e = std::make_unique<TUnElement>();
        e->Mot = mot.toByteArray();
        e->CoteSpam.Total = totalSpam;
        e->CoteBon.Total = totalBon;
        e->CoteSpam.EnTete = r.lireEntier();
        e->CoteSpam.Texte = r.lireEntier();
        e->CoteSpam.Html = r.lireEntier();
        e->CoteBon.EnTete = r.lireEntier();
        e->CoteBon.Texte = r.lireEntier();
        e->CoteBon.Html = r.lireEntier();
        if (totalSpam < 0) m_negatifs = true;
        // A file this program wrote is in order: checked while the previous token is at hand.
        if (enOrdre && !m_elements.empty() &&
            bayes::comparerMots(e->Mot, m_elements.back()->Mot) < 0)
            enOrdre = false;
        m_elements.push_back(std::move(e));
    }
    if (!enOrdre) SetTrie(true);
    m_trie = true;
    m_nbTries = m_elements.size();
    reconstruireIndex();
    return true;
}

bool TMonBayesDB::Sauver(QString* erreur) {
    if (Temporaire || m_elements.empty() || !Modifie) return true;
    // Refused, and traced, before anything is built.
    if (m_fichier.Protege()) return m_fichier.SauverAvec(FileSpec, {}, erreur);
    Ordonner();
    // One buffer sized beforehand from the tokens and the numbers.
    qsizetype taille = 1 + 1 + chiffres(NbSpamAppris) + 1 + chiffres(NbBonAppris) + 2;
    const size_t nb = m_elements.size();
    constexpr size_t kAvance = 16; // elements are scattered on the heap: fetch ahead
    for (size_t i = 0; i < nb; ++i) {
        if (i + kAvance < nb) __builtin_prefetch(m_elements[i + kAvance].get());
        const auto& e = m_elements[i];
        const TCompteMot& s = e->CoteSpam;
        const TCompteMot& b = e->CoteBon;
        taille += e->Mot.size() + 8 + 2 + chiffres(s.Total) + chiffres(b.Total) +
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
        if (i + kAvance < nb) {
            __builtin_prefetch(m_elements[i + kAvance].get());
            __builtin_prefetch(m_elements[i + kAvance / 2]->Mot.constData());
        }
        const auto& e = m_elements[i];
        const TCompteMot& s = e->CoteSpam;
        const TCompteMot& b = e->CoteBon;
        std::memcpy(p, e->Mot.constData(), static_cast<size_t>(e->Mot.size()));
        p += e->Mot.size();
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
    if (autre.m_elements.empty()) return;
    Modifie = true;
    autre.Ordonner();
    auto copie = [](const TUnElement& e) {
        auto c = std::make_unique<TUnElement>(e);
        c->Mot.detach();
        return c;
    };
    if (m_elements.empty()) {
        m_elements.reserve(autre.m_elements.size());
        for (const auto& e : autre.m_elements)
            m_elements.push_back(copie(*e));
        m_negatifs = m_negatifs || autre.m_negatifs;
    } else {
        Ordonner();
        std::vector<std::unique_ptr<TUnElement>> liste;
        liste.reserve(m_elements.size() + autre.m_elements.size());
        size_t i = 0, j = 0;
        while (i < m_elements.size() || j < autre.m_elements.size()) {
            int c;
            if (i >= m_elements.size())
                c = 1;
            else if (j >= autre.m_elements.size())
                c = -1;
            else
                c = bayes::comparerMots(m_elements[i]->Mot, autre.m_elements[j]->Mot);
            if (c < 0) {
                liste.push_back(std::move(m_elements[i++]));
            } else if (c > 0) {
                liste.push_back(copie(*autre.m_elements[j++]));
            } else {
                TUnElement& e = *m_elements[i];
                const TUnElement& o = *autre.m_elements[j++];
                for (auto [a, b] :
                     {std::pair{&e.CoteSpam, &o.CoteSpam}, std::pair{&e.CoteBon, &o.CoteBon}}) {
                    a->Total = bayes::ajouterSature(a->Total, b->Total);
                    a->EnTete = bayes::ajouterSature(a->EnTete, b->EnTete);
                    a->Texte = bayes::ajouterSature(a->Texte, b->Texte);
                    a->Html = bayes::ajouterSature(a->Html, b->Html);
                }
                if (e.CoteSpam.Total < 0) m_negatifs = true;
                liste.push_back(std::move(m_elements[i++]));
            }
        }
        m_elements = std::move(liste);
    }
    NbSpamAppris = bayes::ajouterSature(NbSpamAppris, autre.NbSpamAppris);
    NbBonAppris = bayes::ajouterSature(NbBonAppris, autre.NbBonAppris);
    // Both lists were in token order, so the merged (or copied) list is too.
    m_trie = true;
    m_nbTries = m_elements.size();
    reconstruireIndex();
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
            auto n = std::make_unique<TUnElement>();
            n->Mot = d->Mot;
            n->Mot.detach();
            TCompteMot& cote = estSpam ? n->CoteSpam : n->CoteBon;
            cote.Total = 1;
            cote.EnTete = occ.EnTete > 0 ? 1 : 0;
            cote.Texte = occ.Texte > 0 ? 1 : 0;
            cote.Html = occ.Html > 0 ? 1 : 0;
            ajouterElement(std::move(n));
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
    size_t garde = 0;
    for (size_t i = 0; i < m_elements.size(); ++i) {
        if (m_elements[i]->CoteSpam.Total < 0) {
            const auto it = m_index.constFind(bayes::TCleMot{m_elements[i]->Mot});
            if (it != m_index.cend() && it.value() == m_elements[i].get()) m_index.erase(it);
            m_elements[i].reset();
        } else {
            if (garde != i) m_elements[garde] = std::move(m_elements[i]);
            ++garde;
        }
    }
    m_elements.resize(garde);
    m_nbTries = m_elements.size();
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
