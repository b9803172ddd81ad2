#include "core/regles_fenetre.h"

#include "core/cp1252.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

QString CouperBulle(const QString& bulle) {
    return bulle.left(kLongueurBulle);
}

TEtatIcone TAnimationIcone::Repos() {
    return {"TRAY1", QStringLiteral("Kelvarin"), false};
}
TEtatIcone TAnimationIcone::Chargement() {
    return {"TRAY6", Res("icone01", u"Chargement ..."), false};
}
TEtatIcone TAnimationIcone::Sauvegarde() {
    return {"TRAY6", Res("icone02", u"Sauvegarde ..."), false};
}

TEtatIcone TAnimationIcone::Tick(bool animer, bool clientOuvert, quint32 maintenant) {
    // Unsigned difference: right across a wrap of the tick counter.
    const quint32 ecoule = maintenant - m_derniereCommande;
    if (!animer || (ecoule > kDelaiRetourMs && !clientOuvert)) {
        m_compteur = 0;
        TEtatIcone e = Repos();
        e.ArreterTimer = true;
        return e;
    }
    m_compteur = m_compteur % 8 + 1;
    return {"ZNIM" + QByteArray::number(m_compteur), Res("icone03", u"Réception en cours...."),
            false};
}

qint64 DelaiFermeturePatienter(bool visible, qint64 creationMs, qint64 maintenantMs) {
    if (!visible) return 0;
    return std::max<qint64>(10, kDureeMiniPatienterMs - (maintenantMs - creationMs));
}

int AlphaFonduPatienter(qint64 ms) {
    if (ms >= kDureeFonduPatienterMs) return -1;
    return int(std::clamp<qint64>(kDureeFonduPatienterMs - ms, 0, 255));
}

TDecisionFermeture DecisionFermeture(bool& versTray, bool quitter, bool quitterSans,
                                     bool calculEnCours) {
    if (calculEnCours) return dfRefuser;
    if (quitterSans) {
        versTray = false;
        return dfFermer;
    }
    if (quitter) versTray = false;
    return versTray ? dfCacher : dfDemander;
}

QString TextePortEffectif(const QByteArray& portReglage, quint16 portReglageResolu,
                          quint16 ecoute) {
    if (ecoute == 0 || portReglageResolu == 0 || ecoute == portReglageResolu) return {};
    return Format(Res("princ29c", u"Le système refuse le port %s : Kelvarin écoute sur le port %s, "
                                  u"à donner au logiciel de messagerie."),
                  {cp1252::versUnicode(portReglage.trimmed()), QString::number(ecoute)});
}

QString DureeFonctionnement(qint64 secondes, const QString& separateur) {
    if (secondes < 0) secondes = 0;
    const auto deux = [](qint64 v) {
        return QString::number(v).rightJustified(2, QLatin1Char('0'));
    };
    return deux(secondes / 3600) + separateur + deux(secondes / 60 % 60) + separateur +
           deux(secondes % 60);
}

QString LienSite(const QString& nom) {
    return QLatin1String(kSiteProduit) + QStringLiteral("/lien-exe.php?quoi=kv-") + nom;
}

QString AdresseURL(const QString& adresse) {
    // An address that already names its scheme (https, mailto...) is kept.
    for (const auto schema : {QLatin1String("http://"), QLatin1String("https://"),
                              QLatin1String("mailto:"), QLatin1String("file://")})
        if (adresse.startsWith(schema, Qt::CaseInsensitive)) return adresse;
    return QStringLiteral("http://") + adresse;
}

TTexteBulleAide TexteBulleAide(const QString& hint, int largeur) {
    TTexteBulleAide r;
    r.Dessus = hint.startsWith(QLatin1String("[H]"));
    r.Texte = CouperTexteBulle(r.Dessus ? hint.mid(3) : hint, largeur);
    return r;
}

