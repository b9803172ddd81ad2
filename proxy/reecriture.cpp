#include "proxy/reecriture.h"

#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr QByteArrayView kCRLF = "\r\n";
constexpr QByteArrayView kFin = "\r\n.\r\n";
constexpr QByteArrayView kSeparateurNotice = "-=-=-=-=-=-=-=-";

bool estDebutLigne(char precedent) {
    return precedent == '\n' || precedent == '\r';
}

// Appends text so that every "." opening a line goes out doubled: whatever a
// message holds, no line of it can end the answer early or pass for a server
// line. The start of the output counts as a line start.
void ajouterBourre(QByteArray& sortie, QByteArrayView texte) {
    const char* const base = texte.data();
    const char* const fin = base + texte.size();
    const char* morceau = base; // start of what is still to be copied
    const char* p = base;
    while (p < fin) {
        const void* trouve = std::memchr(p, '.', static_cast<size_t>(fin - p));
        if (!trouve) break;
        const char* point = static_cast<const char*>(trouve);
        // Before the first byte of the text comes the output's last byte.
        const bool debutLigne = point > base ? estDebutLigne(point[-1])
                                             : sortie.isEmpty() || estDebutLigne(sortie.back());
        if (debutLigne) {
            sortie.append(morceau, point - morceau + 1);
            sortie.append('.');
            morceau = point + 1;
        }
        p = point + 1;
    }
    sortie.append(morceau, fin - morceau);
}

struct TPositions {
    qsizetype debutSujet = -1; // first byte of the subject value
    qsizetype finSujet = -1;   // CR ending the first physical subject line
    qsizetype finEntete = 0;   // CR of the empty line, or the length
};

// The header ends at the first empty line: a real CR LF CR LF, or a message
// that starts with CR LF (empty header). Only the first Subject line counts.
TPositions localiser(QByteArrayView flux) {
    TPositions r;
    const qsizetype n = flux.size();
    r.finEntete = n;
    if (flux.startsWith(kCRLF)) {
        r.finEntete = 0;
        return r;
    }
    static constexpr QByteArrayView kSujet = "subject:";
    // Line by line (a line starts after LF), every CR of a line looked at:
    // memchr finds them far faster than a byte loop.
    const char* const d = flux.data();
    for (qsizetype debut = 0; debut < n;) {
        if (r.debutSujet < 0 && (d[debut] == 'S' || d[debut] == 's') &&
            cp1252::commenceParSansCasse(flux.sliced(debut), kSujet)) {
            r.debutSujet = debut + kSujet.size();
            if (r.debutSujet < n && flux[r.debutSujet] == ' ') ++r.debutSujet;
        }
        const void* lf = std::memchr(d + debut, '\n', size_t(n - debut));
        const qsizetype finLigne = lf ? static_cast<const char*>(lf) - d : n;
        for (qsizetype i = debut; i < finLigne;) {
            const void* cr = std::memchr(d + i, '\r', size_t(finLigne - i));
            if (!cr) break;
            i = static_cast<const char*>(cr) - d;
            if (r.debutSujet >= 0 && r.finSujet < 0) r.finSujet = i;
            if (i + 3 < n && d[i + 1] == '\n' && d[i + 2] == '\r' && d[i + 3] == '\n') {
                r.finEntete = i + 2;
                return r;
            }
            ++i;
        }
        debut = finLigne + 1;
    }
    return r;
}

// Overwrites "text/html" with "XXXXXXXXX" after every "content-type:" that
// opens a word (start of buffer, or after TAB, LF, CR or space), allowing one
// space after the colon. Every compare stays inside the buffer.
void neutraliserHTML(QByteArray& flux) {
    static constexpr QByteArrayView kType = "content-type:";
    static constexpr QByteArrayView kHTML = "text/html";
    const qsizetype n = flux.size();
    const qsizetype minimum = kType.size() + kHTML.size();
    for (qsizetype k = 0; k + minimum <= n; ++k) {
        if (k > 0) {
            const char avant = flux.at(k - 1);
            if (avant != '\t' && avant != '\n' && avant != '\r' && avant != ' ') continue;
        }
        const char c = flux.at(k);
        if (c != 'c' && c != 'C') continue;
        const QByteArrayView reste(flux.constData() + k, n - k);
        if (!cp1252::commenceParSansCasse(reste, kType)) continue;
        qsizetype v = k + kType.size();
        if (flux.at(v) == ' ') ++v;
        if (v + kHTML.size() > n) continue;
        if (!cp1252::egauxSansCasse(QByteArrayView(flux.constData() + v, kHTML.size()), kHTML))
            continue;
        for (qsizetype j = 0; j < kHTML.size(); ++j)
            flux[v + j] = 'X';
        k = v + kHTML.size() - 1;
    }
}

