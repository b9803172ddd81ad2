#pragma once
// A data file that exists but could not be read is kept as it is: the data in
// memory stands empty, and every later save is refused until the file is read
// again, so the user's file is never replaced by nothing. One of these per file.

#include "core/safe_save.h"

#include <QByteArray>
#include <QString>

#include <utility>

class TFichierProtege {
public:
    // `nom` is the file's name as the trace shows it.
    explicit TFichierProtege(QString nom = {}) : m_nom(std::move(nom)) {}

    // Reads the file (or the ".bak" of an interrupted save). When it cannot be
    // read, the file is protected and the trace says so.
    sauvegarde::TEtatLecture Lire(const QString& chemin, QByteArray& contenu,
                                  QString* erreur = nullptr, bool* depuisBak = nullptr);
    // Safe save, refused (traced, false) while the file is protected.
    bool Sauver(const QString& chemin, const QByteArray& contenu, QString* erreur = nullptr);
    bool SauverAvec(const QString& chemin, const sauvegarde::TEcrivain& ecrire,
                    QString* erreur = nullptr);
    // Sauver, with a failed write traced under the file's name.
    bool SauverOuTracer(const QString& chemin, const QByteArray& contenu);

    bool Protege() const { return m_protege; }
    // The data in memory takes the file's place anyway (a read that replaced it).
    void Liberer() { m_protege = false; }
    const QString& Nom() const { return m_nom; }
    void setNom(const QString& nom) { m_nom = nom; }

private:
    bool refuser(const QString& chemin, QString* erreur) const;

    QString m_nom;
    bool m_protege = false;
};
