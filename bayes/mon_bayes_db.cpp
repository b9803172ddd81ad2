#include "bayes/mon_bayes_db.h"

#include "bayes/bayes_doc.h"
#include "core/cp1252.h"
#include "core/record_fields.h"
#include "core/safe_save.h"
#include "core/trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace bayes {

size_t qHash(const TCleMot& cle, size_t graine) noexcept {
    // FNV-1a over the bytes with a-z folded, so equal tokens in token order hash alike.
    uint64_t h = 1469598103934665603ull ^ graine;
    for (char ch : cle.mot) {
        unsigned c = static_cast<unsigned char>(ch);
        if (c >= 'a' && c <= 'z') c -= 0x20;
        h ^= c;
        h *= 1099511628211ull;
    }
    return static_cast<size_t>(h ^ (h >> 29));
}

int32_t compteSelonMode(const TCompteMot& c, int mode, bool sansTexte) {
    switch (mode & 0x7F) {
    case 0:
    case 6:
        return ajouterSature(c.Texte, c.Html);
    case 1:
    case 7:
        return c.Texte;
    case 2:
    case 8:
        return sansTexte ? c.Html : c.Texte;
    case 3:
    case 9:
        return ajouterSature(ajouterSature(c.EnTete, c.Texte), c.Html);
    case 4:
    case 10:
        return ajouterSature(c.EnTete, c.Texte);
    case 5:
    case 11:
        return ajouterSature(c.EnTete, sansTexte ? c.Html : c.Texte);
    default:
        return 0;
    }
}

QByteArray TListeIgnoree::Texte() const {
    return m_lignes.join("\r\n");
}

void TListeIgnoree::setTexte(QByteArrayView texte) {
    Vider();
    for (QByteArrayView ligne : texte.toByteArray().split('\n')) {
        if (ligne.endsWith('\r')) ligne.chop(1);
        if (ligne.isEmpty()) continue;
        m_lignes.append(ligne.toByteArray());
        m_minuscules.insert(cp1252::minuscules(ligne));
    }
}

bool TListeIgnoree::Contient(QByteArrayView mot) const {
    return !m_minuscules.isEmpty() && m_minuscules.contains(cp1252::minuscules(mot));
}

void TListeIgnoree::Trier() {
    std::stable_sort(m_lignes.begin(), m_lignes.end(),
                     [](const QByteArray& a, const QByteArray& b) {
                         return cp1252::comparerSansCasse(a, b) < 0;
                     });
}

void TListeIgnoree::Vider() {
    m_lignes.clear();
    m_minuscules.clear();
}

} // namespace bayes

namespace {

char* ecrireNombre(char* p, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    if (u < 10) {
        *p++ = static_cast<char>('0' + u);
        return p;
    }
    if (u < 100) {
        p[0] = static_cast<char>('0' + u / 10);
        p[1] = static_cast<char>('0' + u % 10);
        return p + 2;
    }
    if (u < 1000) {
        p[0] = static_cast<char>('0' + u / 100);
        p[1] = static_cast<char>('0' + u / 10 % 10);
        p[2] = static_cast<char>('0' + u % 10);
        return p + 3;
    }
    if (v < 0) {
        *p++ = '-';
        u = 0u - u;
    }
    char tmp[12];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    while (n)
        *p++ = tmp[--n];
    return p;
}

// A TAB and the digits of 0 to 999, four bytes each (the unused ones after
// them), and their lengths: most counts are written without a branch on their
// number of digits.
struct TPetitsNombres {
    char octets[1000][4];
    uint8_t longueur[1000];
};
constexpr TPetitsNombres construirePetitsNombres() {
    TPetitsNombres t{};
    for (int v = 0; v < 1000; ++v) {
        char* p = t.octets[v];
        int n = 0;
        p[n++] = '\t';
        if (v >= 100) p[n++] = static_cast<char>('0' + v / 100);
        if (v >= 10) p[n++] = static_cast<char>('0' + v / 10 % 10);
        p[n++] = static_cast<char>('0' + v % 10);
        t.longueur[v] = static_cast<uint8_t>(n);
    }
    return t;
}
constexpr TPetitsNombres kPetitsNombres = construirePetitsNombres();

// A TAB and the number; writes up to 12 bytes.
inline char* ecrireCompte(char* p, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    if (u < 1000) {
        std::memcpy(p, kPetitsNombres.octets[u], 4);
        return p + kPetitsNombres.longueur[u];
    }
    *p++ = '\t';
    return ecrireNombre(p, v);
}

} // namespace

