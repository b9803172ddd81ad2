#include "proxy/messages_fictifs.h"

bool TMessagesFictifs::Ajouter(qint32 compte, qint32 id, qint32 taille) {
    for (const TMessageFictif& m : m_liste)
        if (m.Compte == compte && m.Id == id) return false;
    m_liste.append(TMessageFictif{compte, id, taille});
    return true;
}

void TMessagesFictifs::Compter(qint32 compte, qint32& nombre, qint64& taille) const {
    nombre = 0;
    taille = 0;
    for (const TMessageFictif& m : m_liste) {
        if (m.Compte != compte) continue;
        ++nombre;
        taille += m.Taille;
    }
}

std::optional<TMessageFictif> TMessagesFictifs::Kieme(qint32 compte, int k) const {
    if (k < 1) return std::nullopt;
    for (const TMessageFictif& m : m_liste) {
        if (m.Compte == compte && --k == 0) return m;
    }
    return std::nullopt;
}

QList<TMessageFictif> TMessagesFictifs::DuCompte(qint32 compte) const {
    QList<TMessageFictif> r;
    for (const TMessageFictif& m : m_liste)
        if (m.Compte == compte) r.append(m);
    return r;
}

void TMessagesFictifs::Retirer(qint32 compte) {
    m_liste.removeIf(
        [compte](const TMessageFictif& m) { return compte < 0 || m.Compte == compte; });
}

void TMessagesFictifs::Retirer(const QList<TMessageFictif>& liste) {
    m_liste.removeIf([&liste](const TMessageFictif& m) {
        for (const TMessageFictif& r : liste)
            if (r.Compte == m.Compte && r.Id == m.Id) return true;
        return false;
    });
}
