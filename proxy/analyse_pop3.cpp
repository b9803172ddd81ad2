#include "proxy/analyse_pop3.h"

#include "core/cp1252.h"
#include "mime/champ_entete.h"

#include <netdb.h>

#include <optional>
#include <utility>

namespace pop3 {

TCommandeClient analyserCommande(QByteArrayView ligne) {
    TCommandeClient c;
    qsizetype coupe = ligne.size();
    for (qsizetype i = 0; i < ligne.size(); ++i) {
        const char b = ligne[i];
        if (b == '\0' || b == '\r' || b == '\n') {
            coupe = i;
            break;
        }
    }
    if (coupe > kLongueurCommandeMax) coupe = kLongueurCommandeMax;
    c.ligne = ligne.first(coupe).toByteArray();
    if (coupe < ligne.size()) {
        qsizetype debutIgnore = coupe;
        // The cut byte itself (NUL or CR) is not part of what was ignored.
        if (coupe < ligne.size() && (ligne[coupe] == '\0' || ligne[coupe] == '\r')) ++debutIgnore;
        c.ignore = ligne.sliced(debutIgnore).toByteArray();
    }
    const qsizetype espace = c.ligne.indexOf(' ');
    if (espace < 0) {
        c.mot = cp1252::majuscules(c.ligne);
    } else {
        c.mot = cp1252::majuscules(QByteArrayView(c.ligne).first(espace));
        c.argument = c.ligne.mid(espace + 1);
    }
    return c;
}

qint64 lireNombre64(QByteArrayView texte, qsizetype& pos) {
    while (pos < texte.size() && (texte[pos] == ' ' || texte[pos] == '\t'))
        ++pos;
    const qsizetype debut = pos;
    qint64 v = 0;
    while (pos < texte.size() && texte[pos] >= '0' && texte[pos] <= '9') {
        const int chiffre = texte[pos] - '0';
        v = v > (INT64_MAX - chiffre) / 10 ? INT64_MAX : v * 10 + chiffre;
        ++pos;
    }
    return pos == debut ? -1 : v;
}

int lireNombre(QByteArrayView texte) {
    // Like a strict integer conversion: the whole trimmed text must be digits.
    const QByteArrayView t = texte.trimmed();
    if (t.isEmpty()) return 0;
    qsizetype pos = 0;
    if (t[0] == '+') pos = 1;
    const qint64 v = lireNombre64(t, pos);
    if (v < 0 || pos != t.size()) return 0;
    return v > INT32_MAX ? INT32_MAX : int(v);
}

void analyserReponseStat(QByteArrayView ligne, qint64& nombre, qint64& taille) {
    nombre = taille = 0;
    qsizetype pos = 0;
    while (pos < ligne.size() && ligne[pos] != ' ')
        ++pos; // "+OK"
    const qint64 n = lireNombre64(ligne, pos);
    if (n < 0) return;
    nombre = n;
    const qint64 t = lireNombre64(ligne, pos);
    if (t >= 0) taille = t;
}

bool analyserLigneListe(QByteArrayView ligne, qint64& numero, qint64& taille) {
    qsizetype pos = 0;
    if (ligne.startsWith("+OK")) pos = 3;
    const qint64 n = lireNombre64(ligne, pos);
    if (n < 0) return false;
    const qint64 t = lireNombre64(ligne, pos);
    numero = n;
    taille = t < 0 ? 0 : t;
    return true;
}

TLogin analyserLogin(QByteArrayView argument, int formatParametre) {
    TLogin r;
    const bool slash = formatParametre == 1 || (formatParametre == 2 && argument.contains('/'));
    if (slash) {
        const qsizetype s1 = argument.indexOf('/');
        if (s1 < 0) return r;
        const qsizetype s2 = argument.indexOf('/', s1 + 1);
        if (s2 < 0) return r;
        r.serveur = argument.first(s1).toByteArray();
        r.port = argument.sliced(s1 + 1, s2 - s1 - 1).toByteArray();
        r.utilisateur = argument.sliced(s2 + 1).toByteArray();
        r.ok = true;
        return r;
    }
    const qsizetype a = argument.lastIndexOf('@');
    if (a <= 0) return r;
    r.utilisateur = argument.first(a).toByteArray();
    QByteArrayView serveur = argument.sliced(a + 1);
    const qsizetype barre = serveur.indexOf('|');
    if (barre >= 0) {
        r.port = serveur.sliced(barre + 1)
                     .first(std::min<qsizetype>(100, serveur.size() - barre - 1))
                     .toByteArray();
        serveur = serveur.first(barre);
    }
    r.serveur = serveur.toByteArray();
    r.ok = true;
    return r;
}

quint16 resoudrePort(QByteArrayView port) {
    const QByteArray t = port.trimmed().toByteArray();
    if (t.isEmpty()) return 0;
    bool numerique = false;
    const uint n = t.toUInt(&numerique);
    if (numerique) return n <= 65535 ? quint16(n) : 0;
    const servent* s = ::getservbyname(t.constData(), "tcp");
    if (s) return ntohs(quint16(s->s_port));
    // Machines without /etc/services still know the one name we default to.
    if (cp1252::egauxSansCasse(t, "pop3")) return 110;
    if (cp1252::egauxSansCasse(t, "pop3s")) return 995;
    return 0;
}

QByteArray* TChampsEntete::champ(QByteArrayView motCle) {
    if (motCle == "from") return &From;
    if (motCle == "to") return &To;
    if (motCle == "subject") return &Subject;
    if (motCle == "date") return &Date;
    if (motCle == "message-id") return &MessageId;
    if (motCle == "reply-to") return &ReplyTo;
    if (motCle == "in-reply-to") return &InReplyTo;
    if (motCle == "return-path") return &ReturnPath;
    if (motCle == "cc") return &Cc;
    return nullptr;
}

void TChampsEntete::ajouterLigne(QByteArrayView ligne) {
    if (ligne.isEmpty()) return;
    if (ligne[0] == '\t' || ligne[0] == ' ') {
        if (QByteArray* c = champ(MotCle)) c->append(ligne.sliced(1));
        return;
    }
    std::optional<TChampEntete> champEntete = SeparerChampEntete(ligne);
    if (!champEntete) {
        MotCle.clear();
        return;
    }
    MotCle = std::move(champEntete->Nom);
    QByteArrayView valeur = champEntete->Valeur;
    // One optional space after the colon is not part of the value.
    if (valeur.startsWith(' ')) valeur = valeur.sliced(1);
    QByteArray* c = champ(MotCle);
    if (!c) return;
    if (c == &Cc && !Cc.isEmpty()) {
        // Several Cc lines: keep every address.
        Cc.append(", ");
        Cc.append(valeur);
    } else {
        *c = valeur.toByteArray();
    }
}

} // namespace pop3