TMonBayesDB::TMonBayesDB(const QString& fileSpec, const QString& repertoire, bool charger)
    : FileSpec(fileSpec), Repertoire(repertoire) {
    if (fileSpec.isEmpty()) throw std::invalid_argument("BayesDB (Create): FileSpec is blank");
    Modifie = false;
    if (!charger) return;
    Charger();
    ChargerListesIgnorees();
}

TMonBayesDB::~TMonBayesDB() {
    if (!Temporaire && Modifie) {
        QString erreur;
        if (!Sauver(&erreur)) Trace(QStringLiteral("BayesDB : ") + erreur);
    }
}

void TMonBayesDB::Vider() {
    m_stock.Vider();
    std::vector<uint32_t>().swap(m_ordre);
    m_ordreExplicite = false;
    m_nbTries = 0;
    m_doublons = false;
    m_negatifs = false;
    Modifie = false;
    SommeSpam = SommeBon = ProbaSpam = ProbaBon = 0;
    NbSpamAppris = NbBonAppris = 0;
}

void TMonBayesDB::Echanger(TMonBayesDB& autre) noexcept {
    using std::swap;
    m_stock.echanger(autre.m_stock);
    swap(m_ordre, autre.m_ordre);
    swap(m_ordreExplicite, autre.m_ordreExplicite);
    swap(m_nbTries, autre.m_nbTries);
    swap(m_doublons, autre.m_doublons);
    swap(m_negatifs, autre.m_negatifs);
    swap(m_fichier, autre.m_fichier);
    swap(NbSpamAppris, autre.NbSpamAppris);
    swap(NbBonAppris, autre.NbBonAppris);
    swap(Modifie, autre.Modifie);
    swap(SommeSpam, autre.SommeSpam);
    swap(SommeBon, autre.SommeBon);
    swap(ProbaSpam, autre.ProbaSpam);
    swap(ProbaBon, autre.ProbaBon);
}

void TMonBayesDB::ordreExplicite() {
    if (m_ordreExplicite) return;
    m_ordre.resize(m_stock.Taille());
    for (uint32_t i = 0; i < m_stock.Taille(); ++i)
        m_ordre[i] = i;
    m_ordreExplicite = true;
}

void TMonBayesDB::Ordonner() {
    const size_t nb = static_cast<size_t>(NbMots());
    if (m_nbTries >= nb) return;
    // Learned tokens were appended: sort them and merge them into the sorted head.
    ordreExplicite();
    const auto avant = [this](uint32_t a, uint32_t b) {
        return bayes::comparerMots(m_stock[a].Mot, m_stock[b].Mot) < 0;
    };
    const auto milieu = m_ordre.begin() + static_cast<std::ptrdiff_t>(m_nbTries);
    trier(&*milieu, m_ordre.data() + m_ordre.size());
    std::inplace_merge(m_ordre.begin(), milieu, m_ordre.end(), avant);
    m_nbTries = m_ordre.size();
}

void TMonBayesDB::trier(uint32_t* debut, uint32_t* fin) {
    // On the folded first eight bytes first: most comparisons then touch
    // neither the elements nor their bytes. Equal tokens keep their order.
    struct TCle {
        uint64_t prefixe;
        uint32_t rang;
        uint32_t numero;
    };
    const size_t n = size_t(fin - debut);
    if (n < 2) return;
    std::vector<TCle> cles(n);
    for (size_t k = 0; k < n; ++k) {
        const QByteArrayView mot = m_stock[debut[k]].Mot;
        cles[k] = {bayes::prefixeMot(mot.data(), size_t(mot.size())), uint32_t(k), debut[k]};
    }
    std::sort(cles.begin(), cles.end(), [this](const TCle& a, const TCle& b) {
        if (a.prefixe != b.prefixe) return a.prefixe < b.prefixe;
        const int c = bayes::comparerMots(m_stock[a.numero].Mot, m_stock[b.numero].Mot);
        return c != 0 ? c < 0 : a.rang < b.rang;
    });
    for (size_t k = 0; k < n; ++k)
        debut[k] = cles[k].numero;
}

void TMonBayesDB::reconstruireIndex() {
    m_stock.ViderIndex();
    const size_t nb = static_cast<size_t>(NbMots());
    m_stock.ReserverIndex(nb);
    m_doublons = false;
    for (size_t i = 0; i < nb; ++i) {
        // The first in order keeps the key.
        if (!m_stock.Indexer(numero(i))) m_doublons = true;
    }
}

