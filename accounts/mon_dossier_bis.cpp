#include "accounts/mon_dossier_bis.h"

#include "core/safe_save.h"
#include "core/trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

constexpr qsizetype kMorceauVariable = 512000;
constexpr int kEssaisNumero = 100000;

template <typename T> T lire(const char* p) {
    return qFromLittleEndian<T>(p);
}

// How many times each account's index was saved in this run, by any view.
QHash<QString, quint64>& generations() {
    static QHash<QString, quint64> g;
    return g;
}

// The head of a variable record: its length, its number and the lengths of
// its three texts, which follow the head.
struct TTeteVariable {
    qint32 longueur = 0;
    qint32 numero = 0;
    quint16 l1 = 0, l2 = 0, l3 = 0;
};

// False when the length does not agree with the three texts or goes past
// the `reste` bytes at `p`.
bool lireTeteVariable(const char* p, qsizetype reste, TTeteVariable& t) {
    if (reste < TMonDossierBis::kTailleMiniVar) return false;
    t = {lire<qint32>(p), lire<qint32>(p + 4), lire<quint16>(p + 8), lire<quint16>(p + 10),
         lire<quint16>(p + 12)};
    return t.longueur == TMonDossierBis::kTailleMiniVar + t.l1 + t.l2 + t.l3 && t.longueur <= reste;
}

void poserTextes(TUnMessageMem& m, const char* textes, const TTeteVariable& t) {
    m.Sujet = QByteArray(textes, t.l1);
    m.Emetteur = QByteArray(textes + t.l1, t.l2);
    m.ReponseDNSBL = QByteArray(textes + t.l1 + t.l2, t.l3);
}

void poser(QString* erreur, const QString& texte) {
    if (erreur) *erreur = texte;
}

bool ecrireComplet(const QString& chemin, const QByteArray& contenu, QString* erreur) {
    QFile f(chemin);
    bool ok = f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              f.write(contenu) == contenu.size() && f.flush() && ::fsync(f.handle()) == 0;
    if (!ok) {
        poser(erreur, chemin + QStringLiteral(" : ") + f.errorString());
        f.close();
        QFile::remove(chemin);
    }
    return ok;
}

// An account whose records could not be saved, and stays in memory.
void tracerNonSauvegardee(qint32 compte) {
    TraceFormat(-1, QStringLiteral("Archive %d non sauvegardée : reste ouverte"), compte);
}

// An account given up unsaved: its unreadable index is never written over.
void tracerIndexIllisible(qint32 compte, int nbMessages) {
    TraceFormat(-1,
                QStringLiteral("Archive %d : index illisible conservé, %d enregistrement(s) "
                               "non sauvegardé(s)"),
                compte, nbMessages);
}

// The account put aside in `cotes`, or its end.
template <typename Cotes> auto chercherDeCote(Cotes& cotes, qint32 compte) {
    return std::find_if(cotes.begin(), cotes.end(),
                        [compte](const auto& c) { return c->compte == compte; });
}

bool renommer(const QString& de, const QString& vers) {
    return ::rename(QFile::encodeName(de).constData(), QFile::encodeName(vers).constData()) == 0;
}

} // namespace

TMonDossierBis::~TMonDossierBis() {
    Fermer();
}

void TMonDossierBis::setRepertoireDossiers(const QString& repertoire) {
    // The accounts put aside belong to the old directory.
    fermerDeCote();
    m_cotes.clear();
    m_repDossiers = repertoire;
    if (!m_repDossiers.isEmpty() && !m_repDossiers.endsWith(QLatin1Char('/'))) {
        m_repDossiers += QLatin1Char('/');
    }
}

QString TMonDossierBis::CheminFixe() const {
    return m_repDossiers + QString::number(m_compte) + QStringLiteral("-var.qdl");
}

QString TMonDossierBis::CheminVariable() const {
    return m_repDossiers + QString::number(m_compte) + QStringLiteral("-fix.qdl");
}

QString TMonDossierBis::CleIndex() const {
    return QFileInfo(CheminFixe()).absoluteFilePath();
}

