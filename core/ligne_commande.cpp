#include "core/ligne_commande.h"

QString TLigneCommande::NomInterrupteur(QStringView p) {
    if (p.startsWith(u"--"))
        p = p.sliced(2);
    else if (p.startsWith(u'-') || p.startsWith(u'/'))
        p = p.sliced(1);
    return p.toString().toLower();
}

TLigneCommande::TLigneCommande(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool marque = a.startsWith(u'-') || a.startsWith(u'/');
        const QString nom = NomInterrupteur(a);
        if (marque && nom == u"home") {
            // The value is not itself a switch, even when it looks like one.
            if (i + 1 < arguments.size()) m_home = arguments[++i];
            continue;
        }
        if (marque && nom.startsWith(u"home=")) {
            m_home = a.mid(a.indexOf(u'=') + 1);
            continue;
        }
        // A bare word (a file name, say) is not a switch.
        if (marque) m_interrupteurs.append(nom);
    }
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
