#include "integration/verification_version.h"

#include "core/config.h"
#include "core/cp1252.h"
#include "core/date_time.h"
#include "core/repertoires.h"
#include "core/stockage_config.h"
#include "core/trace.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

namespace version {

quint32 NumeroVersion(QByteArrayView texte) {
    quint32 champs[3] = {0, 0, 0};
    int points = 0;
    quint32 nombre = 0; // capped: only "256 or more" matters before a dot
    quint32 modulo = 0; // the last number modulo 256, however long
    for (const char c : texte) {
        if (c >= '0' && c <= '9') {
            const quint32 chiffre = quint32(c - '0');
            nombre = std::min<quint32>(nombre * 10 + chiffre, 256);
            modulo = (modulo * 10 + chiffre) % 256;
        } else if (c == '.') {
            if (points == 3 || nombre >= 256) return 0;
            champs[points++] = nombre;
            nombre = modulo = 0;
        } else {
            break;
        }
    }
    if (points != 3) return 0;
    return champs[0] << 24 | champs[1] << 16 | champs[2] << 8 | modulo;
}

QString AdresseRequete(const QString& base, int numLocal, const QString& chaineVersion) {
    QString a = base;
    if (!a.endsWith(QLatin1Char('/'))) a += QLatin1Char('/');
    a += QLatin1String(kChemin);
    a += QStringLiteral("?numlocal=");
    a += numLocal <= 0 ? QStringLiteral("non") : QString::number(numLocal);
    a += QStringLiteral("&vers=");
    a += chaineVersion;
    return a;
}

TReponseVersion LireReponse(QByteArrayView corps) {
    TReponseVersion r;
    qsizetype debut = 0;
    while (debut < corps.size()) {
        qsizetype fin = corps.indexOf('\n', debut);
        if (fin < 0) fin = corps.size();
        QByteArrayView ligne = corps.sliced(debut, fin - debut);
        debut = fin + 1;
        if (ligne.endsWith('\r')) ligne.chop(1);
        const qsizetype egal = ligne.indexOf('=');
        if (egal < 0) continue;
        const QByteArray nom = cp1252::minuscules(ligne.first(egal).trimmed());
        const QByteArrayView valeur = ligne.sliced(egal + 1).trimmed().first(
            std::min<qsizetype>(255, ligne.sliced(egal + 1).trimmed().size()));
        if (nom == "numlocal") {
            int n = 0;
            // A value that is not a decimal integer keeps the number already held.
            if (TStockageConfig::EntierStrict(valeur, n)) {
                r.NumLocalLu = true;
                r.NumLocal = n;
            }
        } else if (nom == "version") {
            r.Versions.append(valeur.toByteArray());
        }
    }
    return r;
}

} // namespace version

TVerificationVersion::TVerificationVersion(TConfig& reglages, QObject* parent)
    : QObject(parent), ChaineVersion(VersionProgramme()), m_reglages(reglages) {}

TVerificationVersion::~TVerificationVersion() {
    Arreter();
}

void TVerificationVersion::echecDemarrage(const QString& erreur) {
    const QString lieu = QStringLiteral("ChercheNouvelleVersion");
    debuglog::ligne(lieu, QStringLiteral("Exception : ") + erreur);
    TraceException(lieu, erreur);
    if (OnBip) OnBip();
}

