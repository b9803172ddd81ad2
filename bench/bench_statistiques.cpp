// "Depuis le début" statistics over 100,000 archived records (four accounts,
// three years of mail), beside a raw read of the same index files and a load
// of each index by the archive component. Prints milliseconds and ratios.

#include "accounts/gestion_comptes_bis.h"
#include "accounts/mon_dossier_bis.h"
#include "pages/statistiques.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kComptes = 4;
constexpr int kMessages = 100000;
constexpr int kEssais = 7;

double mediane(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F> double chronometrer(F&& f) {
    std::vector<double> temps;
    for (int i = 0; i < kEssais; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        temps.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return mediane(temps);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString home = dir.path() + QLatin1Char('/');

    // The accounts, and their index files in the archive's own layout.
    TGestionComptesBis comptes;
    comptes.OnInitRepertoire = [&home](TGestionComptesBis&, QString& t, QString& i) {
        t = i = home;
    };
    comptes.setActive(true);
    std::vector<PUnCompteBis> liste;
    for (int k = 0; k < kComptes; ++k)
        liste.push_back(
            comptes.ChercherOuCreer("pop.exemple.fr", "compte" + QByteArray::number(k)));
    comptes.setActive(false);
    const QString dossiers = comptes.RepertoireDossiers();
    QDir().mkpath(dossiers);
    const QDate aujourdhui = QDate::currentDate();
    const TDateTime fin =
        datetime::encoder(aujourdhui.year(), aujourdhui.month(), aujourdhui.day(), 23, 0);
    qint64 octets = 0;
    for (int k = 0; k < kComptes; ++k) {
        TMonDossierBis archive;
        archive.setRepertoireDossiers(dossiers);
        QByteArray fixe = "VERSION=1\r\n", variable;
        const int n = kMessages / kComptes;
        for (int i = 0; i < n; ++i) {
            TUnMessageMem m;
            m.Numero = i + 1;
            // Spread over about 999 days, oldest first.
            m.Reception = fin - double(n - i) * 999.0 / n;
            m.Spam = i % 3 == 0;
            m.ListeBlanche = i % 17 == 0;
            m.ListeNoire = i % 29 == 0;
            m.HorsDestinataire = i % 41 == 0;
            m.Sujet = "Sujet du message " + QByteArray::number(i);
            m.Emetteur = "expediteur@exemple.fr";
            fixe += TMonDossierBis::CoderFixe(m);
            variable += TMonDossierBis::CoderVariable(m);
        }
        const QString base = dossiers + QString::number(liste[size_t(k)]->Numero);
        QFile f(base + QStringLiteral("-var.qdl")), v(base + QStringLiteral("-fix.qdl"));
        if (!f.open(QIODevice::WriteOnly) || f.write(fixe) != fixe.size() ||
            !v.open(QIODevice::WriteOnly) || v.write(variable) != variable.size()) {
            std::fprintf(stderr, "cannot write the index of account %d\n", k);
            return 1;
        }
        octets += fixe.size();
    }

    TStatistiques stats;
    stats.Lecteur = statistiques::LecteurDossiers(dossiers);
    stats.Comptes = [&liste] {
        QList<const TUnCompteBis*> l;
        for (PUnCompteBis c : liste)
            l << c;
        return l;
    };
    stats.ChoisirCompte(TStatistiques::ccTous);
    qint32 total = 0;
    const double calcul = chronometrer([&] {
        stats.ChoisirPeriode(TStatistiques::psDepuisLeDebut);
        total = stats.Total().Messages;
    });

    qint64 lus = 0;
    const double brut = chronometrer([&] {
        lus = 0;
        for (PUnCompteBis c : liste) {
            QFile f(dossiers + QString::number(c->Numero) + QStringLiteral("-var.qdl"));
            if (f.open(QIODevice::ReadOnly)) lus += f.readAll().size();
        }
    });

    int charges = 0;
    const double composant = chronometrer([&] {
        charges = 0;
        for (PUnCompteBis c : liste) {
            TMonDossierBis archive;
            archive.setRepertoireDossiers(dossiers);
            archive.Ouvrir(c);
            charges += archive.NbMessage();
        }
    });

    std::printf("statistics \"Depuis le début\": %d records, %d accounts, %d day rows, "
                "%lld bytes of fixed index\n",
                total, kComptes, int(stats.Jours().size()), static_cast<long long>(octets));
    std::printf("  computation (read + count), median of %d: %8.2f ms\n", kEssais, calcul);
    std::printf("  raw read of the index files:             %8.2f ms (%lld bytes)\n", brut,
                static_cast<long long>(lus));
    std::printf("  archive component load (both index files): %6.2f ms (%d records)\n", composant,
                charges);
    std::printf("  computation / raw read: %.1fx; component load / computation: %.1fx\n",
                brut > 0 ? calcul / brut : 0.0, calcul > 0 ? composant / calcul : 0.0);
    return total == kMessages ? 0 : 2;
}