TUnElement* TMonBayesDB::ajouterElement(QByteArrayView mot, const TCompteMot& spam,
                                        const TCompteMot& bon) {
    const uint32_t i = m_stock.Ajouter(mot, spam, bon);
    if (m_ordreExplicite) m_ordre.push_back(i);
    if (!m_stock.Indexer(i)) m_doublons = true;
    return &m_stock[i];
}

int32_t TMonBayesDB::Inserer(std::unique_ptr<TUnElement> element) {
    if (TUnElement* existant = Trouver(element->Mot)) {
        Ordonner();
        const size_t nb = static_cast<size_t>(NbMots());
        for (size_t i = 0; i < nb; ++i)
            if (&m_stock[numero(i)] == existant) return static_cast<int32_t>(i);
    }
    ajouterElement(element->Mot, element->CoteSpam, element->CoteBon);
    return NbMots() - 1;
}

bool TMonBayesDB::Chercher(QByteArrayView mot, int32_t& indice) {
    Ordonner();
    const size_t nb = static_cast<size_t>(NbMots());
    size_t bas = 0, haut = nb;
    while (bas < haut) {
        const size_t m = bas + (haut - bas) / 2;
        if (bayes::comparerMots(m_stock[numero(m)].Mot, mot) < 0)
            bas = m + 1;
        else
            haut = m;
    }
    indice = static_cast<int32_t>(bas);
    return bas < nb && bayes::comparerMots(m_stock[numero(bas)].Mot, mot) == 0;
}

TUnElement* TMonBayesDB::Trouver(QByteArrayView mot) {
    const int64_t i = m_stock.Chercher(mot);
    return i < 0 ? nullptr : &m_stock[static_cast<uint32_t>(i)];
}

namespace {

// Zeroed bytes after the file in the load buffer, behind a LF that ends every
// search: the parse reads 8 or 16 bytes at a time without bounds checks.
constexpr size_t kMarge = 128;

// First TAB, CR or LF from p (the LF after the file always ends the search).
inline const char* finDeMot(const char* p) {
#ifdef __SSE2__
    const __m128i tab = _mm_set1_epi8('\t'), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (;; p += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, tab), _mm_cmpeq_epi8(x, cr)), _mm_cmpeq_epi8(x, lf))));
        if (m) return p + __builtin_ctz(m);
    }
#else
    while (*p != '\t' && *p != '\r' && *p != '\n')
        ++p;
    return p;
#endif
}

// First CR or LF from p.
inline const char* finDeLigne(const char* p) {
    while (*p != '\r' && *p != '\n')
        ++p;
    return p;
}

// The start of the next line after the end at `e` (CR LF is one end; CR or LF
// alone is one too).
inline const char* apresFin(const char* e, const char* fin) {
    if (e >= fin) return fin;
    return std::min(e + 1 + (*e == '\r' && e[1] == '\n'), fin);
}

// A plain decimal number at q: an optional '-' and 1 to 7 digits, read eight
// bytes at once. Null for anything else (a longer number, '+', a blank...),
// which the general reader then handles.
inline const char* lireNombre(const char* q, int32_t& v) {
    const bool negatif = *q == '-';
    q += negatif;
    unsigned c = static_cast<unsigned char>(*q) - '0';
    if (c > 9) return nullptr;
    uint32_t x = c;
    for (int k = 1; k < 8; ++k) {
        c = static_cast<unsigned char>(q[k]) - '0';
        if (c > 9) {
            v = negatif ? -static_cast<int32_t>(x) : static_cast<int32_t>(x);
            return q + k;
        }
        x = x * 10 + c;
    }
    return nullptr;
}

// The eight counts of a well-formed line after its token's TAB: numbers
// separated by single TABs, then the line end. Returns the start of the next
// line, or null when the line needs the general reader.
inline const char* lireComptes(const char* q, const char* fin, TCompteMot& spam, TCompteMot& bon) {
    int32_t v[8];
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
        q = lireNombre(q, v[k]);
        if (!q) return nullptr;
        if (k < 7) {
            if (*q != '\t') return nullptr;
            ++q;
        }
    }
    if (q >= fin) {
        q = fin;
    } else {
        if (*q != '\r' && *q != '\n') return nullptr;
        q = apresFin(q, fin);
    }
    spam = {v[0], v[2], v[3], v[4]};
    bon = {v[1], v[5], v[6], v[7]};
    return q;
}

#ifdef __SSE2__
// Up to eight digits, the first at the lowest address and zero bytes before
// them (leading zeros): their value, without a loop over the digits.
inline uint32_t valeurChiffres(uint64_t x) {
    x = (x & 0x0F0F0F0F0F0F0F0Full) * 2561 >> 8;
    x = (x & 0x00FF00FF00FF00FFull) * 6553601 >> 16;
    return static_cast<uint32_t>((x & 0x0000FFFF0000FFFFull) * 42949672960001ull >> 32);
}

