#include "accounts/gestion_fichier_message.h"

#include "core/date_time.h"

#include "core/trace.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>

#include <sys/stat.h>

namespace {

// Bound on the files of one day (256 messages each): a guard against a loop on
// a damaged folder, far above any real day.
constexpr int kMaxFichiersJour = 100000;

qint32 lireInt32(const QByteArray& b, qsizetype pos) {
    return qFromLittleEndian<qint32>(b.constData() + pos);
}

void ecrireInt32(QByteArray& b, qsizetype pos, qint32 v) {
    qToLittleEndian<qint32>(v, b.data() + pos);
}

qsizetype positionCase(int i) {
    return 3 + qsizetype(i) * 8;
}

void poser(QString* erreur, const QString& texte) {
    if (erreur) *erreur = texte;
}

// The day of a reception date read from an index record, which may be
// damaged: NaN or a value beyond the date range must not reach the integer
// cast. Such a message is looked for under the nearest valid day.
int jourReception(TDateTime reception) {
    constexpr int kPremierJour = -693593; // 0001-01-01
    constexpr int kDernierJour = 2958465; // 9999-12-31
    if (std::isnan(reception)) return 0;
    if (reception < kPremierJour) return kPremierJour;
    if (reception > kDernierJour) return kDernierJour;
    return datetime::jour(reception);
}

} // namespace

QByteArray TGestionFichierMessage::EnteteVide() {
    QByteArray entete(kTailleEntete, '\0');
    entete[0] = 1;
    qToLittleEndian<qint16>(kNbCases, entete.data() + 1);
    return entete;
}

QString TGestionFichierMessage::CheminFichier(int jour, int k) const {
    if (jour != m_jourChemin || m_prefixeJour.isEmpty()) {
        const QDate date = datetime::versDate(jour);
        m_prefixeJour = m_repertoire + date.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('-');
        m_jourChemin = jour;
    }
    return m_prefixeJour + QString::number(k) + QStringLiteral(".news");
}

bool TGestionFichierMessage::Chercher(qint32 numero, int jour, bool creer, TPosition& pos,
                                      QString* erreur, QFile* garde) {
    pos = TPosition();
    QFile local;
    QFile& f = garde ? *garde : local;
    for (int k = 1; k <= kMaxFichiersJour; ++k) {
        const QString chemin = CheminFichier(jour, k);
        f.close();
        f.setFileName(chemin);
        struct stat st {};
        if (::stat(QFile::encodeName(chemin).constData(), &st) != 0) {
            m_entetes.remove(chemin);
            // Only a file that does not exist is created: one that failed to
            // open keeps its texts.
            if (creer) {
                if (!f.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered)) {
                    poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
                    return false;
                }
                const QByteArray entete = EnteteVide();
                if (f.write(entete) != entete.size() || !f.flush()) {
                    poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
                    f.close();
                    QFile::remove(chemin);
                    return false;
                }
            }
            pos.k = k;
            pos.caseLibre = 0;
            return true;
        }
        // A header read before is used again while the file is the same one,
        // unchanged since (any write or permission change moves its times).
        const qint64 modification = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        const qint64 changement = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        const auto connu = m_entetes.constFind(chemin);
        const bool memorise = connu != m_entetes.cend() && connu->taille == qint64(st.st_size) &&
                              connu->modification == modification &&
                              connu->changement == changement && connu->inode == quint64(st.st_ino);
        QByteArray entete;
        qint64 tailleFichier = 0;
        // Read-write when possible: a corrupt slot is invalidated in the file.
        auto ouvrir = [&] {
            // Unbuffered: the header alone is read, not a whole buffer's worth.
            constexpr auto sansTampon = QIODevice::Unbuffered;
            return f.open(QIODevice::ReadWrite | sansTampon) ||
                   (!creer && f.open(QIODevice::ReadOnly | sansTampon));
        };
        if (memorise) {
            entete = connu->entete;
            tailleFichier = connu->taille;
        } else {
            if (!ouvrir()) {
                poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
                return false;
            }
            entete = f.read(kTailleEntete);
            tailleFichier = f.size();
            if (entete.size() == kTailleEntete &&
                lireInt32(entete, positionCase(kNbCases - 1)) != 0) {
                m_entetes.insert(chemin, {qint64(st.st_size), modification, changement,
                                          quint64(st.st_ino), entete});
            } else {
                m_entetes.remove(chemin);
            }
        }
        if (entete.size() < kTailleEntete) {
            // A truncated header: the missing slots are free. Made whole on
            // disk before any text is appended behind it.
            const qsizetype lu = entete.size();
            entete.append(QByteArray(kTailleEntete - lu, '\0'));
            if (lu < 3) {
                entete[0] = 1;
                qToLittleEndian<qint16>(kNbCases, entete.data() + 1);
            }
            if (creer) {
                if (!f.seek(0) || f.write(entete) != entete.size() || !f.flush()) {
                    poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
                    return false;
                }
                tailleFichier = kTailleEntete;
            }
            Trace(QStringLiteral("Fichier de messages tronqué : ") + chemin);
        }
        // Offsets are clamped into the file, and every file has 256 slots
        // whatever its header says.
        auto borne = [tailleFichier](qint64 v) {
            return std::clamp<qint64>(v, kTailleEntete,
                                      std::max<qint64>(tailleFichier, kTailleEntete));
        };
        // A damaged header may hold a free slot before used ones: such a hole
        // is skipped, since a text put there would end at the next slot's
        // offset, before its own start, and could never be read back.
        int dernierUtilise = -1;
        for (int i = kNbCases - 1; i >= 0 && dernierUtilise < 0; --i)
            if (lireInt32(entete, positionCase(i)) != 0) dernierUtilise = i;
        for (int i = 0; i < kNbCases; ++i) {
            const qint32 num = lireInt32(entete, positionCase(i));
            if (num == 0) {
                if (i < dernierUtilise) continue;
                pos.k = k;
                pos.caseLibre = i;
                return true;
            }
            if (num != numero) continue;
            const qint64 debut = borne(lireInt32(entete, positionCase(i) + 4));
            qint64 fin = std::max<qint64>(tailleFichier, kTailleEntete);
            for (int j = i + 1; j <= dernierUtilise; ++j) {
                if (lireInt32(entete, positionCase(j)) != 0) {
                    fin = borne(lireInt32(entete, positionCase(j) + 4));
                    break;
                }
            }
            if (fin - debut < 1) {
                Trace(QStringLiteral("Message %1 invalide dans %2").arg(numero).arg(chemin));
                m_entetes.remove(chemin);
                if (!f.isOpen()) ouvrir();
                if (f.isWritable()) {
                    QByteArray moins(4, '\0');
                    ecrireInt32(moins, 0, -1);
                    if (f.seek(positionCase(i))) f.write(moins);
                }
                // The next slots of this file are still searched: a file
                // with a free slot ends every lookup, so the text cannot be in
                // a later file.
                continue;
            }
            pos.k = k;
            pos.trouve = true;
            pos.debut = debut;
            pos.taille = fin - debut;
            return true;
        }
    }
    poser(erreur, QStringLiteral("Trop de fichiers de messages pour le jour"));
    return false;
}