QByteArray enOctets(const QString& texte) {
    return cp1252::depuisUnicode(texte);
}

QByteArray supprimerBlancsFinaux(QByteArray texte) {
    qsizetype n = texte.size();
    while (n > 0 && static_cast<unsigned char>(texte.at(n - 1)) <= ' ')
        --n;
    texte.truncate(n);
    return texte;
}

void marques(const TMessageAReecrire& m, const TConfig& config, QByteArray& prefixe,
             QByteArray& suffixe) {
    switch (m.Niveau) {
    case nsSpam:
        prefixe = config.DebutSujet;
        suffixe = config.FinSujet;
        break;
    case nsSpamBayes:
        prefixe = config.DebutSujetBaye;
        suffixe = config.FinSujetBaye;
        break;
    case nsSpamIP:
        prefixe = config.DebutSujetIP;
        suffixe = config.FinSujetIP;
        break;
    case nsBon:
        return;
    }
    if (config.AjoutInfoBayesien && m.TestBayes && m.Probabilite >= 0) {
        const bool espace = prefixe.isEmpty() || prefixe.endsWith(' ');
        prefixe = supprimerBlancsFinaux(prefixe) + '[' +
                  FormaterProbabilite(m.Probabilite, m.SeparateurDecimal) + ']';
        if (espace) prefixe += ' ';
    }
}

void ajouterStatut(TMessageReecrit& r, QByteArrayView ligne) {
    r.Octets.append(ligne);
    r.Octets.append(kCRLF);
    r.Traces << QStringLiteral("< ") + cp1252::versUnicode(ligne);
}

void construireNotice(const TMessageAReecrire& m, const TConfig& config, QByteArrayView flux,
                      qsizetype finEntete, TMessageReecrit& r) {
    ajouterStatut(r, "+OK " + enOctets(Res("princ48", u"Spam supprimé automatiquement")));
    QByteArray corps;
    corps.reserve(finEntete + m.TexteXKelvarin.size() + m.From.size() * 2 + m.To.size() * 2 +
                  m.Subject.size() + config.SujetSupprime.size() + m.NomCompte.size() + 256);
    const auto ligne = [&corps](QByteArrayView a, QByteArrayView b = {}) {
        corps.append(a);
        corps.append(b);
        corps.append(kCRLF);
    };
    ligne("From: ", m.From);
    ligne("To: ", m.To);
    ligne("Subject: ", config.SujetSupprime);
    // An empty line ends the header, and the body itself starts with one.
    ligne({});
    ligne({});
    ligne("Boite : ", m.NomCompte);
    ligne("De : ", m.From);
    ligne("A : ", m.To);
    ligne("Sujet : ", m.Subject);
    ligne(kSeparateurNotice);
    if (!m.TexteXKelvarin.isEmpty()) {
        ligne(m.TexteXKelvarin);
        ligne(kSeparateurNotice);
    }
    ligne(cp1252::depuisLatin("En-têtes complêtes du message supprimé :"));
    corps.append(flux.first(finEntete));
    r.Octets.reserve(r.Octets.size() + corps.size() + corps.size() / 32 + kFin.size());
    ajouterBourre(r.Octets, corps);
}

} // namespace

QByteArray SeparateurDecimalSysteme() {
    const QByteArray s = cp1252::depuisUnicode(QLocale::system().decimalPoint());
    return s.isEmpty() ? QByteArray(".") : s;
}

