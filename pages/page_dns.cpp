#include "pages/page_dns.h"

#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QRegularExpression>

namespace {
QString nombre(qint32 n) {
    return QString::number(n);
}
} // namespace

TLigneDNS TPageDNS::Ligne(const TUnDNS& s, QChar separateur) {
    using M = TMorceau;
    TLigneDNS l;
    l.Actif = s.Actif;
    l.Nom = cp1252::versUnicode(s.Nom);
    QList<M>& c = l.Compteurs;
    const auto rougeSiPositif = [](qint32 n) { return n > 0 ? M::mcRouge : M::mcNormal; };
    c.append({Format(Res("princ50", u"nb test=%d, spam="), {nombre(s.NbTest)}), M::mcNormal});
    c.append({nombre(s.NbSpam), rougeSiPositif(s.NbSpam)});
    c.append({QStringLiteral(", ") + Res("princ51", u"faux positif="), M::mcNormal});
    c.append({nombre(s.NbFauxPositif), rougeSiPositif(s.NbFauxPositif)});
    if (s.NbCorrection > 0) {
        c.append({QStringLiteral(", ") + Res("princ114", u"nb correction="), M::mcNormal});
        c.append({nombre(s.NbCorrection), M::mcRouge});
    }
    if (s.NbTimeOut > 0) {
        c.append({QStringLiteral(", ") + Res("princ52", u"timeout="), M::mcNormal});
        c.append({nombre(s.NbTimeOut), M::mcRouge});
    }
    if (s.NbTest > 0) {
        QString t =
            QStringLiteral(", ") +
            Format(Res("princ53", u"score=%s%%"),
                   {FormaterDecimal(double(s.NbSpam) / double(s.NbTest) * 100.0, 1, separateur)});
        if (s.NbTestRAZ > 0)
            t += QStringLiteral(", ") +
                 Format(Res("princ54", u"vitesse=%ss"),
                        {FormaterDecimal(double(s.TempsRAZ) / double(s.NbTestRAZ) / 1000.0, 3,
                                         separateur)});
        c.append({t, M::mcNormal});
    }
    return l;
}

TLigneDNS TPageDNS::Ligne(int index) const {
    const PUnDNS s = m_cherche.Serveur(index);
    return s ? Ligne(*s) : TLigneDNS{};
}

int TPageDNS::IndexDe(const TUnDNS* serveur) const {
    for (int i = 0; i < m_cherche.NbServeur(); ++i)
        if (m_cherche.Serveur(i) == serveur) return i;
    return -1;
}

TSaisieServeur TPageDNS::SaisieDepuisServeur(const TUnDNS* s) {
    TSaisieServeur r;
    if (!s) return r;
    r.Nom = cp1252::versUnicode(s->Nom);
    r.Zone = cp1252::versUnicode(s->Zone);
    QStringList codes;
    for (const QByteArray& c : s->Codes)
        codes.append(cp1252::versUnicode(c));
    r.Codes = codes.join(QLatin1Char('\n'));
    return r;
}

QList<QByteArray> TPageDNS::Codes(const QString& memo) {
    QList<QByteArray> r;
    for (const QString& ligne : memo.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QByteArray code = cp1252::depuisUnicode(ligne).trimmed();
        if (!code.isEmpty()) r.append(code);
    }
    return r;
}

QString TPageDNS::Valider(const TUnDNS* serveur, const TSaisieServeur& saisie) const {
    return m_cherche.ErreurServeur(const_cast<PUnDNS>(serveur), cp1252::depuisUnicode(saisie.Nom),
                                   cp1252::depuisUnicode(saisie.Zone));
}

QString TPageDNS::Ajouter(const TSaisieServeur& saisie) {
    const QString erreur = Valider(nullptr, saisie);
    if (!erreur.isEmpty()) return erreur;
    m_cherche.AjouterServeur(cp1252::depuisUnicode(saisie.Nom), cp1252::depuisUnicode(saisie.Zone),
                             Codes(saisie.Codes), true);
    m_cherche.SauverTout();
    return {};
}

QString TPageDNS::Modifier(PUnDNS serveur, const TSaisieServeur& saisie) {
    if (!serveur) return Res("princ118", u"Sélectionnez le serveur de DNSBL à modifier");
    const QString erreur = Valider(serveur, saisie);
    if (!erreur.isEmpty()) return erreur;
    m_cherche.ModifierServeur(serveur, cp1252::depuisUnicode(saisie.Nom),
                              cp1252::depuisUnicode(saisie.Zone), Codes(saisie.Codes));
    m_cherche.TrierServeurs();
    m_cherche.SauverTout();
    return {};
}

bool TPageDNS::Supprimer(int index) {
    const PUnDNS s = m_cherche.Serveur(index);
    if (!s) return false;
    // By value: the record is freed on the way.
    const QByteArray nom = s->Nom;
    m_cherche.SupprimerServeur(nom);
    m_cherche.SauverTout();
    return true;
}

bool TPageDNS::BasculerActif(int index) {
    const PUnDNS s = m_cherche.Serveur(index);
    if (!s) return false;
    m_cherche.DefinirActifServeur(s, !s->Actif);
    return true;
}

void TPageDNS::RAZTemp() {
    m_cherche.RAZVitesse();
}

void TPageDNS::RAZCompteur() {
    m_cherche.RAZCompteurs();
}
