#include "core/fichier_protege.h"

#include "core/trace.h"
#include "i18n/resources.h"

#include <QFileInfo>

namespace {
QString nomDe(const QString& nom, const QString& chemin) {
    return nom.isEmpty() ? QFileInfo(chemin).fileName() : nom;
}
} // namespace

sauvegarde::TEtatLecture TFichierProtege::Lire(const QString& chemin, QByteArray& contenu,
                                               QString* erreur, bool* depuisBak) {
    QString raison;
    const sauvegarde::TEtatLecture etat = sauvegarde::lire(chemin, contenu, &raison, depuisBak);
    m_protege = etat == sauvegarde::TEtatLecture::Illisible;
    if (m_protege) {
        contenu.clear();
        Trace(Res("cspam01", u"Fichier illisible, conservé : %s")
                  .replace(QStringLiteral("%s"), nomDe(m_nom, chemin)) +
              QStringLiteral(" (") + raison + QLatin1Char(')'));
    }
    if (erreur) *erreur = raison;
    return etat;
}

bool TFichierProtege::refuser(const QString& chemin, QString* erreur) const {
    const QString texte = Res("cspam02", u"Fichier non enregistré, il n'a pas pu être lu : %s")
                              .replace(QStringLiteral("%s"), nomDe(m_nom, chemin));
    Trace(texte);
    if (erreur) *erreur = texte;
    return false;
}

bool TFichierProtege::Sauver(const QString& chemin, const QByteArray& contenu, QString* erreur) {
    if (m_protege) return refuser(chemin, erreur);
    return sauvegarde::sauver(chemin, contenu, erreur);
}

bool TFichierProtege::SauverOuTracer(const QString& chemin, const QByteArray& contenu) {
    QString erreur;
    if (Sauver(chemin, contenu, &erreur)) return true;
    // A refusal for an unreadable file was traced already.
    if (!m_protege)
        Trace(Res("cspam03", u"Erreur d'écriture de %s : ")
                  .replace(QStringLiteral("%s"), nomDe(m_nom, chemin)) +
              erreur);
    return false;
}

bool TFichierProtege::SauverAvec(const QString& chemin, const sauvegarde::TEcrivain& ecrire,
                                 QString* erreur) {
    if (m_protege) return refuser(chemin, erreur);
    return sauvegarde::sauverAvec(chemin, ecrire, erreur);
}