// Bit i set where byte i of the 16 at p is a TAB, a CR or LF, a digit.
struct TClasses {
    uint64_t tab, fin, chiffre;
};
inline void classer16(const char* p, unsigned decalage, TClasses& c) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i d = _mm_sub_epi8(x, _mm_set1_epi8('0'));
    const auto masque = [](__m128i m) {
        return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
    };
    c.tab |= masque(_mm_cmpeq_epi8(x, _mm_set1_epi8('\t'))) << decalage;
    c.fin |= masque(_mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('\r')),
                                 _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'))))
             << decalage;
    c.chiffre |= masque(_mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d)) << decalage;
}

// lireComptes for the usual line, without a branch per digit: the counts'
// bytes are classed 16 at a time, and each number is read as one word.
// Null when the line is not eight numbers of 1 to 7 digits, TAB-separated,
// within 64 bytes: lireComptes then decides.
inline const char* lireComptesVite(const char* q, const char* fin, TCompteMot& spam,
                                   TCompteMot& bon) {
    TClasses c{0, 0, 0};
    classer16(q, 0, c);
    classer16(q + 16, 16, c);
    if (!c.fin) {
        classer16(q + 32, 32, c);
        classer16(q + 48, 48, c);
        if (!c.fin) return nullptr;
    }
    // Before the line end: digits and exactly seven TABs, never two in a row,
    // none first or last.
    const unsigned lim = static_cast<unsigned>(__builtin_ctzll(c.fin));
    const uint64_t avant = (uint64_t(1) << lim) - 1;
    const uint64_t tabs = c.tab & avant;
    uint64_t septieme = tabs; // the seventh TAB alone, when there are seven
#pragma GCC unroll 6
    for (int k = 0; k < 6; ++k)
        septieme &= septieme - 1;
    if (((c.chiffre | tabs) & avant) != avant || !septieme || (septieme & (septieme - 1)) ||
        (tabs & ((tabs << 1) | 1 | (uint64_t(1) << (lim - 1)))) != 0)
        return nullptr;
    int32_t v[8];
    uint64_t separateurs = tabs | (uint64_t(1) << lim);
    unsigned debut = 0;
    bool court = true;
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
        const unsigned e = static_cast<unsigned>(__builtin_ctzll(separateurs));
        separateurs &= separateurs - 1;
        const unsigned n = e - debut; // 1 or more: no empty number
        court &= n <= 7;
        // The digits moved to the top of the word; the bytes after them drop out.
        const uint64_t w = bayes::detail::lire8(q + debut) << (8 * (8 - (n > 7 ? 7 : n)));
        v[k] = static_cast<int32_t>(valeurChiffres(w));
        debut = e + 1;
    }
    if (!court) return nullptr;
    spam = {v[0], v[2], v[3], v[4]};
    bon = {v[1], v[5], v[6], v[7]};
    return apresFin(q + lim, fin);
}
#endif

// The first bytes of a token, a-z folded, as a number that orders like the
// token: bytes from `n` on are zero.
inline uint64_t prefixe(const char* p, size_t n) {
    uint64_t x = bayes::detail::plier8(bayes::detail::lire8(p));
    if (n < 8) x &= (uint64_t(1) << (8 * n)) - 1;
    return __builtin_bswap64(x);
}

// Estimated number of lines: LF (or else CR) counted over samples spread across the file.
size_t estimerLignes(const char* d, size_t n) {
    constexpr size_t kFenetre = 16384, kFenetres = 16;
    const auto compter = [&](char c) {
        size_t vus = 0, lignes = 0;
        if (n <= kFenetre * kFenetres) {
            lignes = size_t(std::count(d, d + n, c));
            vus = n;
        } else {
            for (size_t k = 0; k < kFenetres; ++k) {
                const char* f = d + (n - kFenetre) / (kFenetres - 1) * k;
                lignes += size_t(std::count(f, f + kFenetre, c));
                vus += kFenetre;
            }
        }
        return vus ? size_t(double(lignes) * double(n) / double(vus)) : 0;
    };
    const size_t lf = compter('\n');
    return (lf ? lf : compter('\r')) + 16;
}

} // namespace

