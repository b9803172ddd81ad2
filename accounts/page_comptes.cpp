#include "accounts/page_comptes.h"

#include "core/config.h"
#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QLocale>

namespace {
QString texte(const QByteArray& b) {
    return cp1252::versUnicode(b);
}
QString joindre(const QList<TMorceauCompte>& m) {
    QString r;
    for (const TMorceauCompte& x : m)
        r += x.Texte;
    return r;
}
} // namespace

QString TLigneCompte::TexteNom() const {
    return joindre(Nom);
}
QString TLigneCompte::TexteCompteurs() const {
    return joindre(Compteurs);
}

QString TPageComptes::Taux(qint32 spams, qint32 messages) {
    if (messages <= 0) return QStringLiteral("0.0");
    return QString::number(double(spams) / double(messages) * 100.0, 'f', 1);
}

TLigneCompte TPageComptes::Ligne(const TUnCompteBis& c) {
    using M = TMorceauCompte;
    TLigneCompte l;
    l.Numero = c.Numero;
    l.PastilleRouge = !c.ConfigGenerale;
    if (c.Nom != c.nomParDefaut()) {
        l.Nom = {{texte(c.Nom), M::ccBleu},
                 {QStringLiteral("  (") + texte(c.Serveur) + QLatin1Char('/'), M::ccNormal},
                 {texte(c.Login), M::ccBleu},
                 {QStringLiteral(")"), M::ccNormal}};
    } else {
        l.Nom = {{texte(c.Serveur) + QLatin1Char('/'), M::ccNormal}, {texte(c.Login), M::ccBleu}};
    }
    l.Compteurs.append({Format(Res("princ78", u"nb test=%d, message=%d"),
                               {QString::number(c.NbConnexions), QString::number(c.NbMessages)}),
                        M::ccNormal});
    if (c.NbSpams != 0) {
        l.Compteurs.append({QStringLiteral(", "), M::ccNormal});
        l.Compteurs.append(
            {Format(Res("princ79", u"spam=%d"), {QString::number(c.NbSpams)}) +
                 QStringLiteral(", ") +
                 Format(Res("princ80", u"taux de spam=%s%%"), {Taux(c.NbSpams, c.NbMessages)}),
             M::ccRouge});
    }
    if (!c.FiltreIP)
        l.Compteurs.append({QLatin1Char(' ') + Res("princ81", u"(test IP désactivé)"), M::ccRouge});
    if (!c.FiltreBayes)
        l.Compteurs.append(
            {QLatin1Char(' ') + Res("princ82", u"(test bayesien désactivé)"), M::ccRouge});
    return l;
}

QList<TLigneCompte> TPageComptes::Lignes() const {
    QList<TLigneCompte> r;
    for (int i = 0; i < m_comptes.Count(); ++i)
        if (const TUnCompteBis* c = m_comptes.Compte(i)) r.append(Ligne(*c));
    return r;
}

bool TPageComptes::Supprimer(qint32 numero) {
    return m_comptes.Supprimer(numero);
}

TSaisieCompte SaisieDepuisCompte(const TUnCompteBis& c) {
    TSaisieCompte s;
    s.EMail = texte(c.EMail);
    s.Nom = texte(c.Nom);
    s.FiltreIP = c.FiltreIP;
    s.FiltreBayes = c.FiltreBayes;
    s.Destinataire = c.Destinataire;
    s.ConfigGenerale = c.ConfigGenerale;
    if (c.ConfigGenerale) {
        s.Port = texte(Config().PortMail);
        s.SupprimerSpam = Config().SupprimerSpam;
    } else {
        s.Port = texte(c.Port);
        s.SupprimerSpam = c.SupprimerSpam;
    }
    return s;
}

void AppliquerSaisieCompte(const TSaisieCompte& s, TUnCompteBis& c) {
    c.EMail = cp1252::minuscules(cp1252::depuisUnicode(s.EMail.trimmed()));
    c.Nom = cp1252::depuisUnicode(s.Nom);
    c.Port = cp1252::depuisUnicode(s.Port.trimmed());
    c.FiltreIP = s.FiltreIP;
    c.FiltreBayes = s.FiltreBayes;
    c.Destinataire = s.Destinataire;
    c.ConfigGenerale = s.ConfigGenerale;
    c.SupprimerSpam = s.SupprimerSpam;
}
