#pragma once
// The message texts of one account's archive, in per-day data files
// "yyyymmdd-k.news": a 2051-byte header of 256 slots (message number, offset)
// followed by the texts, appended in slot order.

#include "core/date_time.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class QFile;

class TGestionFichierMessage {
public:
    static constexpr int kNbCases = 256;
    static constexpr int kTailleEntete = 3 + kNbCases * 8; // 2051

    // The account's folder (with its trailing "/"); "X" when no account is open.
    void setRepertoire(const QString& repertoire) {
        m_repertoire = repertoire;
        m_entetes.clear();
        m_jourChemin = -1;
    }
    QString Repertoire() const { return m_repertoire; }
    QString CheminFichier(int jour, int k) const;

    // Stores the text unless the number already has one that day. Returns
    // false with the reason when the data file cannot be opened, created or
    // written. `dejaPresent` tells that the number was found (nothing written).
    bool Ajouter(qint32 numero, TDateTime reception, const QByteArray& texte,
                 QString* erreur = nullptr, bool* dejaPresent = nullptr);

    enum class TResultat { Trouve, Absent, Erreur };
    // Reads the text (at most `tailleMax` bytes when above 0).
    TResultat Lire(qint32 numero, TDateTime reception, QByteArray& texte, qint32 tailleMax = 0,
                   QString* erreur = nullptr);
    // Whether the day's files hold a text for the number.
    bool Present(qint32 numero, TDateTime reception);

    // An empty data file header (byte 1, 256 slots, all free).
    static QByteArray EnteteVide();

private:
    struct TPosition {
        int k = 0;
        int caseLibre = -1; // free slot of file k when not found
        bool trouve = false;
        qint64 debut = 0;
        qint64 taille = 0;
    };
    // Walks the day's files. With `creer`, a missing file is created empty.
    // `garde`, when given, is left open on the file of `pos` if the search
    // opened it.
    bool Chercher(qint32 numero, int jour, bool creer, TPosition& pos, QString* erreur,
                  QFile* garde = nullptr);

    // Header of a full data file as last read, with what stat said of the file
    // then: a busy day's full files are not read again for every new message.
    // A file with free slots is always read (its next slot is being written).
    struct TEnteteLu {
        qint64 taille = -1;
        qint64 modification = 0; // ns
        qint64 changement = 0;   // ns
        quint64 inode = 0;
        QByteArray entete;
    };
    QHash<QString, TEnteteLu> m_entetes;
    mutable int m_jourChemin = -1;
    mutable QString m_prefixeJour; // directory + "yyyyMMdd-" of m_jourChemin

    QString m_repertoire;
};