QByteArray FormaterProbabilite(double p, QByteArrayView separateur) {
    if (!std::isfinite(p)) p = 0;
    // Tenths, rounded half away from zero, kept in range of a 64-bit count.
    const double dixiemes = std::round(std::clamp(p, -1e15, 1e15) * 10.0);
    const long long d = static_cast<long long>(dixiemes);
    const long long absolu = d < 0 ? -d : d;
    QByteArray texte;
    if (d < 0) texte += '-';
    texte += QByteArray::number(absolu / 10);
    texte += separateur;
    texte += QByteArray::number(absolu % 10);
    texte += '%';
    while (texte.size() < 5)
        texte.prepend(' ');
    return texte;
}

TMessageReecrit ReecrireMessage(const TMessageAReecrire& m, const TConfig& config) {
    TMessageReecrit r;

    if (m.EnvoiFictif) {
        r.Octets.reserve(m.ReponseRetenue.size() + m.Flux.size() + m.Flux.size() / 32 + 16);
        if (!m.ReponseRetenue.isEmpty()) {
            r.Octets.append(m.ReponseRetenue);
            r.Octets.append(kCRLF);
        }
        ajouterBourre(r.Octets, m.Flux);
        r.Octets.append(kFin);
        return r;
    }

    const auto oui = [](bool b) { return b ? QStringLiteral("oui") : QStringLiteral("non"); };
    r.Traces << Format(Res("princ47", u"< corps message (spam ip=%s, bayes=%s)"),
                       {oui(m.SpamIP), oui(m.SpamBayes)});

    QByteArray flux = m.Flux; // shared until the HTML neutralisation writes to it
    if (m.Niveau != nsBon && config.EnleveHTML) neutraliserHTML(flux);
    const TPositions pos = localiser(flux);

    if (m.SupprimerSpam && m.Niveau == nsSpam && !m.CommandeTOP) {
        construireNotice(m, config, flux, pos.finEntete, r);
        r.Octets.append(kFin);
        return r;
    }

    // A held status line always goes out first: the client is waiting for one.
    if (!m.ReponseRetenue.isEmpty())
        ajouterStatut(r, m.ReponseRetenue);
    else if (m.SupprimerSpam)
        ajouterStatut(r, "+OK " + enOctets(Res("princ49", u"message non-spam")));

    QByteArray prefixe;
    QByteArray suffixe;
    const bool marquer = config.ModifSujet && m.Niveau != nsBon;
    if (marquer) marques(m, config, prefixe, suffixe);

    // Sized for the common case; stuffed dots grow it as needed.
    r.Octets.reserve(r.Octets.size() + flux.size() + m.TexteXKelvarin.size() + prefixe.size() +
                     suffixe.size() + flux.size() / 64 + 32);
    const QByteArrayView source(flux);
    qsizetype reprise = 0;
    if (marquer) {
        if (pos.debutSujet < 0) {
            // No Subject line: one is inserted as the first line of the message.
            r.Octets.append("Subject: ");
            r.Octets.append(prefixe);
            r.Octets.append(suffixe);
            r.Octets.append(kCRLF);
        } else {
            ajouterBourre(r.Octets, source.first(pos.debutSujet));
            r.Octets.append(prefixe);
            reprise = pos.debutSujet;
            if (!suffixe.isEmpty() && pos.finSujet >= pos.debutSujet) {
                r.Octets.append(source.sliced(pos.debutSujet, pos.finSujet - pos.debutSujet));
                r.Octets.append(suffixe);
                reprise = pos.finSujet;
            }
        }
    }
    ajouterBourre(r.Octets, source.sliced(reprise, pos.finEntete - reprise));
    if (!m.TexteXKelvarin.isEmpty()) {
        // A header without a line end must not swallow the first added line.
        if (!r.Octets.isEmpty() && !r.Octets.endsWith('\n')) r.Octets.append(kCRLF);
        ajouterBourre(r.Octets, m.TexteXKelvarin);
        if (!m.TexteXKelvarin.endsWith('\n')) r.Octets.append(kCRLF);
    }
    ajouterBourre(r.Octets, source.sliced(pos.finEntete));
    r.Octets.append(kFin);
    return r;
}