QString TMonDossierBis::CheminNumero() const {
    return m_repDossiers + QString::number(m_compte) + QStringLiteral("/numero.qdl");
}

QString TMonDossierBis::CheminJournal() const {
    return m_repDossiers + QString::number(m_compte) + QStringLiteral("/journal.qdl");
}

// --- byte layouts -----------------------------------------------------------

QByteArray TMonDossierBis::CoderFixe(const TUnMessageMem& m) {
    QByteArray r(kTailleFixe, '\0');
    char* p = r.data();
    p[0] = char(kTailleFixe);
    qToLittleEndian<qint32>(m.Numero, p + 1);
    double reception = m.Reception;
    quint64 bits;
    std::memcpy(&bits, &reception, sizeof bits);
    qToLittleEndian<quint64>(bits, p + 9);
    qToLittleEndian<quint16>(quint16(m.NbLignes), p + 21);
    qToLittleEndian<qint32>(m.Taille, p + 23);
    p[27] = char(m.Drapeaux());
    qToLittleEndian<qint16>(m.TailleEntete, p + 28);
    qToLittleEndian<qint32>(m.ServeurDNSBL, p + 30);
    qToLittleEndian<qint32>(m.ProbaBayes, p + 34);
    return r;
}

bool TMonDossierBis::DecoderFixe(const char* p, TUnMessageMem& m) {
    m.Numero = lire<qint32>(p + 1);
    const quint64 bits = lire<quint64>(p + 9);
    std::memcpy(&m.Reception, &bits, sizeof bits);
    m.NbLignes = lire<quint16>(p + 21);
    m.Taille = lire<qint32>(p + 23);
    m.setDrapeaux(quint8(p[27]));
    m.TailleEntete = lire<qint16>(p + 28);
    m.ServeurDNSBL = lire<qint32>(p + 30);
    m.ProbaBayes = lire<qint32>(p + 34);
    return m.Numero >= 1;
}

void TMonDossierBis::LimiterLongueurs(qsizetype& l1, qsizetype& l2, qsizetype& l3) {
    if (l1 + l2 + l3 < 1990) return;
    l1 = std::min<qsizetype>(l1, 998);
    l2 = std::min<qsizetype>(l2, 998);
    l3 = std::min<qsizetype>(l3, 998);
    if (l1 + l2 + l3 >= 1990) l2 = std::max<qsizetype>(0, 1990 - l1 - l3);
}

QByteArray TMonDossierBis::CoderVariable(const TUnMessageMem& m) {
    qsizetype l1 = m.Sujet.size(), l2 = m.Emetteur.size(), l3 = m.ReponseDNSBL.size();
    LimiterLongueurs(l1, l2, l3);
    QByteArray r(kTailleMiniVar, '\0');
    char* p = r.data();
    qToLittleEndian<qint32>(qint32(kTailleMiniVar + l1 + l2 + l3), p);
    qToLittleEndian<qint32>(m.Numero, p + 4);
    qToLittleEndian<quint16>(quint16(l1), p + 8);
    qToLittleEndian<quint16>(quint16(l2), p + 10);
    qToLittleEndian<quint16>(quint16(l3), p + 12);
    r += m.Sujet.left(l1);
    r += m.Emetteur.left(l2);
    r += m.ReponseDNSBL.left(l3);
    return r;
}

QByteArray TMonDossierBis::SerialiserFixe() const {
    QByteArray r;
    r.reserve(kTailleEnteteFixe + qsizetype(m_messages.size()) * kTailleFixe);
    for (const auto& m : m_messages) {
        if (!m->Supprime) r += CoderFixe(*m);
    }
    if (r.isEmpty()) return r; // no record: the file is deleted
    return QByteArray("VERSION=") + QByteArray::number(kVersion) + "\r\n" + r;
}

QByteArray TMonDossierBis::SerialiserVariable() const {
    QByteArray r;
    for (const auto& m : m_messages) {
        if (!m->Supprime) r += CoderVariable(*m);
    }
    return r;
}