sauvegarde::TEtatLecture TMonBayesDB::lireFichier(char*& tampon, size_t& taille, QString* raison) {
    using sauvegarde::TEtatLecture;
    tampon = nullptr;
    taille = 0;
    QString source = FileSpec;
    if (!QFileInfo::exists(source)) {
        source = sauvegarde::cheminBak(FileSpec);
        if (!QFileInfo::exists(source)) {
            m_fichier.Liberer();
            return TEtatLecture::Absent;
        }
    }
    // One read straight into the store's buffer. Anything unusual (not a
    // regular file, a read error, a file that grows meanwhile) goes through
    // the protected read, which says what went wrong and keeps the file.
    const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    bool lu = false;
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            const auto attendu = static_cast<size_t>(st.st_size);
            char* d = tampon = m_stock.DebuterChargement(attendu + kMarge);
            size_t n = 0;
            for (;;) {
                // One byte more than expected tells a file that grew.
                const ssize_t r = ::read(fd, d + n, attendu + 1 - n);
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) {
                    lu = r == 0 && n == attendu;
                    break;
                }
                n += size_t(r);
                if (n > attendu) break;
            }
            taille = n;
        }
        ::close(fd);
    }
    if (lu) {
        m_fichier.Liberer();
        return TEtatLecture::Lu;
    }
    QByteArray contenu;
    const TEtatLecture etat = m_fichier.Lire(FileSpec, contenu, raison);
    taille = etat == TEtatLecture::Lu ? size_t(contenu.size()) : 0;
    tampon = m_stock.DebuterChargement(taille + kMarge);
    std::memcpy(tampon, contenu.constData(), taille);
    return etat;
}

bool TMonBayesDB::Charger(QString* erreur) {
    Vider();
    Modifie = false;
    char* d = nullptr;
    size_t n = 0;
    QString raison;

    // Keep an unreadable file as it is: a later save must not replace it with less.
    const auto etat = lireFichier(d, n, &raison);
    if (etat != sauvegarde::TEtatLecture::Lu) {
        m_stock.Vider();
        if (etat == sauvegarde::TEtatLecture::Absent) return true;
        if (erreur) *erreur = raison;
        return false;
    }
    const char* const fin = d + n;

    // Every search stops at this LF at the latest.
    d[n] = '\n';
    std::memset(d + n + 1, 0, kMarge - 1);

    // The header: the first line, whatever it holds.
    const char* p = d;
    {
        const char* e = finDeLigne(p);
        champs::TLecteurChamps r(QByteArrayView(p, std::min(e, fin) - p));
        r.lireBrut();
        NbSpamAppris = r.lireEntier();
        NbBonAppris = r.lireEntier();
        p = apresFin(e, fin);
    }

    // Sized once from the estimate; the index keeps room for the tokens
    // learned after the load, so the first of them does not rehash it.
    const size_t estimation = estimerLignes(p, size_t(fin - p));
    m_stock.ReserverChargement(estimation + estimation / 32);
    // The tokens' hashes, indexed all at once after the parse.
    std::vector<uint64_t> hachages;
    hachages.reserve(estimation + estimation / 32);

    // Tokens are packed at the start of the buffer as the lines are read: the
    // write position never passes the read position.
    char* w = d;
    bool enOrdre = true;
    uint64_t prefixePrecedent = 0;
    const char* motPrecedent = nullptr;
    size_t longueurPrecedente = 0;
    while (p < fin) {
        const char* e = finDeMot(p);
        TCompteMot spam, bon;
        const char* suite = nullptr;
        if (*e == '\t' && e < fin) {
#ifdef __SSE2__
            suite = lireComptesVite(e + 1, fin, spam, bon);
            if (!suite)
#endif
                suite = lireComptes(e + 1, fin, spam, bon);
        }
        const char* mot = p;
        size_t longueur;
        if (suite) {
            longueur = size_t(e - p);
        } else {
            // Anything else: the general field reader, as for any record line.
            const char* finLigne = std::min(*e == '\t' ? finDeLigne(e) : e, fin);
            champs::TLecteurChamps r(QByteArrayView(p, finLigne - p));
            longueur = size_t(r.lireBrut().size());
            spam = bon = TCompteMot{};
            spam.Total = r.lireEntier();
            bon.Total = r.lireEntier();
            if (spam.Total != 0 || bon.Total != 0) {
                spam.EnTete = r.lireEntier();
                spam.Texte = r.lireEntier();
                spam.Html = r.lireEntier();
                bon.EnTete = r.lireEntier();
                bon.Texte = r.lireEntier();
                bon.Html = r.lireEntier();
            }
            suite = apresFin(finLigne, fin);
        }
        p = suite;
        if (spam.Total == 0 && bon.Total == 0) continue;
        if (spam.Total < 0) m_negatifs = true;
            // Packed: a short token moves as one 16-byte store when the gap allows it.
#ifdef __SSE2__
        if (longueur <= 16 && size_t(mot - w) >= 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(mot)));
        else
#endif
            std::memmove(w, mot, longueur);
        const uint64_t h = bayes::hacherMot(w, longueur);
        // A file this program wrote is in order: checked against the previous token.
        if (enOrdre) {
            const uint64_t x = prefixe(w, longueur);
            if (motPrecedent && x <= prefixePrecedent) {
                if (x < prefixePrecedent ||
                    bayes::comparerMots(
                        QByteArrayView(w, qsizetype(longueur)),
                        QByteArrayView(motPrecedent, qsizetype(longueurPrecedente))) < 0)
                    enOrdre = false;
            }
            prefixePrecedent = x;
            motPrecedent = w;
            longueurPrecedente = longueur;
        }
        m_stock.AjouterEnPlace(w, longueur, spam, bon);
        hachages.push_back(h);
        w += longueur;
    }
    m_stock.FinirChargement(size_t(w - d));
    // Room for the tokens learned after the load, so the first of them does not
    // rehash it. The first in the file keeps the key: after a stable sort, the
    // first in order.
    const size_t nb = hachages.size();
    m_stock.ReserverIndex(nb + nb / 8 + 64);
    if (!m_stock.IndexerTout(hachages.data(), static_cast<uint32_t>(nb))) m_doublons = true;
    if (!enOrdre) {
        ordreExplicite();
        trier(m_ordre.data(), m_ordre.data() + m_ordre.size());
    }
    m_nbTries = static_cast<size_t>(NbMots());
    return true;
}

