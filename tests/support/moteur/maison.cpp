#include "tests/support/moteur/maison.h"

#include "accounts/gestion_comptes_bis.h"

#include <QFile>
#include <QFileInfo>

namespace testsupport {

TMaison::TCles TMaison::fusionner(TCles base, const TCles& autres) {
    for (const auto& cle : autres) {
        base.removeIf([&cle](const auto& c) { return c.first == cle.first; });
        base.append(cle);
    }
    return base;
}

TMaison::TMaison(const TCles& cles) {
    reps.Installation = reps.Travail = dir.path() + QLatin1Char('/');
    QByteArray ini = "[Init]\r\n";
    for (const auto& [cle, valeur] : fusionner({{"PortEcoute", "0"}}, cles))
        ini += cle + '=' + valeur + "\r\n";
    QFile f(reps.Ini());
    if (f.open(QIODevice::WriteOnly)) f.write(ini);
}

void TMaison::lierEncodage() {
    QFile::link(QStringLiteral(KELVARIN_SOURCE_DIR "/data/Encodage"),
                dir.path() + QStringLiteral("/Encodage"));
}

QList<QByteArray> TMaison::comptesSurDisque() const {
    TGestionComptesBis g;
    g.OnInitRepertoire = [this](TGestionComptesBis&, QString& t, QString& i) {
        t = i = reps.Travail;
    };
    g.setActive(true);
    QList<QByteArray> r;
    for (int i = 0; i < g.Count(); ++i)
        r << g.Compte(i)->Login + '@' + g.Compte(i)->Serveur;
    g.IgnoreModif = true; // reading only
    return r;
}

qint32 TMaison::creerCompte(const char* serveur, const char* login) {
    TGestionComptesBis g;
    g.OnInitRepertoire = [this](TGestionComptesBis&, QString& t, QString& i) {
        t = i = reps.Travail;
    };
    g.setActive(true);
    const qint32 numero = g.ChercherOuCreer(serveur, login)->Numero;
    g.setActive(false);
    return numero;
}

QDateTime TMaison::date(const QString& fichier) const {
    return QFileInfo(reps.Travail + fichier).lastModified();
}

} // namespace testsupport