int TMonDossierBis::Deserialiser(const QByteArray& fixe, const QByteArray& variable) {
    Vider();
    int version = 0;
    qsizetype pos = 0;
    if (fixe.size() >= kTailleEnteteFixe && fixe.startsWith("VERSION=")) {
        version = fixe.at(8) - '0';
        pos = kTailleEnteteFixe;
    }
    const qsizetype total = std::max<qsizetype>(fixe.size(), 1);
    int pourcent = -1;
    for (; pos + kTailleFixe <= fixe.size(); pos += kTailleFixe) {
        auto m = std::make_unique<TUnMessageMem>();
        if (!DecoderFixe(fixe.constData() + pos, *m)) {
            TraceFormat(-1, QStringLiteral("Archive %d : enregistrement n°%d ignoré"), m_compte,
                        m->Numero);
        } else {
            m_messages.push_back(std::move(m));
        }
        const int p = int((pos + kTailleFixe) * 100 / total);
        if (p != pourcent && OnAvancement) OnAvancement(*this, p);
        pourcent = p;
    }
    if (pos < fixe.size()) {
        TraceFormat(-1, QStringLiteral("Archive %d : fin d'index tronquée (%d octets)"), m_compte,
                    int(fixe.size() - pos));
    }

    // Variable records: a length must be at least 14, agree with its three
    // text lengths and stay inside the buffer; the first that does not ends
    // the readable part.
    struct TTextes {
        qsizetype debut;
        TTeteVariable tete;
    };
    QHash<qint32, TTextes> textes;
    qsizetype v = 0;
    qsizetype prochainPalier = kMorceauVariable;
    while (v + kTailleMiniVar <= variable.size()) {
        TTeteVariable t;
        if (!lireTeteVariable(variable.constData() + v, variable.size() - v, t)) {
            TraceFormat(-1, QStringLiteral("Archive %d : index variable illisible à l'octet %d"),
                        m_compte, int(v));
            break;
        }
        if (!textes.contains(t.numero)) textes.insert(t.numero, {v + kTailleMiniVar, t});
        v += t.longueur;
        if (v >= prochainPalier && OnAvancement) {
            OnAvancement(*this, int(v * 100 / variable.size()));
            prochainPalier += kMorceauVariable;
        }
    }
    if (v < variable.size() && v + kTailleMiniVar > variable.size()) {
        TraceFormat(-1, QStringLiteral("Archive %d : fin d'index variable tronquée"), m_compte);
    }
    if (OnAvancement && !variable.isEmpty()) OnAvancement(*this, 100);
    for (auto& m : m_messages) {
        const auto it = textes.constFind(m->Numero);
        if (it == textes.cend()) continue;
        poserTextes(*m, variable.constData() + it->debut, it->tete);
    }

    FixeModifie = VarModifie = (version != kVersion);
    trierParNumero();
    if (!m_messages.empty()) m_numeroMax = std::max(m_numeroMax, m_messages.back()->Numero);
    return version;
}

// --- open, load, save ---------------------------------------------------------

void TMonDossierBis::trierParNumero() {
    std::stable_sort(m_messages.begin(), m_messages.end(),
                     [](const auto& a, const auto& b) { return a->Numero < b->Numero; });
    for (size_t i = 0; i < m_messages.size(); ++i)
        m_messages[i]->Index = int(i);
}

void TMonDossierBis::Vider() {
    m_messages.clear();
}