QString CouperTexteBulle(const QString& texte, int largeur) {
    largeur = std::max(largeur, kLargeurMiniBulleAide);
    const auto coupure = [](QChar c) { return c == u' ' || c == u'\t' || c == u'-'; };
    QString r;
    r.reserve(texte.size() + texte.size() / largeur * 2);
    qsizetype debut = 0; // start of the current line in `texte`
    while (debut <= texte.size()) {
        // One source line, its break kept as it was.
        qsizetype fin = debut;
        while (fin < texte.size() && texte[fin] != u'\r' && texte[fin] != u'\n')
            ++fin;
        qsizetype i = debut;
        while (fin - i > largeur) {
            // The last break that leaves a line of at most `largeur`.
            qsizetype p = -1;
            for (qsizetype k = i + largeur; k > i; --k)
                if (coupure(texte[k - 1])) {
                    p = k;
                    break;
                }
            if (p < 0) { // a long word: the first break after it
                p = i + largeur;
                while (p < fin && !coupure(texte[p - 1]))
                    ++p;
                if (p >= fin) break;
            }
            qsizetype finLigne = p;
            while (finLigne > i && (texte[finLigne - 1] == u' ' || texte[finLigne - 1] == u'\t'))
                --finLigne;
            r += QStringView(texte).mid(i, finLigne - i);
            r += QLatin1String("\r\n");
            i = p;
            while (i < fin && (texte[i] == u' ' || texte[i] == u'\t'))
                ++i;
        }
        r += QStringView(texte).mid(i, fin - i);
        if (fin >= texte.size()) break;
        // "\r\n", "\n\r", or a lone one.
        qsizetype saut = fin + 1;
        if (saut < texte.size() && (texte[saut] == u'\r' || texte[saut] == u'\n') &&
            texte[saut] != texte[fin])
            ++saut;
        r += QStringView(texte).mid(fin, saut - fin);
        debut = saut;
    }
    return r;
}

QByteArray TPlacementBulle::Coin() const {
    return QByteArray("INFO") + (Dessus ? 'H' : 'B') + (Droite ? 'D' : 'G');
}

TPlacementBulle PlacerBulle(int pointeurX, int bas, int largeur, int hauteur, bool dessus,
                            int bureauGauche, int bureauHaut, int bureauDroite, int bureauBas) {
    TPlacementBulle p;
    p.X = pointeurX;
    p.Y = bas;
    if (dessus || p.Y + hauteur > bureauBas) {
        p.Y -= hauteur + 30;
        p.Dessus = true;
    }
    if (p.X + largeur > bureauDroite) {
        p.X -= largeur;
        p.Droite = true;
    }
    p.X = std::max(p.X, bureauGauche);
    p.Y = std::max(p.Y, bureauHaut);
    return p;
}

bool AnimerBulle(int longueurTexte, qint64 depuisPrecedenteMs, bool animationSysteme) {
    return longueurTexte < 100 && depuisPrecedenteMs >= 250 && animationSysteme;
}

QString FichierTexteLangue(const QString& repertoire, const QString& nom, const QString& code) {
    const QString base = repertoire + nom;
    const QString langue =
        base + u'.' + (code.isEmpty() ? QStringLiteral("fr") : code) + QStringLiteral(".txt");
    return QFileInfo::exists(langue) ? langue : base + QStringLiteral(".txt");
}

QString TexteAPropos(const QByteArray& octets, bool liens) {
    static const QRegularExpression adresse(
        QStringLiteral(R"((?:https?://|www\.)[A-Za-z0-9._~:/?#@!$&'()*+,;=%-]*[A-Za-z0-9/])"),
        QRegularExpression::CaseInsensitiveOption);
    QString texte = cp1252::versUnicode(octets);
    texte.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    while (texte.endsWith(u'\n'))
        texte.chop(1);
    if (texte.trimmed().isEmpty()) return {};
    QStringList lignes;
    for (const QString& ligne : texte.split(u'\n')) {
        // Escaped piece by piece: addresses become links, the name goes red.
        QString html;
        qsizetype pos = 0;
        const auto simple = [&html](QStringView morceau) {
            html += morceau.toString().toHtmlEscaped().replace(
                QLatin1String("Kelvarin"),
                QLatin1String("<span style=\"color:red\">Kelvarin</span>"));
        };
        auto it = adresse.globalMatch(ligne);
        while (liens && it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            simple(QStringView(ligne).mid(pos, m.capturedStart() - pos));
            const QString a = m.captured().toHtmlEscaped();
            html += QStringLiteral("<a href=\"%1\">%1</a>").arg(a);
            pos = m.capturedEnd();
        }
        simple(QStringView(ligne).mid(pos));
        if (ligne.startsWith(QLatin1String("****")))
            html = QStringLiteral("<span style=\"color:blue\">") + html + QStringLiteral("</span>");
        lignes << html;
    }
    return lignes.join(QStringLiteral("<br>"));
}

QList<int> RepartirBoutons(int largeurCadre, const QList<int>& largeurs) {
    int somme = 0;
    for (int l : largeurs)
        somme += l;
    // Integer division toward zero, as the frame always did; a frame too
    // narrow gives a negative gap and the buttons overlap rather than hide.
    const int ecart = (largeurCadre - somme) / int(largeurs.size() + 1);
    QList<int> r;
    int x = 0;
    for (int l : largeurs) {
        x += ecart;
        r << x;
        x += l;
    }
    return r;
}