bool TMonBayesDB::Sauver(QString* erreur) {
    if (Temporaire || NbMots() == 0 || !Modifie) return true;
    // Refused, and traced, before anything is built.
    if (m_fichier.Protege()) return m_fichier.SauverAvec(FileSpec, {}, erreur);
    Ordonner();
    QString raison;
    const auto ecrire = [this](QIODevice& d) {
        if (EcrireFichier) {
            QByteArray tout;
            formater([&tout](const char* p, size_t n) {
                tout.append(p, qsizetype(n));
                return true;
            });
            return EcrireFichier(d, tout);
        }
        return formater(
            [&d](const char* p, size_t n) { return d.write(p, qint64(n)) == qint64(n); });
    };
    if (!m_fichier.SauverAvec(FileSpec, ecrire, &raison)) {
        if (erreur) *erreur = raison;
        return false;
    }
    Modifie = false;
    return true;
}

bool TMonBayesDB::formater(const std::function<bool(const char*, size_t)>& sortie) {
    // Lines go into a buffer that stays in the cache and is handed on each time
    // it fills: no pass to size the file, no file-sized allocation to fault in.
    constexpr size_t kTaille = size_t(1) << 18;
    constexpr size_t kComptes = 8 * 12 + 2; // eight TAB-led int32, CR LF
    const std::unique_ptr<char[]> tampon(new char[kTaille]);
    char* const debut = tampon.get();
    char* const limite = debut + kTaille;
    char* p = debut;
    *p++ = '*';
    *p++ = '\t';
    p = ecrireNombre(p, NbSpamAppris);
    *p++ = '\t';
    p = ecrireNombre(p, NbBonAppris);
    *p++ = '\r';
    *p++ = '\n';
    const size_t nb = static_cast<size_t>(NbMots());
    constexpr size_t kAvance = 16; // an explicit order jumps around the chunks: fetch ahead
    for (size_t i = 0; i < nb; ++i) {
        if (m_ordreExplicite && i + kAvance < nb) {
            __builtin_prefetch(&m_stock[m_ordre[i + kAvance]]);
            __builtin_prefetch(m_stock[m_ordre[i + kAvance / 2]].Mot.data());
        }
        const TUnElement& e = m_stock[numero(i)];
        size_t n = static_cast<size_t>(e.Mot.size());
        if (size_t(limite - p) < n + kComptes) {
            if (!sortie(debut, size_t(p - debut))) return false;
            p = debut;
            // A token longer than the buffer (a damaged file's) goes out on its own.
            if (n + kComptes > kTaille) {
                if (!sortie(e.Mot.data(), n)) return false;
                n = 0;
            }
        }
        std::memcpy(p, e.Mot.data(), n);
        p += n;
        const TCompteMot& s = e.CoteSpam;
        const TCompteMot& b = e.CoteBon;
        for (int32_t v : {s.Total, b.Total, s.EnTete, s.Texte, s.Html, b.EnTete, b.Texte, b.Html})
            p = ecrireCompte(p, v);
        *p++ = '\r';
        *p++ = '\n';
    }
    return p == debut || sortie(debut, size_t(p - debut));
}