bool TMonDossierBis::Ouvrir(TUnCompteBis* compte) {
    if (compte && compte->Numero == m_compte) {
        if (Actualiser()) compte->DernierNumero = DernierNumMessage();
        return true;
    }
    bool ok = true;
    if (m_compte >= 0) {
        // An unreadable index is never kept aside: it could never be saved.
        const bool deCote = compte && GarderComptes && !IndexProtege();
        // The journal holds additions only; anything else reaches the index first.
        if ((!deCote || m_horsJournal) && !Sauver()) {
            ok = false;
            if (!IndexProtege()) {
                // The records not yet on disk would go with the list: the account
                // stays open, and the next change or close tries again.
                tracerNonSauvegardee(m_compte);
                return false;
            }
            // An unreadable index is never written over, so these records could
            // never be saved; holding the account would only keep the others out.
            tracerIndexIllisible(m_compte, NbMessage());
        } else if (deCote) {
            mettreDeCote();
        }
    }
    if (compte && reprendre(compte->Numero)) {
        compte->DernierNumero = DernierNumMessage();
        return ok;
    }
    TickOuverture = tick::GetTickCount();
    lacher();
    if (!compte) return fermerDeCote() && ok;
    m_compte = compte->Numero;
    const QString dossier = m_repDossiers + QString::number(m_compte) + QLatin1Char('/');
    m_fichiers.setRepertoire(dossier);
    QDir().mkpath(dossier);
    Charger();
    compte->DernierNumero = DernierNumMessage();
    return ok;
}

bool TMonDossierBis::Fermer() {
    const bool ok = m_compte >= 0 ? Sauver() : true;
    return fermerDeCote() && ok;
}

bool TMonDossierBis::SauverCompte(qint32 compte) {
    if (compte < 0) return true;
    if (compte == m_compte) return Sauver();
    const auto it = chercherDeCote(m_cotes, compte);
    return it == m_cotes.end() || sauverDeCote(**it);
}

bool TMonDossierBis::FermerCompte(qint32 compte) {
    if (compte < 0) return true;
    if (compte == m_compte) {
        if (!Sauver()) return false;
        lacher();
        return true;
    }
    const auto it = chercherDeCote(m_cotes, compte);
    if (it == m_cotes.end()) return true;
    if (!sauverDeCote(**it)) return false;
    m_cotes.erase(it);
    return true;
}

void TMonDossierBis::lacher() {
    Vider();
    m_numeroMax = 0;
    m_index.Liberer();
    m_horsJournal = false;
    FixeModifie = VarModifie = false;
    m_compte = -1;
    m_fichiers.setRepertoire(QStringLiteral("X"));
}

bool TMonDossierBis::Contient(qint32 compte) const {
    if (compte < 0) return false;
    return compte == m_compte || chercherDeCote(m_cotes, compte) != m_cotes.end();
}

// --- accounts put aside ---------------------------------------------------------

void TMonDossierBis::echanger(TCompteDeCote& c) {
    using std::swap;
    swap(m_messages, c.messages);
    swap(m_fichiers, c.fichiers);
    swap(m_compte, c.compte);
    swap(m_numeroMax, c.numeroMax);
    swap(m_index, c.index);
    swap(m_journalIllisible, c.journalIllisible);
    swap(m_horsJournal, c.horsJournal);
    swap(m_generation, c.generation);
    swap(FixeModifie, c.fixeModifie);
    swap(VarModifie, c.varModifie);
    swap(TickOuverture, c.tickOuverture);
}

void TMonDossierBis::mettreDeCote() {
    auto c = std::make_unique<TCompteDeCote>();
    c->index.setNom(m_index.Nom());
    echanger(*c);
    m_cotes.push_back(std::move(c));
    limiterDeCote();
}

bool TMonDossierBis::reprendre(qint32 compte) {
    const auto it = chercherDeCote(m_cotes, compte);
    if (it == m_cotes.end()) return false;
    std::unique_ptr<TCompteDeCote> c = std::move(*it);
    m_cotes.erase(it);
    echanger(*c);
    // Another view may have saved it meanwhile.
    Actualiser();
    return true;
}

bool TMonDossierBis::sauverDeCote(TCompteDeCote& c) {
    echanger(c);
    const bool ok = Sauver();
    echanger(c);
    return ok;
}

void TMonDossierBis::limiterDeCote() {
    qsizetype total = 0;
    for (const auto& c : m_cotes)
        total += qsizetype(c->messages.size());
    for (auto it = m_cotes.begin(); total > MaxMessagesDeCote && it != m_cotes.end();) {
        const qsizetype n = qsizetype((*it)->messages.size());
        // One that cannot be saved stays: its records exist nowhere else.
        if (sauverDeCote(**it) || (*it)->index.Protege()) {
            total -= n;
            it = m_cotes.erase(it);
        } else {
            ++it;
        }
    }
}

