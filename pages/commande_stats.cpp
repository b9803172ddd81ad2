#include "pages/commande_stats.h"

#include "accounts/gestion_comptes_bis.h"
#include "core/cp1252.h"
#include "core/safe_save.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "pages/statistiques.h"

#include <algorithm>

namespace statistiques {

namespace {

// Switches that may come with --stats; the ones with a value are read apart.
const QStringList& interrupteursPermis() {
    static const QStringList l = {QStringLiteral("stats"),        QStringLiteral("csv"),
                                  QStringLiteral("headless"),     QStringLiteral("trace"),
                                  QStringLiteral("multi"),        QStringLiteral("redemarrer"),
                                  QStringLiteral("debug"),        QStringLiteral("pasdebug"),
                                  QStringLiteral("paspatienter"), QStringLiteral("patienter")};
    return l;
}

QString texteCompte(const TUnCompteBis& c) {
    return cp1252::versUnicode(c.Nom);
}

QString iso(QDate d) {
    return d.toString(Qt::ISODate);
}

// --compte NAME: the name shown in the window, then "login@server", then the
// account's number.
const TUnCompteBis* trouverCompte(const TGestionComptesBis& g, const QString& nom) {
    const QByteArray octets = cp1252::depuisUnicode(nom);
    for (int i = 0; i < g.Count(); ++i)
        if (g.Compte(i)->Nom == octets) return g.Compte(i);
    for (int i = 0; i < g.Count(); ++i)
        if (cp1252::egauxSansCasse(g.Compte(i)->Nom, octets)) return g.Compte(i);
    for (int i = 0; i < g.Count(); ++i) {
        const TUnCompteBis* c = g.Compte(i);
        if (cp1252::egauxSansCasse(c->Login + '@' + c->Serveur, octets)) return c;
    }
    bool nombre = false;
    const int numero = nom.toInt(&nombre);
    for (int i = 0; nombre && i < g.Count(); ++i)
        if (g.Compte(i)->Numero == numero) return g.Compte(i);
    return nullptr;
}

QString champCsv(const QString& v) {
    if (!v.contains(QLatin1Char(',')) && !v.contains(QLatin1Char('"')) &&
        !v.contains(QLatin1Char('\n')))
        return v;
    QString r = v;
    r.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + r + QLatin1Char('"');
}

void imprimer(const TStatistiques& stats, const QString& titre, bool csv, QTextStream& sortie) {
    QList<std::array<TCelluleStats, TStatistiques::kNbColonnes>> lignes;
    for (int i = 0; i < stats.NbLignesListe(); ++i)
        lignes << stats.Cellules(i, iso);
    if (csv) {
        for (const auto& l : lignes) {
            QStringList champs;
            for (const TCelluleStats& c : l)
                champs << champCsv(c.Texte.trimmed());
            sortie << champs.join(QLatin1Char(',')) << '\n';
        }
        sortie.flush();
        return;
    }
    std::array<qsizetype, TStatistiques::kNbColonnes> largeurs{};
    for (const auto& l : lignes)
        for (size_t k = 0; k < l.size(); ++k)
            largeurs[k] = std::max(largeurs[k], l[k].Texte.size());
    sortie << titre << '\n';
    for (const auto& l : lignes) {
        QString texte;
        for (size_t k = 0; k < l.size(); ++k) {
            if (k > 0) texte += QStringLiteral("  ");
            // The day column reads from the left, the figures from the right.
            texte += k == 0 ? l[k].Texte.leftJustified(largeurs[k])
                            : l[k].Texte.rightJustified(largeurs[k]);
        }
        sortie << texte.trimmed() << '\n';
    }
    sortie.flush();
}

} // namespace

QString AideStats() {
    return QStringLiteral(
        "kelvarin --stats [--compte NAME] [--periode N | --du YYYY-MM-DD [--au YYYY-MM-DD]] "
        "[--csv] [--home DIR]\n"
        "  Prints the day by day statistics of the archived messages and exits.\n"
        "  --compte NAME  one account (its name, login@server or number); all by default\n"
        "  --periode N    0 today (default), 1-5 two to six days, 6 one week, 7 two weeks,\n"
        "                 8 three weeks, 9 four weeks, 10-12 one to three months,\n"
        "                 13 this week, 14 this month, 15 since the first message,\n"
        "                 16 the dates of --du and --au\n"
        "  --du, --au     first and last day, ISO dates (--au defaults to today)\n"
        "  --csv          comma-separated values instead of aligned text\n");
}

int CommandeStats(const TLigneCommande& ligne, const TRepertoires& reps, QTextStream& sortie,
                  QTextStream& erreurs, QDate aujourdhui) {
    if (!aujourdhui.isValid()) aujourdhui = QDate::currentDate();
    const auto usage = [&erreurs](const QString& texte) {
        erreurs << "kelvarin: " << texte << '\n' << AideStats();
        erreurs.flush();
        return int(csUsage);
    };
    for (const QString& s : ligne.Interrupteurs())
        if (!interrupteursPermis().contains(s))
            return usage(QStringLiteral("unknown switch with --stats: ") + s);
    for (const QString& s : ligne.SansValeur())
        return usage(QStringLiteral("--") + s + QStringLiteral(" needs a value"));

    const QString periodeTexte = ligne.Valeur(u"periode");
    const QString duTexte = ligne.Valeur(u"du"), auTexte = ligne.Valeur(u"au");
    int periode = TStatistiques::psAujourdhui;
    if (!periodeTexte.isNull()) {
        bool ok = false;
        periode = periodeTexte.toInt(&ok);
        if (!ok || periode < 0 || periode >= TStatistiques::kNbPeriodes)
            return usage(QStringLiteral("--periode takes a number from 0 to 16, not ") +
                         periodeTexte);
    } else if (!duTexte.isNull() || !auTexte.isNull()) {
        periode = TStatistiques::psAutrePeriode;
    }
    QDate du, au;
    if (periode == TStatistiques::psAutrePeriode) {
        if (duTexte.isNull()) return usage(QStringLiteral("--periode 16 needs --du"));
        du = QDate::fromString(duTexte, Qt::ISODate);
        au = auTexte.isNull() ? aujourdhui : QDate::fromString(auTexte, Qt::ISODate);
        if (!du.isValid())
            return usage(QStringLiteral("--du takes a date as YYYY-MM-DD, not ") + duTexte);
        if (!au.isValid())
            return usage(QStringLiteral("--au takes a date as YYYY-MM-DD, not ") + auTexte);
    } else if (!duTexte.isNull() || !auTexte.isNull()) {
        return usage(QStringLiteral("--du and --au go with --periode 16 only"));
    }

    // The accounts file, read only.
    TGestionComptesBis comptes;
    QByteArray contenu;
    QString raison;
    const QString cheminComptes = reps.Donnees() + QLatin1String(TGestionComptesBis::kNomFichier);
    if (sauvegarde::lire(cheminComptes, contenu, &raison) == sauvegarde::TEtatLecture::Illisible) {
        erreurs << "kelvarin: " << cheminComptes << ": " << raison << '\n';
        erreurs.flush();
        return csIllisible;
    }
    comptes.Deserialiser(contenu);

    TStatistiques stats;
    stats.Aujourdhui = [aujourdhui] { return aujourdhui; };
    stats.Lecteur = LecteurDossiers(reps.Dossiers());
    stats.Comptes = [&comptes] {
        QList<const TUnCompteBis*> l;
        for (int i = 0; i < comptes.Count(); ++i)
            l << comptes.Compte(i);
        return l;
    };
    QString nomCompte = TStatistiques::LibelleTousLesComptes();
    const QString compte = ligne.Valeur(u"compte");
    if (compte.isNull()) {
        stats.ChoisirCompte(TStatistiques::ccTous);
    } else {
        const TUnCompteBis* c = trouverCompte(comptes, compte);
        if (!c) {
            QStringList noms;
            for (int i = 0; i < comptes.Count(); ++i)
                noms << texteCompte(*comptes.Compte(i));
            return usage(QStringLiteral("unknown account: ") + compte +
                         (noms.isEmpty() ? QStringLiteral(" (no account yet)")
                                         : QStringLiteral(" (accounts: ") +
                                               noms.join(QStringLiteral(", ")) + QLatin1Char(')')));
        }
        stats.ChoisirCompte(TStatistiques::ccUn, c->Numero);
        nomCompte = texteCompte(*c);
    }

    TStatistiques::TResultat r;
    if (periode == TStatistiques::psAutrePeriode) {
        stats.setDebut(du);
        stats.setFin(au);
    }
    r = stats.ChoisirPeriode(periode);
    if (r == TStatistiques::rsDatesInversees)
        return usage(Res("stats19", u"La date de fin doit être supérieur a la date de début"));

    const QDate debut = stats.PremierJour();
    const QDate fin = debut.addDays(qint64(stats.Jours().size()) - 1);
    const QString titre = nomCompte + QStringLiteral(" : ") +
                          TStatistiques::LibellePeriode(periode) + QStringLiteral(" (") +
                          iso(debut) + QStringLiteral(" .. ") + iso(fin) + QLatin1Char(')');
    imprimer(stats, titre, ligne.ParamPresent(u"csv"), sortie);
    for (const QString& e : stats.Erreurs())
        erreurs << "kelvarin: " << e << '\n';
    erreurs.flush();
    return r == TStatistiques::rsIndexIllisible ? csIllisible : csOk;
}

} // namespace statistiques
