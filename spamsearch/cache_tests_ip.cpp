#include "spamsearch/cache_tests_ip.h"

#include "core/record_fields.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "spamsearch/table_serveurs.h"

#include <QFileInfo>
#include <algorithm>

namespace {
constexpr int kVersionFichier = 1;
} // namespace

PUneRechercheDNS TCacheTestsIP::ResultatIP(TAdresseIP ip, bool creer, bool* cree) {
    if (cree) *cree = false;
    size_t i = 0;
    while (i < m_recherches.size() && m_recherches[i]->IP != ip)
        ++i;
    if (i == m_recherches.size()) {
        if (creer) {
            for (const auto& s : m_serveurs.Serveurs()) {
                if (!s->Actif) continue;
                auto r = std::make_unique<TUneRechercheDNS>();
                r->IP = ip;
                r->Serveur = s.get();
                m_recherches.push_back(std::move(r));
            }
            if (cree) *cree = true;
        }
        return nullptr;
    }
    PUneRechercheDNS resultat = m_recherches[i].get();
    if (resultat->Etat == erSpam) return resultat;
    for (++i; i < m_recherches.size() && m_recherches[i]->IP == ip; ++i) {
        PUneRechercheDNS r = m_recherches[i].get();
        if (r->Etat == erPasCherche || r->Etat == erEnCours) {
            resultat = r;
        } else if (r->Etat == erSpam) {
            return r;
        } else if (r->Etat == erPasSpam) {
            if (resultat->Etat == erTimeOut || resultat->Etat == erAbandon) resultat = r;
        }
    }
    return resultat;
}

PUneRechercheDNS TCacheTestsIP::Recherche(int index) const {
    if (index < 0 || size_t(index) >= m_recherches.size()) return nullptr;
    return m_recherches[size_t(index)].get();
}

void TCacheTestsIP::ParcourirAttentes(const std::function<bool(TUneRechercheDNS&)>& demarrer) {
    const quint64 generation = m_generation;
    size_t i = qMin(m_premiereAttente, m_recherches.size());
    for (; i < m_recherches.size(); ++i) {
        TUneRechercheDNS* r = m_recherches[i].get();
        if (r->Etat != erPasCherche || !r->Serveur) continue;
        if (!demarrer(*r)) break;
    }
    // Records removed or reordered by a handler meanwhile: rescan next time.
    m_premiereAttente = generation == m_generation ? i : 0;
}

void TCacheTestsIP::Vider() {
    m_recherches.clear();
    m_premiereAttente = 0;
    ++m_generation;
}

void TCacheTestsIP::supprimer(const std::vector<bool>& aSupprimer) {
    size_t j = 0;
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        if (aSupprimer[i]) continue;
        if (i != j) m_recherches[j] = std::move(m_recherches[i]);
        ++j;
    }
    m_recherches.resize(j);
    m_premiereAttente = 0;
    ++m_generation;
}

void TCacheTestsIP::OublierServeur(PUnDNS serveur) {
    std::vector<bool> aSupprimer(m_recherches.size(), false);
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        TUneRechercheDNS& r = *m_recherches[i];
        if (r.Serveur != serveur) continue;
        if (r.Etat == erPasCherche)
            aSupprimer[i] = true;
        else
            r.Serveur = nullptr;
    }
    supprimer(aSupprimer);
}

void TCacheTestsIP::OublierServeurs() {
    for (auto& r : m_recherches)
        r->Serveur = nullptr;
}

