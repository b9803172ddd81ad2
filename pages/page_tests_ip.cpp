#include "pages/page_tests_ip.h"

#include "core/cp1252.h"
#include "core/date_time.h"
#include "core/trace.h"
#include "i18n/resources.h"

TLigneRecherche TPageTestsIP::Ligne(const TUneRechercheDNS& r, const TUneRechercheDNS* precedent) {
    using M = TMorceau;
    TLigneRecherche l;
    QString debut = cp1252::versUnicode(IPVersChaine(r.IP));
    if (r.Serveur) debut += QStringLiteral(" : ") + cp1252::versUnicode(r.Serveur->Nom);
    debut += QStringLiteral(" - ");
    l.Morceaux.append({debut, M::mcNormal});
    M etat;
    switch (r.Etat) {
    case erEnCours:
        etat = {Res("princ06", u"Recherche ...."), M::mcVert};
        break;
    case erSpam:
        etat = {Res("princ05", u"Spam"), M::mcRouge};
        break;
    case erPasSpam:
        etat = {Res("princ04", u"Pas spam"), M::mcBleu};
        break;
    case erTimeOut:
    case erAbandon:
        etat = {Res("princ07", u"TimeOut"), M::mcJaune};
        break;
    default:
        etat = {Res("princ08", u"pas cherché"), M::mcNormal};
    }
    if (!r.Reponse.isEmpty())
        etat.Texte += QStringLiteral(" (") + cp1252::versUnicode(r.Reponse) + QLatin1Char(')');
    l.Morceaux.append(etat);
    if (r.Etat > erEnCours)
        l.Morceaux.append({QStringLiteral(" - ") +
                               Format(Res("princ55", u"testé le %s (nb test=%d)"),
                                      {cp1252::versUnicode(datetime::formaterDate(r.DateReponse)),
                                       QString::number(r.NbUtilisation)}),
                           M::mcNormal});
    l.Separateur = precedent && precedent->IP != r.IP;
    return l;
}

TLigneRecherche TPageTestsIP::Ligne(int index) const {
    const PUneRechercheDNS r = m_cherche.Recherche(index);
    if (!r) return {};
    return Ligne(*r, index > 0 ? m_cherche.Recherche(index - 1) : nullptr);
}

bool TPageTestsIP::TesterIP(const QString& texte) {
    return m_cherche.TesterIP(cp1252::depuisUnicode(texte));
}

bool TPageTestsIP::Supprimable(const TUneRechercheDNS& r) {
    return r.Etat == erSpam || r.Etat == erPasSpam || r.Etat == erAbandon;
}

bool TPageTestsIP::Supprimable(int index) const {
    const PUneRechercheDNS r = m_cherche.Recherche(index);
    return r && Supprimable(*r);
}

bool TPageTestsIP::Supprimer(int index) {
    const PUneRechercheDNS r = m_cherche.Recherche(index);
    if (!r || !Supprimable(*r)) return false;
    m_cherche.SupprimerTestsIP(r->IP);
    return true;
}
