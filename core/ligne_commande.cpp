#include "core/ligne_commande.h"

QString TLigneCommande::NomInterrupteur(QStringView p) {
    if (p.startsWith(u"--"))
        p = p.sliced(2);
    else if (p.startsWith(u'-') || p.startsWith(u'/'))
        p = p.sliced(1);
    return p.toString().toLower();
}

bool TLigneCommande::ValeurAttendue(QStringView nom) {
    return nom == u"home" || nom == u"compte" || nom == u"periode" || nom == u"du" || nom == u"au";
}

TLigneCommande::TLigneCommande(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool marque = a.startsWith(u'-') || a.startsWith(u'/');
        // A bare word (a file name, say) is not a switch.
        if (!marque) continue;
        QString nom = NomInterrupteur(a);
        QString valeur;
        bool avecValeur = false;
        const qsizetype egal = nom.indexOf(u'=');
        if (egal > 0 && ValeurAttendue(QStringView(nom).left(egal))) {
            // The value keeps its case: only the name was lowered.
            valeur = a.mid(a.indexOf(u'=') + 1);
            nom.truncate(egal);
            avecValeur = true;
        } else if (ValeurAttendue(nom)) {
            // The value is not itself a switch, even when it looks like one.
            if (i + 1 < arguments.size()) {
                valeur = arguments[++i];
                avecValeur = true;
            } else {
                m_sansValeur.append(nom);
            }
        }
        if (ValeurAttendue(nom)) {
            if (!avecValeur) continue;
            if (nom == u"home")
                m_home = valeur;
            else
                m_valeurs.append({nom, valeur});
            continue;
        }
        m_interrupteurs.append(nom);
    }
}

QString TLigneCommande::Valeur(QStringView interrupteur) const {
    const QString nom = NomInterrupteur(interrupteur);
    // The last one given counts, as for --home.
    for (auto it = m_valeurs.crbegin(); it != m_valeurs.crend(); ++it)
        if (it->first == nom) return it->second.isNull() ? QStringLiteral("") : it->second;
    return {};
}

bool TLigneCommande::ParamPresent(QStringView interrupteur) const {
    return m_interrupteurs.contains(NomInterrupteur(interrupteur));
}

namespace {
TLigneCommande& ligneProcessus() {
    static TLigneCommande l;
    return l;
}
} // namespace

void InstallerLigneCommande(const TLigneCommande& ligne) {
    ligneProcessus() = ligne;
}
const TLigneCommande& LigneCommande() {
    return ligneProcessus();
}
bool ParamPresent(QStringView interrupteur) {
    return ligneProcessus().ParamPresent(interrupteur);
}