bool TMonDossierBis::fermerDeCote() {
    bool ok = true;
    for (auto it = m_cotes.begin(); it != m_cotes.end();) {
        if (sauverDeCote(**it)) {
            it = m_cotes.erase(it);
            continue;
        }
        ok = false;
        if ((*it)->index.Protege()) {
            tracerIndexIllisible((*it)->compte, int((*it)->messages.size()));
            it = m_cotes.erase(it);
        } else {
            tracerNonSauvegardee((*it)->compte);
            ++it;
        }
    }
    return ok;
}

void TMonDossierBis::Restaurer() {
    const QString fixe = CheminFixe(), variable = CheminVariable();
    const QString bakFixe = sauvegarde::cheminBak(fixe),
                  bakVariable = sauvegarde::cheminBak(variable);
    // Temporary files of an interrupted save never replaced anything.
    QFile::remove(sauvegarde::cheminTemporaire(fixe));
    QFile::remove(sauvegarde::cheminTemporaire(variable));
    if (!QFileInfo::exists(bakFixe) && !QFileInfo::exists(bakVariable)) return;
    bool restaurer = true;
    if (OnProblemeSauvegarde) OnProblemeSauvegarde(*this, kQuoiArchive, fixe, restaurer);
    if (!restaurer) return;
    for (const auto& [fichier, bak] :
         {std::pair{fixe, bakFixe}, std::pair{variable, bakVariable}}) {
        if (!QFileInfo::exists(bak)) continue;
        QFile::remove(fichier);
        if (renommer(bak, fichier)) {
            Trace(QStringLiteral("Archive restaurée : ") + fichier);
        } else {
            TraceException(u"restauration archive", fichier);
        }
    }
}

bool TMonDossierBis::Charger() {
    Vider();
    if (m_compte < 0) return true;
    Restaurer();
    m_index.Liberer();
    m_generation = generations().value(CleIndex());
    const QString fixe = CheminFixe(), variable = CheminVariable();
    bool ok = true;
    // The fixed records are the messages: they load even when the variable
    // file is gone (their texts are then empty), so the next save cannot
    // replace them with the new messages alone.
    if (QFileInfo::exists(fixe)) {
        QByteArray contenuFixe, contenuVariable;
        const bool avecVariable = QFileInfo::exists(variable);
        // An index that exists but cannot be read is kept: no save may
        // replace it with a shorter one.
        if (m_index.Lire(fixe, contenuFixe) == sauvegarde::TEtatLecture::Illisible ||
            (avecVariable &&
             m_index.Lire(variable, contenuVariable) == sauvegarde::TEtatLecture::Illisible)) {
            ok = false;
        } else {
            Deserialiser(contenuFixe, contenuVariable);
            if (!avecVariable) {
                Trace(QStringLiteral("Archive sans index variable : ") + variable);
                VarModifie = true;
            }
        }
    } else {
        FixeModifie = VarModifie = false;
    }
    // An older format or a lost variable index: only a save puts it right.
    m_horsJournal = FixeModifie || VarModifie;
    QFile f(CheminNumero());
    if (f.open(QIODevice::ReadOnly)) {
        m_numeroMax = std::max(m_numeroMax, f.readAll().trimmed().toInt());
    }
    // Records added since the last save, by a run that ended without saving.
    if (ok && ReprendreJournal() > 0) FixeModifie = VarModifie = true;
    return ok;
}

