#include "core/regles_fenetre.h"

#include "i18n/resources.h"

#include <algorithm>

QString CouperBulle(const QString& bulle) {
    return bulle.left(kLongueurBulle);
}

TEtatIcone TAnimationIcone::Repos() {
    return {"TRAY1", QStringLiteral("Kelvarin"), false};
}
TEtatIcone TAnimationIcone::Chargement() {
    return {"TRAY6", Res("Chargement", u"Chargement ..."), false};
}
TEtatIcone TAnimationIcone::Sauvegarde() {
    return {"TRAY6", Res("Sauvegarde", u"Sauvegarde ..."), false};
}

TEtatIcone TAnimationIcone::Tick(bool animer, bool clientOuvert, quint32 maintenant) {
    // Unsigned difference: right across a wrap of the tick counter.
    const quint32 ecoule = maintenant - m_derniereCommande;
    if (!animer || (ecoule > kDelaiRetourMs && !clientOuvert)) {
        m_compteur = 0;
        TEtatIcone e = Repos();
        e.ArreterTimer = true;
        return e;
    }
    m_compteur = m_compteur % 8 + 1;
    return {"ZNIM" + QByteArray::number(m_compteur),
            Res("ReceptionEnCours", u"Réception en cours...."), false};
}

qint64 DelaiFermeturePatienter(bool visible, qint64 creationMs, qint64 maintenantMs) {
    if (!visible) return 0;
    return std::max<qint64>(10, kDureeMiniPatienterMs - (maintenantMs - creationMs));
}

TDecisionFermeture DecisionFermeture(bool& versTray, bool quitter, bool quitterSans,
                                     bool calculEnCours) {
    if (calculEnCours) return dfRefuser;
    if (quitterSans) {
        versTray = false;
        return dfFermer;
    }
    if (quitter) versTray = false;
    return versTray ? dfCacher : dfDemander;
}

QString DureeFonctionnement(qint64 secondes, const QString& separateur) {
    if (secondes < 0) secondes = 0;
    const auto deux = [](qint64 v) {
        return QString::number(v).rightJustified(2, QLatin1Char('0'));
    };
    return deux(secondes / 3600) + separateur + deux(secondes / 60 % 60) + separateur +
           deux(secondes % 60);
}

QString LienSite(const QString& nom) {
    return QLatin1String(kSiteProduit) + QStringLiteral("/lien-exe.php?quoi=kv-") + nom;
}

QString AdresseURL(const QString& adresse) {
    if (adresse.left(7).compare(QStringLiteral("http://"), Qt::CaseInsensitive) == 0)
        return adresse;
    return QStringLiteral("http://") + adresse;
}