void TMonBayesDB::Fusionner(TMonBayesDB& autre) {
    if (autre.NbMots() == 0) return;
    Modifie = true;
    autre.Ordonner();
    const size_t nbAutre = static_cast<size_t>(autre.NbMots());
    if (NbMots() == 0) {
        // Copied in the other's order: the storage order is token order.
        m_stock.Vider(); // removed elements only
        std::vector<uint32_t>().swap(m_ordre);
        m_ordreExplicite = false;
        for (size_t j = 0; j < nbAutre; ++j) {
            const TUnElement& o = autre.m_stock[autre.numero(j)];
            m_stock.Ajouter(o.Mot, o.CoteSpam, o.CoteBon);
        }
        m_negatifs = m_negatifs || autre.m_negatifs;
        reconstruireIndex();
    } else {
        Ordonner();
        const size_t nb = static_cast<size_t>(NbMots());
        std::vector<uint32_t> liste;
        liste.reserve(nb + nbAutre);
        std::vector<uint32_t> nouveaux;
        size_t i = 0, j = 0;
        while (i < nb || j < nbAutre) {
            int c;
            if (i >= nb)
                c = 1;
            else if (j >= nbAutre)
                c = -1;
            else
                c = bayes::comparerMots(m_stock[numero(i)].Mot, autre.m_stock[autre.numero(j)].Mot);
            if (c < 0) {
                liste.push_back(numero(i++));
            } else if (c > 0) {
                const TUnElement& o = autre.m_stock[autre.numero(j++)];
                const uint32_t k = m_stock.Ajouter(o.Mot, o.CoteSpam, o.CoteBon);
                liste.push_back(k);
                nouveaux.push_back(k);
            } else {
                TUnElement& e = m_stock[numero(i)];
                const TUnElement& o = autre.m_stock[autre.numero(j++)];
                for (auto [a, b] :
                     {std::pair{&e.CoteSpam, &o.CoteSpam}, std::pair{&e.CoteBon, &o.CoteBon}}) {
                    a->Total = bayes::ajouterSature(a->Total, b->Total);
                    a->EnTete = bayes::ajouterSature(a->EnTete, b->EnTete);
                    a->Texte = bayes::ajouterSature(a->Texte, b->Texte);
                    a->Html = bayes::ajouterSature(a->Html, b->Html);
                }
                if (e.CoteSpam.Total < 0) m_negatifs = true;
                liste.push_back(numero(i++));
            }
        }
        m_ordre = std::move(liste);
        m_ordreExplicite = true;
        // Only the new tokens need indexing, unless a key could belong to an
        // element earlier in order than the one that holds it.
        bool collision = false;
        for (uint32_t k : nouveaux)
            if (!m_stock.Indexer(k)) collision = true;
        if (collision || m_doublons) reconstruireIndex();
    }
    NbSpamAppris = bayes::ajouterSature(NbSpamAppris, autre.NbSpamAppris);
    NbBonAppris = bayes::ajouterSature(NbBonAppris, autre.NbBonAppris);
    // Both lists were in token order, so the merged (or copied) list is too.
    m_nbTries = static_cast<size_t>(NbMots());
}

int32_t TMonBayesDB::CompteSpam(QByteArrayView mot, int mode) {
    const TUnElement* e = Trouver(mot);
    return e ? bayes::compteSelonMode(e->CoteSpam, mode, SansTexte) : 0;
}

int32_t TMonBayesDB::CompteBon(QByteArrayView mot, int mode) {
    const TUnElement* e = Trouver(mot);
    return e ? bayes::compteSelonMode(e->CoteBon, mode, SansTexte) : 0;
}

double TMonBayesDB::Probabilite(QByteArrayView mot, int mode) {
    return ProbabiliteElement(Trouver(mot), mode);
}

double TMonBayesDB::ProbabiliteElement(const TUnElement* e, int mode) const {
    if (NbSpamAppris <= 0 || !e) return 0;
    const double s = bayes::compteSelonMode(e->CoteSpam, mode, SansTexte);
    const double g = bayes::compteSelonMode(e->CoteBon, mode, SansTexte);
    return s + g > 0 ? s / (s + g) : 0;
}

void TMonBayesDB::Apprendre(TBayesDoc& doc, bool estSpam) {
    appliquer(doc, estSpam, +1);
}