int TMonDossierBis::ReprendreJournal() {
    m_journalIllisible = false;
    QFile f(CheminJournal());
    if (!f.exists()) return 0;
    if (!f.open(QIODevice::ReadOnly)) {
        // Kept: the save that follows must not delete what it could not merge.
        m_journalIllisible = true;
        TraceFormat(-1, QStringLiteral("Archive %d : journal illisible : %s"), m_compte,
                    f.errorString());
        return 0;
    }
    const QByteArray j = f.readAll();
    QSet<qint32> presents;
    for (const auto& m : m_messages)
        presents.insert(m->Numero);
    int repris = 0;
    qsizetype pos = 0;
    while (pos < j.size()) {
        // One entry: the fixed record, then the variable record of the same number.
        const char* p = j.constData() + pos;
        const qsizetype reste = j.size() - pos;
        if (reste < kTailleFixe + kTailleMiniVar || quint8(p[0]) != kTailleFixe) break;
        auto m = std::make_unique<TUnMessageMem>();
        if (!DecoderFixe(p, *m)) break;
        const char* v = p + kTailleFixe;
        TTeteVariable t;
        if (!lireTeteVariable(v, reste - kTailleFixe, t) || t.numero != m->Numero) break;
        poserTextes(*m, v + kTailleMiniVar, t);
        pos += kTailleFixe + t.longueur;
        if (presents.contains(m->Numero)) continue;
        presents.insert(m->Numero);
        m_numeroMax = std::max(m_numeroMax, m->Numero);
        m_messages.push_back(std::move(m));
        ++repris;
    }
    if (pos < j.size()) {
        // The entry being written when the program stopped; its text, if any,
        // keeps its number from being handed out again.
        TraceFormat(-1, QStringLiteral("Archive %d : fin de journal tronquée (%d octets)"),
                    m_compte, int(j.size() - pos));
    }
    if (repris > 0) {
        trierParNumero();
        TraceFormat(-1, QStringLiteral("Archive %d : %d message(s) repris du journal"), m_compte,
                    repris);
    }
    return repris;
}

bool TMonDossierBis::Journaliser(const TUnMessageMem& m, QString* erreur) {
    const QByteArray entree = CoderFixe(m) + CoderVariable(m);
    // No sync: what reached the system survives the program's end, and a
    // save per message would cost more than the relay itself.
    QString raison;
    if (sauvegarde::ajouter(CheminJournal(), entree, &raison)) return true;
    poser(erreur, CheminJournal() + QStringLiteral(" : ") + raison);
    return false;
}

bool TMonDossierBis::Perime() const {
    return m_compte >= 0 && generations().value(CleIndex()) != m_generation;
}

bool TMonDossierBis::Actualiser() {
    if (!Perime()) return false;
    if (FixeModifie || VarModifie) {
        Fusionner();
    } else {
        Charger();
    }
    return true;
}

void TMonDossierBis::Fusionner() {
    std::vector<std::unique_ptr<TUnMessageMem>> miens = std::move(m_messages);
    const qint32 numeroMax = m_numeroMax;
    // Only a view that keeps accounts changes its records through its methods
    // alone, so only there does the flag say all.
    const bool ajoutsSeuls = GarderComptes && !m_horsJournal;
    const bool ok = Charger();
    if (!ok) {
        // Unreadable now: this view's records stay, and the index is protected.
        m_messages = std::move(miens);
        FixeModifie = VarModifie = true;
        m_horsJournal = true;
        return;
    }
    if (ajoutsSeuls && !m_journalIllisible) {
        // This view only added, and its additions are in the files or the
        // journal just read: the files' records win, the other view's
        // deletions included. The records stay where they are (a caller may
        // hold one); one the files no longer have is marked deleted.
        QHash<qint32, TUnMessageMem*> lus;
        for (const auto& m : m_messages)
            lus.insert(m->Numero, m.get());
        for (auto& m : miens) {
            if (const TUnMessageMem* lu = lus.value(m->Numero)) {
                *m = *lu;
            } else if (!m->Supprime) {
                m->Supprime = true;
                m_horsJournal = true;
            }
        }
    } else {
        // This view's records win: they differ from the files now.
        m_horsJournal = true;
    }
    QSet<qint32> numeros;
    for (const auto& m : miens)
        numeros.insert(m->Numero);
    for (auto& m : m_messages) {
        if (!numeros.contains(m->Numero)) miens.push_back(std::move(m));
    }
    m_messages = std::move(miens);
    trierParNumero();
    m_numeroMax = std::max(m_numeroMax, numeroMax);
    if (!m_messages.empty()) m_numeroMax = std::max(m_numeroMax, m_messages.back()->Numero);
    FixeModifie = VarModifie = true;
}