bool TCacheTestsIP::Reduire() {
    const TDateTime limite = datetime::maintenant() - double(m_nbHeureMemoIP) / 24.0;
    std::vector<bool> aSupprimer(m_recherches.size(), false);
    TUneRechercheDNS* rep = nullptr;
    bool expire = false;
    TAdresseIP x = 0;
    int nbSupprimes = 0;
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        TUneRechercheDNS* s = m_recherches[i].get();
        if (s->Etat == erPasCherche || s->Etat == erEnCours) break;
        if (expire && s->IP == x) {
            aSupprimer[i] = true;
        } else if (rep && rep->IP == s->IP) {
            bool propre;
            if (s->Etat == rep->Etat) {
                propre = s->Etat != erSpam;
            } else if (s->Etat == erSpam) {
                rep->Etat = erSpam;
                rep->Serveur = s->Serveur;
                rep->Reponse = s->Reponse;
                rep->DateReponse = s->DateReponse;
                propre = false;
            } else {
                propre = true;
            }
            aSupprimer[i] = true;
            if (propre && rep->Etat != erSpam) {
                rep->Serveur = nullptr;
                rep->Reponse.clear();
            }
        } else {
            rep = s;
            if (s->DateReponse < limite) {
                aSupprimer[i] = true;
                x = s->IP;
                expire = true;
                rep = nullptr;
            } else {
                expire = false;
            }
        }
        if (aSupprimer[i]) ++nbSupprimes;
    }
    if (nbSupprimes) supprimer(aSupprimer);
    Trier();
    return nbSupprimes > 0;
}

void TCacheTestsIP::Trier() {
    // Records that are waiting or running keep their place after the finished
    // ones, so the groups queued since the last reduction stay together.
    auto finis = std::find_if(m_recherches.begin(), m_recherches.end(), [](const auto& r) {
        return r->Etat == erPasCherche || r->Etat == erEnCours;
    });
    if (m_tri == trTriIP) {
        std::stable_sort(m_recherches.begin(), finis, [](const auto& a, const auto& b) {
            return IPVersHote(a->IP) < IPVersHote(b->IP);
        });
    } else {
        std::stable_sort(m_recherches.begin(), finis, [](const auto& a, const auto& b) {
            if (a->DateReponse != b->DateReponse) return a->DateReponse < b->DateReponse;
            return IPVersHote(a->IP) > IPVersHote(b->IP);
        });
    }
    m_premiereAttente = 0;
    ++m_generation;
}

void TCacheTestsIP::SupprimerTestsIP(TAdresseIP ip) {
    std::vector<bool> aSupprimer(m_recherches.size(), false);
    bool un = false;
    for (size_t i = 0; i < m_recherches.size(); ++i) {
        const TUneRechercheDNS& r = *m_recherches[i];
        if (r.IP == ip && (r.Etat == erSpam || r.Etat == erPasSpam || r.Etat == erAbandon))
            aSupprimer[i] = un = true;
    }
    if (un) supprimer(aSupprimer);
}

void TCacheTestsIP::Charger(const QString& fichier) {
    QByteArray contenu;
    if (m_fichier.Lire(fichier, contenu) != sauvegarde::TEtatLecture::Lu) return;
    Deserialiser(contenu);
}

void TCacheTestsIP::Deserialiser(QByteArrayView contenu) {
    for (QByteArrayView ligne : fichierqdl::lignesDonnees(contenu)) {
        champs::TLecteurChamps l(ligne);
        auto r = std::make_unique<TUneRechercheDNS>();
        r->IP = ChaineVersIP(l.lireBrut());
        const int numero = l.lireEntier();
        r->Serveur = numero > 0 ? m_serveurs.TrouverNumero(numero) : nullptr;
        const int etat = l.lireEntier();
        r->Reponse = l.lireChaine();
        r->NbUtilisation = l.lireEntier();
        r->DateReponse = datetime::lireDate(l.lireBrut());
        if (etat != erSpam && etat != erPasSpam) continue;
        if (r->IP == 0) continue;
        r->Etat = quint8(etat);
        m_recherches.push_back(std::move(r));
    }
}

void TCacheTestsIP::Sauver(const QString& fichier) {
    m_fichier.SauverOuTracer(fichier, Serialiser());
}

QByteArray TCacheTestsIP::Serialiser() const {
    QByteArray contenu = fichierqdl::entete(kVersionFichier);
    champs::TEcrivainChamps e;
    for (const auto& r : m_recherches) {
        e.brut(IPVersChaine(r->IP)).entier(r->Serveur ? r->Serveur->Numero : -1).entier(r->Etat);
        e.chaine(r->Reponse).entier(r->NbUtilisation);
        // A date that cannot be written leaves the field empty: the record then
        // expires at the next start.
        e.brut(r->DateReponse > 0 ? datetime::formaterDate(r->DateReponse) : QByteArray());
        e.ajouterA(contenu);
    }
    return contenu;
}