void TMonBayesDB::Desapprendre(TBayesDoc& doc, bool estSpam) {
    appliquer(doc, estSpam, -1);
}

void TMonBayesDB::appliquer(TBayesDoc& doc, bool estSpam, int delta) {
    // Learned into an empty stand-in, the message could never be saved, and the
    // base would never be dropped to be read again: it waits for a good load.
    if (m_fichier.Protege()) {
        Trace(QStringLiteral("BayesDB : ") + FileSpec +
              QStringLiteral(" illisible, message non appris"));
        return;
    }
    Modifie = true;
    for (const auto& d : doc.Elements()) {
        const TCompteMot& occ = d->CoteSpam;
        if (TUnElement* e = Trouver(d->Mot)) {
            TCompteMot& cote = estSpam ? e->CoteSpam : e->CoteBon;
            cote.Total = bayes::ajouterSature(cote.Total, delta);
            if (e->CoteSpam.Total <= 0 && e->CoteBon.Total <= 0) {
                e->CoteSpam.Total = e->CoteBon.Total = -10000;
            } else {
                if (occ.EnTete > 0) cote.EnTete = bayes::ajouterSature(cote.EnTete, delta);
                if (occ.Texte > 0) cote.Texte = bayes::ajouterSature(cote.Texte, delta);
                if (occ.Html > 0) cote.Html = bayes::ajouterSature(cote.Html, delta);
            }
            if (e->CoteSpam.Total < 0) m_negatifs = true;
        } else if (delta > 0) {
            TCompteMot cote, autreCote;
            cote.Total = 1;
            cote.EnTete = occ.EnTete > 0 ? 1 : 0;
            cote.Texte = occ.Texte > 0 ? 1 : 0;
            cote.Html = occ.Html > 0 ? 1 : 0;
            ajouterElement(d->Mot, estSpam ? cote : autreCote, estSpam ? autreCote : cote);
        }
    }
    if (m_negatifs) retirerNegatifs();
    int32_t& nb = estSpam ? NbSpamAppris : NbBonAppris;
    nb = bayes::ajouterSature(nb, delta);
    if (delta < 0) {
        NbSpamAppris = std::max(NbSpamAppris, 0);
        NbBonAppris = std::max(NbBonAppris, 0);
    }
}

void TMonBayesDB::retirerNegatifs() {
    m_negatifs = false;
    Ordonner();
    const size_t nb = static_cast<size_t>(NbMots());
    size_t i = 0;
    while (i < nb && m_stock[numero(i)].CoteSpam.Total >= 0)
        ++i;
    if (i == nb) return;
    // The removed elements stay in their chunk, out of the order and the index,
    // until the base is emptied: the others keep their address.
    ordreExplicite();
    size_t garde = i;
    for (; i < nb; ++i) {
        const uint32_t k = m_ordre[i];
        if (m_stock[k].CoteSpam.Total < 0)
            m_stock.Desindexer(k);
        else
            m_ordre[garde++] = k;
    }
    m_ordre.resize(garde);
    m_nbTries = m_ordre.size();
    if (m_doublons) reconstruireIndex();
}

bool TMonBayesDB::SauverListesIgnorees(QString* erreur) {
    const QDir rep(Repertoire);
    bool ok = true;
    for (auto [liste, fichier, nom] :
         {std::tuple{&m_motsIgnores, &m_fichierMotsIgnores, NomMotsIgnores()},
          std::tuple{&m_entetesIgnorees, &m_fichierEntetesIgnorees, NomEntetesIgnorees()}}) {
        QByteArray contenu;
        for (const QByteArray& l : liste->Lignes())
            contenu += l + "\r\n";
        QString raison;
        if (!fichier->Sauver(rep.filePath(nom), contenu, &raison)) {
            ok = false;
            if (!fichier->Protege())
                Trace(QStringLiteral("BayesDB : ") + rep.filePath(nom) + QStringLiteral(" : ") +
                      raison);
            if (erreur) *erreur = raison;
        }
        liste->Trier();
    }
    return ok;
}

void TMonBayesDB::ChargerListesIgnorees() {
    const QDir rep(Repertoire);
    for (auto [liste, fichier, nom] :
         {std::tuple{&m_motsIgnores, &m_fichierMotsIgnores, NomMotsIgnores()},
          std::tuple{&m_entetesIgnorees, &m_fichierEntetesIgnorees, NomEntetesIgnorees()}}) {
        QByteArray contenu;
        fichier->Lire(rep.filePath(nom), contenu); // an unreadable list is traced and kept
        liste->setTexte(contenu);
        liste->Trier();
    }
}