bool TMonDossierBis::Sauver(QString* erreur) {
    if (m_compte < 0) return true;
    if (FixeModifie || VarModifie) Actualiser();
    if (IndexProtege()) {
        // Refused (and traced) without writing anything.
        return m_index.SauverAvec(CheminFixe(), {}, erreur);
    }
    if (FixeModifie) VarModifie = true;
    if (!VarModifie) return true;
    QString raison;
    const bool ok = EcrireIndex(&raison);
    if (!ok) {
        TraceException(u"sauvegarde archive", raison);
        poser(erreur, raison);
    }
    TickOuverture = tick::GetTickCount();
    return ok;
}

bool TMonDossierBis::EcrireIndex(QString* erreur) {
    QDir().mkpath(m_repDossiers);
    const QString variable = CheminVariable(), fixe = CheminFixe();
    const QString bakVariable = sauvegarde::cheminBak(variable),
                  bakFixe = sauvegarde::cheminBak(fixe);
    const QString tmpVariable = sauvegarde::cheminTemporaire(variable),
                  tmpFixe = sauvegarde::cheminTemporaire(fixe);
    // Another view's records that are only in the journal go into this save,
    // which then replaces the journal.
    if (ReprendreJournal() > 0) FixeModifie = true;
    const bool ecrireFixe = FixeModifie;
    const QByteArray contenuVariable = SerialiserVariable();
    const QByteArray contenuFixe = ecrireFixe ? SerialiserFixe() : QByteArray();

    // Both new files are whole on disk before either old one steps aside, so
    // an interruption at any point leaves a complete pair: the new files, or
    // the old ones under ".bak" that the next load puts back.
    if (!contenuVariable.isEmpty() && !ecrireComplet(tmpVariable, contenuVariable, erreur)) {
        return false;
    }
    if (ecrireFixe && !contenuFixe.isEmpty() && !ecrireComplet(tmpFixe, contenuFixe, erreur)) {
        QFile::remove(tmpVariable);
        return false;
    }
    auto echec = [&](const QString& fichier) {
        poser(erreur, fichier + QStringLiteral(" : renommage impossible"));
        TraceException(u"sauvegarde archive", fichier);
        QFile::remove(tmpVariable);
        QFile::remove(tmpFixe);
        return false;
    };
    QFile::remove(bakVariable);
    if (QFileInfo::exists(variable) && !renommer(variable, bakVariable)) return echec(variable);
    if (!contenuVariable.isEmpty() && !renommer(tmpVariable, variable)) return echec(variable);
    if (ecrireFixe) {
        QFile::remove(bakFixe);
        if (QFileInfo::exists(fixe) && !renommer(fixe, bakFixe)) return echec(fixe);
        if (!contenuFixe.isEmpty() && !renommer(tmpFixe, fixe)) return echec(fixe);
    }
    // The variable backup goes first: a fixed backup left alone brings back
    // the older records, whose texts the new variable index still holds. The
    // other way round, new records would come back without their texts.
    QFile::remove(bakVariable);
    if (ecrireFixe) QFile::remove(bakFixe);
    if (!m_journalIllisible) QFile::remove(CheminJournal());
    VarModifie = false;
    FixeModifie = false;
    m_horsJournal = false;
    m_generation = ++generations()[CleIndex()];
    if (m_numeroMax > 0) {
        QString e;
        if (!sauvegarde::ecrireAtomique(CheminNumero(), QByteArray::number(m_numeroMax), &e)) {
            TraceException(u"sauvegarde archive", e);
        }
    }
    return true;
}

// --- messages -------------------------------------------------------------------

qint32 TMonDossierBis::PremierNumMessage() const {
    for (const auto& m : m_messages) {
        if (!m->Supprime) return m->Numero;
    }
    return 0;
}

