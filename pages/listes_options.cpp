#include "pages/listes_options.h"

#include "core/controleur.h"
#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "proxy/moteur.h"

#include <QRegularExpression>

const std::array<TCadreListe, TListesOptions::kNbCadres>& TListesOptions::Cadres() {
    static const std::array<TCadreListe, kNbCadres> cadres = {{
        {"FrameInfoFiltres0", "LabelFrame0", u"Emetteurs (mail) à toujours accepter", 0, 4,
         lfBlancheEmetteur, lfBlancheEmetteurRegExp, tlBlancheEmetteur},
        {"FrameInfoFiltres1", "LabelFrame1", u"Sujets à toujours accepter", 0, 5, lfBlancheSujet,
         lfBlancheSujetRegExp, tlBlancheSujet},
        {"FrameInfoFiltres2", "LabelFrame2", u"Autres en-têtes à toujours accepter", 0, 6,
         lfBlancheEntete, lfBlancheEnteteRegExp, tlBlancheEntete},
        {"FrameInfoFiltres3", "LabelFrame3", u"Adresses IP à toujours accepter", 1, 7, lfBlancheIP,
         -1, tlBlancheIP},
        {"FrameInfoFiltres4", "LabelFrame4", u"Emetteurs (mail) à bannir définitivement", 0, 9,
         lfNoireEmetteur, lfNoireEmetteurRegExp, tlNoireEmetteur},
        {"FrameInfoFiltres5", "LabelFrame5", u"Sujets à bannir définitivement", 0, 10, lfNoireSujet,
         lfNoireSujetRegExp, tlNoireSujet},
        {"FrameInfoFiltres6", "LabelFrame6", u"Autres en-têtes de messages à bannir", 0, 11,
         lfNoireEntete, lfNoireEnteteRegExp, tlNoireEntete},
        {"FrameInfoFiltres7", "LabelFrame7", u"Adresses IP à bannir définitivement", 1, 12,
         lfNoireIP, -1, tlNoireIP},
        {"FrameInfoFiltres8", "LabelFrame8", u"Adresses IP à ne pas tester.", 1, 16, lfIgnorerIP,
         -1, 0},
    }};
    return cadres;
}

int TListesOptions::CadreDuType(int type) {
    if (type == 0) return -1;
    for (int i = 0; i < kNbCadres; ++i)
        if (Cadres()[size_t(i)].Type == type) return i;
    return -1;
}

int TListesOptions::CadreDeLaPage(int page) {
    for (int i = 0; i < kNbCadres; ++i)
        if (Cadres()[size_t(i)].Page == page) return i;
    return -1;
}

TListesOptions::TVisibilite TListesOptions::Visibilite(int mode, bool expert) {
    return {mode == 0, mode == 1, mode != 1, mode == 0 && expert};
}

QString TListesOptions::TexteMemo(QByteArrayView liste) {
    QString t = cp1252::versUnicode(liste);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (t.endsWith(QLatin1Char('\n'))) t.chop(1);
    return t;
}

QByteArray TListesOptions::TexteListe(const QString& memo) {
    QString t = memo;
    // The editor's paragraph separator is a line break too.
    t.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
    return cp1252::depuisUnicode(t);
}

bool TListesOptions::ModifierLigne(QString& memo, const QString& ligne, bool ajouter) {
    QStringList lignes = memo.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    // An empty memo holds no line, and a final line break ends the last line.
    if (!lignes.isEmpty() && lignes.last().isEmpty()) lignes.removeLast();
    if (ajouter) {
        lignes.append(ligne);
    } else {
        const QByteArray cherchee = cp1252::depuisUnicode(ligne);
        qsizetype trouvee = -1;
        for (qsizetype i = 0; i < lignes.size() && trouvee < 0; ++i)
            if (cp1252::egauxSansCasse(cp1252::depuisUnicode(lignes[i]), cherchee)) trouvee = i;
        if (trouvee < 0) return false;
        lignes.removeAt(trouvee);
    }
    memo = lignes.join(QLatin1Char('\n'));
    return true;
}

TSaisieListes LireListes(TMoteur& moteur) {
    TSaisieListes s;
    const TChercheSPAMs& c = moteur.ChercheSPAMs1;
    for (int i = 0; i < TListesOptions::kNbCadres; ++i) {
        const TCadreListe& cadre = TListesOptions::Cadres()[size_t(i)];
        s.Cadres[size_t(i)].Liste = TListesOptions::TexteMemo(c.Liste(cadre.Liste));
        if (cadre.ListeRegExp >= 0)
            s.Cadres[size_t(i)].RegExp =
                TListesOptions::TexteMemo(c.Liste(TListeFiltre(cadre.ListeRegExp)));
    }
    if (TFiltreBayes* b = moteur.FiltreBayes()) {
        s.EntetesIgnorees = TListesOptions::TexteMemo(b->Base().GetEntetesIgnorees());
        s.MotsIgnores = TListesOptions::TexteMemo(b->Base().GetMotsIgnores());
    }
    return s;
}

QString AppliquerListes(TMoteur& moteur, const TSaisieListes& saisie) {
    TChercheSPAMs& c = moteur.ChercheSPAMs1;
    for (int i = 0; i < TListesOptions::kNbCadres; ++i) {
        const TCadreListe& cadre = TListesOptions::Cadres()[size_t(i)];
        c.DefinirListe(cadre.Liste, TListesOptions::TexteListe(saisie.Cadres[size_t(i)].Liste));
        if (cadre.ListeRegExp >= 0)
            c.DefinirListe(TListeFiltre(cadre.ListeRegExp),
                           TListesOptions::TexteListe(saisie.Cadres[size_t(i)].RegExp));
    }
    // Applied lists are on disk at once: a crash must not take back what the
    // user applied.
    if (c.Active()) c.SauverListes();
    TFiltreBayes* b = moteur.FiltreBayes();
    if (!b) return {};
    b->Base().SetEntetesIgnorees(TListesOptions::TexteListe(saisie.EntetesIgnorees));
    b->Base().SetMotsIgnores(TListesOptions::TexteListe(saisie.MotsIgnores));
    QString raison;
    if (b->Base().SauverListesIgnorees(&raison)) return {};
    return Format(Res("lign01", u"Les listes de mots et d'en-têtes ignorés n'ont pas pu être "
                                u"enregistrées : %s"),
                  {raison});
}

bool AppliquerOptions(TMoteur& moteur, const TSaisieOptions& options, const TSaisieListes& listes,
                      QString* erreur) {
    QString e;
    const bool ok =
        moteur.Controleur().Appliquer(options, [&] { e = AppliquerListes(moteur, listes); });
    if (erreur) *erreur = e;
    return ok;
}