bool TGestionFichierMessage::Ajouter(qint32 numero, TDateTime reception, const QByteArray& texte,
                                     QString* erreur, bool* dejaPresent) {
    if (dejaPresent) *dejaPresent = false;
    TPosition pos;
    // The file the search opened (to read its header, or to create it) is
    // written through the same handle.
    QFile f;
    if (!Chercher(numero, jourReception(reception), true, pos, erreur, &f)) return false;
    if (pos.trouve) {
        if (dejaPresent) *dejaPresent = true;
        return true;
    }
    const QString chemin = CheminFichier(jourReception(reception), pos.k);
    if (!f.isOpen() || !f.isWritable() || f.fileName() != chemin) {
        f.close();
        f.setFileName(chemin);
        if (!f.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
            poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
            return false;
        }
    }
    const qint64 taille = std::max<qint64>(f.size(), kTailleEntete);
    if (taille + texte.size() > std::numeric_limits<qint32>::max()) {
        poser(erreur, chemin + QStringLiteral(" : fichier trop grand"));
        return false;
    }
    m_entetes.remove(chemin);
    QByteArray caseMessage(8, '\0');
    ecrireInt32(caseMessage, 0, numero);
    ecrireInt32(caseMessage, 4, qint32(taille));
    const bool ok = f.seek(positionCase(pos.caseLibre)) &&
                    f.write(caseMessage) == caseMessage.size() && f.seek(taille) &&
                    f.write(texte) == texte.size() && f.flush();
    if (!ok) {
        poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
        // Free the slot again rather than leave it pointing at a partial text.
        const QByteArray libre(8, '\0');
        if (f.seek(positionCase(pos.caseLibre))) f.write(libre);
        f.resize(taille);
        return false;
    }
    return true;
}

TGestionFichierMessage::TResultat TGestionFichierMessage::Lire(qint32 numero, TDateTime reception,
                                                               QByteArray& texte, qint32 tailleMax,
                                                               QString* erreur) {
    texte.clear();
    TPosition pos;
    if (!Chercher(numero, jourReception(reception), false, pos, erreur)) return TResultat::Erreur;
    if (!pos.trouve) return TResultat::Absent;
    const QString chemin = CheminFichier(jourReception(reception), pos.k);
    QFile f(chemin);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(pos.debut)) {
        poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
        return TResultat::Erreur;
    }
    const qint64 aLire = tailleMax > 0 ? std::min<qint64>(tailleMax, pos.taille) : pos.taille;
    texte = f.read(aLire);
    if (texte.size() != aLire) {
        poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
        texte.clear();
        return TResultat::Erreur;
    }
    return TResultat::Trouve;
}

bool TGestionFichierMessage::Present(qint32 numero, TDateTime reception) {
    TPosition pos;
    return Chercher(numero, jourReception(reception), false, pos, nullptr) && pos.trouve;
}
