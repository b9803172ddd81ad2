#pragma once
// The new-version check: once per start, and again by the retry rule that the
// save timer runs, an HTTP GET asks the version server for the latest version
// number, saying which version runs and which installation asks. The server
// answers with "name=value" lines: "version" (the latest version) and, on
// first contact, "numlocal" (this installation's number, kept in NumLocal).
// Everything runs on the event loop; nothing waits on the network.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
struct TConfig;

namespace version {

// The version server of the program; the hand-set key AdresseVersion in [Init]
// replaces it (private mirrors, tests).
inline constexpr const char* kAdresseServeur = "https://www.kelvarin.net/";
inline constexpr const char* kChemin = "version-kv.php";
inline constexpr const char* kAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

// A version text as four bytes a.b.c.d, a in the most significant byte so
// that versions compare as numbers. Digits and dots are read from the start up
// to the first other character; the text is valid only with exactly three
// dots, and when no number before a dot reaches 256; the last number is taken
// modulo 256. An invalid text gives 0 (0.0.0.0).
quint32 NumeroVersion(QByteArrayView texte);

// base ("/" added when missing) + "version-kv.php?numlocal=" + ("non" when
// numLocal <= 0, else the number) + "&vers=" + the version string.
QString AdresseRequete(const QString& base, int numLocal, const QString& chaineVersion);

// What a reply body says. Lines are "name=value": the name is the text before
// the first "=", compared in lower case; the value is kept to 255 characters.
// Other lines are ignored.
struct TReponseVersion {
    bool NumLocalLu = false; // a "numlocal" line with a decimal integer
    int NumLocal = 0;
    QList<QByteArray> Versions; // the "version" values, in order
};
TReponseVersion LireReponse(QByteArrayView corps);

} // namespace version

class TVerificationVersion : public QObject {
public:
    static constexpr qsizetype kTailleMaxReponse = 64 * 1024;
    static constexpr int kNbRedirections = 5;
    static constexpr quint32 kDelaiAbandonMs = 5 * 60 * 1000;        // 5 minutes
    static constexpr quint32 kDelaiRecommencerMs = 24 * 3600 * 1000; // 24 hours

    // `reglages` holds NumLocal: sent with each request, changed by a reply
    // (it reaches the settings file with the next write of the settings).
    explicit TVerificationVersion(TConfig& reglages, QObject* parent = nullptr);
    ~TVerificationVersion() override;
    TVerificationVersion(const TVerificationVersion&) = delete;
    TVerificationVersion& operator=(const TVerificationVersion&) = delete;

    // The server's base address, asked at each check.
    std::function<QString()> AdresseBase;
    // The running program's version string ("1.01.00.00").
    QString ChaineVersion;
    // A request that makes no progress for this long ends (a server that never answers).
    int DelaiMs = 60000;

    // A newer version exists (posted: called from the event loop, never
    // inside the reply's own handler, and not once shutdown began).
    std::function<void(const QByteArray& version)> OnNouvelleVersion;
    // Shutdown has begun: a reply that ends now is ignored.
    std::function<bool()> Destruction;
    // A request could not be started (after its debug-log line).
    std::function<void()> OnBip;

    // Starts a check; does nothing while one is in progress.
    void ChercheNouvelleVersion();
    // The retry rule, at each run of the save timer.
    void ReessaiNouvelleVersion();
    // Shutdown: a request in progress is dropped and any late reply ignored.
    void Arreter();

    bool EnCours() const { return !m_reponse.isNull(); }
    bool Fait() const { return m_fait; }
    quint32 TickReessai() const { return m_tickReessai; }
    // The last reply's body as collected (at most kTailleMaxReponse bytes).
    const QByteArray& Tampon() const { return m_tampon; }
    // The last request's address.
    const QUrl& DerniereRequete() const { return m_derniereRequete; }
    int NbRequetes() const { return m_nbRequetes; }

private:
    void lire(QNetworkReply* r);
    void fin();
    void echecDemarrage(const QString& erreur);

    TConfig& m_reglages;
    std::unique_ptr<QNetworkAccessManager> m_reseau; // created at the first check
    QPointer<QNetworkReply> m_reponse;
    QByteArray m_tampon;
    QUrl m_derniereRequete;
    bool m_fait = false;
    quint32 m_tickReessai = 0;
    bool m_arrete = false;
    int m_nbRequetes = 0;
};