void TVerificationVersion::ChercheNouvelleVersion() {
    if (m_arrete || EnCours()) return;
    const QString base = AdresseBase ? AdresseBase() : QString();
    const QString adresse =
        version::AdresseRequete(base.isEmpty() ? QLatin1String(version::kAdresseServeur) : base,
                                m_reglages.NumLocal, ChaineVersion);
    const QUrl url(adresse, QUrl::StrictMode);
    const QString schema = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (schema != QLatin1String("http") && schema != QLatin1String("https"))) {
        echecDemarrage(QStringLiteral("adresse invalide : ") + adresse);
        return;
    }
    if (!m_reseau) {
        m_reseau = std::make_unique<QNetworkAccessManager>();
        // The desktop's proxy settings are not asked: the check goes direct.
        m_reseau->setProxy(QNetworkProxy::NoProxy);
    }
    m_tampon.clear();
    QNetworkRequest requete(url);
    requete.setRawHeader("Accept", version::kAccept);
    requete.setRawHeader("User-Agent", "Kelvarin/" + cp1252::depuisUnicode(ChaineVersion));
    // One request per connection, as an HTTP/1.0 client does.
    requete.setRawHeader("Connection", "close");
    requete.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    requete.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    requete.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    requete.setMaximumRedirectsAllowed(kNbRedirections);
    requete.setTransferTimeout(DelaiMs);
    QNetworkReply* r = m_reseau->get(requete);
    if (!r) {
        echecDemarrage(QStringLiteral("requête refusée"));
        return;
    }
    // Only what fits the reply buffer is kept in memory.
    r->setReadBufferSize(kTailleMaxReponse);
    m_reponse = r;
    m_derniereRequete = url;
    ++m_nbRequetes;
    connect(r, &QNetworkReply::readyRead, this, [this, r] {
        if (r == m_reponse) Garde(u"ChercheNouvelleVersion", [this, r] { lire(r); });
    });
    connect(r, &QNetworkReply::finished, this,
            [this] { Garde(u"ChercheNouvelleVersion", [this] { fin(); }); });
}

void TVerificationVersion::lire(QNetworkReply* r) {
    if (!r->isOpen()) return; // aborted: nothing left to read
    const qsizetype place = kTailleMaxReponse - m_tampon.size();
    if (place > 0) m_tampon += r->read(place);
    if (r == m_reponse && m_tampon.size() >= kTailleMaxReponse &&
        (r->bytesAvailable() > 0 || r->isRunning())) {
        // Far more than any answer of the server: the rest is not read.
        debuglog::ligne(QStringLiteral("ChercheNouvelleVersion"),
                        QStringLiteral("réponse coupée à %1 octets").arg(kTailleMaxReponse));
        r->abort(); // finished() follows at once
    }
}

void TVerificationVersion::fin() {
    QNetworkReply* r = m_reponse;
    if (!r) return;
    m_reponse = nullptr;
    r->deleteLater();
    lire(r);
    if (m_arrete || (Destruction && Destruction())) return;
    // No HTTP answer at all (no network, no server): the check is not done,
    // and the retry rule tries again.
    const bool repondu = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (!repondu) {
        debuglog::ligne(QStringLiteral("ChercheNouvelleVersion"), r->errorString());
        return;
    }
    // Whatever the HTTP status, the lines that arrived are read.
    const version::TReponseVersion rep = version::LireReponse(m_tampon);
    if (rep.NumLocalLu) m_reglages.NumLocal = rep.NumLocal;
    const quint32 locale = version::NumeroVersion(cp1252::depuisUnicode(ChaineVersion));
    for (const QByteArray& v : rep.Versions) {
        if (version::NumeroVersion(v) <= locale) continue;
        // Posted, as the design's window message: the question is asked from
        // the event loop, not inside the network reply's handler.
        QMetaObject::invokeMethod(
            this,
            [this, v] {
                if (m_arrete || (Destruction && Destruction())) return;
                if (OnNouvelleVersion) OnNouvelleVersion(v);
            },
            Qt::QueuedConnection);
        break; // one question per reply
    }
    m_fait = true;
}

void TVerificationVersion::ReessaiNouvelleVersion() {
    if (m_arrete) return;
    const quint32 maintenant = tick::GetTickCount();
    if (!m_fait) {
        if (EnCours()) return;
        if (m_tickReessai == 0) {
            m_tickReessai = maintenant != 0 ? maintenant : 1; // 0 means "not set"
            ChercheNouvelleVersion();
        } else if (tick::ecoule(m_tickReessai, maintenant) < kDelaiAbandonMs) {
            m_fait = true; // given up until the 24 hours are over
        } else {
            ChercheNouvelleVersion();
        }
        return;
    }
    if (m_tickReessai != 0 && tick::ecoule(m_tickReessai, maintenant) > kDelaiRecommencerMs) {
        m_fait = false;
        m_tickReessai = 0;
    }
}

void TVerificationVersion::Arreter() {
    m_arrete = true;
    if (QNetworkReply* r = m_reponse) {
        m_reponse = nullptr;
        r->abort();
        r->deleteLater();
    }
    m_tampon = QByteArray();
}