qint32 TMonDossierBis::DernierNumMessage() const {
    for (auto it = m_messages.rbegin(); it != m_messages.rend(); ++it) {
        if (!(*it)->Supprime) return (*it)->Numero;
    }
    return 0;
}

int TMonDossierBis::NbTotal() const {
    return int(std::count_if(m_messages.begin(), m_messages.end(),
                             [](const auto& m) { return !m->Supprime; }));
}

PUnMessageMem TMonDossierBis::Message(int index) const {
    if (index < 0 || index >= int(m_messages.size())) return nullptr;
    return m_messages[size_t(index)].get();
}

PUnMessageMem TMonDossierBis::ChercherNumero(qint32 numero) {
    Actualiser();
    const auto it = std::lower_bound(m_messages.begin(), m_messages.end(), numero,
                                     [](const auto& m, qint32 n) { return m->Numero < n; });
    if (it == m_messages.end() || (*it)->Numero != numero) return nullptr;
    return it->get();
}

void TMonDossierBis::MarquerSupprime(TUnMessageMem& message) {
    if (message.Supprime) return;
    message.Supprime = true;
    // Without the flags a save would skip the files and the record would
    // come back at the next load.
    FixeModifie = VarModifie = true;
    m_horsJournal = true;
}

bool TMonDossierBis::AjouterMessage(const TUnMessageMem& modele, const QByteArray& texte,
                                    PUnMessageMem* nouveau, QString* erreur) {
    if (nouveau) *nouveau = nullptr;
    if (m_compte < 0) {
        poser(erreur, QStringLiteral("aucun compte ouvert"));
        return false;
    }
    // Records added by another view keep their numbers; this view's records
    // stay where they are (the caller may hold one).
    if (Perime()) Fusionner();
    auto m = std::make_unique<TUnMessageMem>();
    // Numbers never go back, even when the newest records were deleted.
    qint32 numero = m_numeroMax;
    if (!m_messages.empty()) numero = std::max(numero, m_messages.back()->Numero);
    ++numero;
    m->Reception = modele.Reception;
    m->NbLignes = modele.NbLignes;
    m->Taille = modele.Taille;
    m->ServeurDNSBL = modele.ServeurDNSBL;
    m->ProbaBayes = modele.ProbaBayes;
    m->setDrapeaux(modele.Drapeaux());
    m->Sujet = modele.Sujet;
    m->Emetteur = modele.Emetteur;
    m->ReponseDNSBL = modele.ReponseDNSBL;
    m->TailleEntete = 0;
    m->Index = int(m_messages.size());

    // A number that already has a text that day (an index lost in a crash)
    // is skipped, so an old text is never read for the new record.
    bool ok = false, deja = true;
    QString raison;
    for (int essai = 0; essai < kEssaisNumero && deja; ++essai) {
        ok = m_fichiers.Ajouter(numero, m->Reception, texte, &raison, &deja);
        if (!ok) break;
        if (deja) ++numero;
    }
    if (ok && deja) {
        ok = false;
        raison = QStringLiteral("aucun numéro libre");
    }
    m->Numero = numero;
    // The message may be handed to the client at once: its record must
    // outlive a crash before the next save.
    if (ok) ok = Journaliser(*m, &raison);
    m_numeroMax = numero;
    PUnMessageMem p = m.get();
    m_messages.push_back(std::move(m));
    FixeModifie = VarModifie = true;
    if (!ok) m_horsJournal = true;
    if (nouveau) *nouveau = p;
    if (!ok) poser(erreur, raison);
    return ok;
}

bool TMonDossierBis::LireTexte(const TUnMessageMem& message, QByteArray& texte, bool enteteSeul,
                               QString* erreur) {
    const qint32 limite = enteteSeul && message.TailleEntete > 0 ? message.TailleEntete : 0;
    return m_fichiers.Lire(message.Numero, message.Reception, texte, limite, erreur) ==
           TGestionFichierMessage::TResultat::Trouve;
}
