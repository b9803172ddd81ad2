#pragma once
// The queue of re-emitted messages: archived messages placed again in an
// account's mailbox, presented after the real ones at the account's next login.
// Memory only, in insertion order.

#include <QList>
#include <QtGlobal>

#include <optional>

struct TMessageFictif {
    qint32 Compte = 0; // Numero of the account
    qint32 Id = 0;     // Numero of the archived message
    qint32 Taille = 0; // its archived size

    friend bool operator==(const TMessageFictif&, const TMessageFictif&) = default;
};

class TMessagesFictifs {
public:
    // Appends the record unless the same message of the same account is
    // already queued. True when it was appended.
    bool Ajouter(qint32 compte, qint32 id, qint32 taille);
    // Number of the account's records and the sum of their sizes (64 bits:
    // a 32-bit sum of many large messages would wrap).
    void Compter(qint32 compte, qint32& nombre, qint64& taille) const;
    // The k-th record of the account, k from 1.
    std::optional<TMessageFictif> Kieme(qint32 compte, int k) const;
    // The account's records in queue order.
    QList<TMessageFictif> DuCompte(qint32 compte) const;
    // Every record of the account; an account below 0 removes all.
    void Retirer(qint32 compte);
    // Only these records (those a session presented).
    void Retirer(const QList<TMessageFictif>& liste);
    void Vider() { m_liste.clear(); }
    int Count() const { return int(m_liste.size()); }

private:
    QList<TMessageFictif> m_liste;
};
