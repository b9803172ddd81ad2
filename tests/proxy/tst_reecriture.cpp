// Rewriting and delivery of a judged message: the exact bytes the mail client
// gets, at every spam level and with every option that changes them.

#include "core/config.h"
#include "core/cp1252.h"
#include "proxy/reecriture.h"
#include "tests/support/dovecot_peer.h"
#include "tests/support/reponse_pop3.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const QByteArray kFin = "\r\n.\r\n";
const QByteArray kXK = "X-Kelvarin: liste noire (ip)\r\nX-Kelvarin : spam bayesien=85.3%\r\n";

QByteArray latin(const char* utf8) {
    return cp1252::depuisLatin(utf8);
}

QByteArray enCRLF(QByteArray texte) {
    texte.replace("\r\n", "\n");
    texte.replace("\n", "\r\n");
    return texte;
}

using testsupport::lireReponsePOP;

struct TCas {
    TMessageAReecrire message;
    TConfig config;
};

// Options of a table row, space-separated: sujet (ModifSujet), info
// (AjoutInfoBayesien), html (EnleveHTML), suppr (SupprimerSpam), top, bayes
// (TestBayes), fictif, marques (one distinct prefix and suffix per level),
// fin=X (every suffix), debut=X (every prefix).
TCas preparer(const QByteArray& flux, int niveau, const QByteArray& options, double proba,
              const QByteArray& xk, const QByteArray& retenue) {
    TCas c;
    c.config.ModifSujet = false;
    c.config.AjoutInfoBayesien = false;
    c.config.EnleveHTML = false;
    auto& m = c.message;
    m.Flux = flux;
    m.Niveau = static_cast<TNiveauSpam>(niveau);
    m.Probabilite = proba;
    m.TexteXKelvarin = xk;
    m.ReponseRetenue = retenue;
    m.From = "a@b";
    m.To = "c@d";
    m.Subject = "Hello";
    m.NomCompte = "compte";
    m.SeparateurDecimal = ".";
    for (const QByteArray& o : options.split(' ')) {
        if (o == "sujet")
            c.config.ModifSujet = true;
        else if (o == "info")
            c.config.AjoutInfoBayesien = true;
        else if (o == "html")
            c.config.EnleveHTML = true;
        else if (o == "suppr")
            m.SupprimerSpam = true;
        else if (o == "top")
            m.CommandeTOP = true;
        else if (o == "bayes")
            m.TestBayes = true;
        else if (o == "fictif")
            m.EnvoiFictif = true;
        else if (o == "marques") {
            c.config.DebutSujet = "S3 ";
            c.config.DebutSujetBaye = "S2 ";
            c.config.DebutSujetIP = "S1 ";
            c.config.FinSujet = "/3";
            c.config.FinSujetBaye = "/2";
            c.config.FinSujetIP = "/1";
        } else if (o.startsWith("fin=")) {
            c.config.FinSujet = c.config.FinSujetBaye = c.config.FinSujetIP = o.mid(4);
        } else if (o.startsWith("debut=")) {
            c.config.DebutSujet = c.config.DebutSujetBaye = c.config.DebutSujetIP = o.mid(6);
        } else if (!o.isEmpty()) {
            qFatal("unknown option %s", o.constData());
        }
    }
    return c;
}

} // namespace

class TestReecriture : public QObject {
    Q_OBJECT

private slots:
    void reecriture_data();
    void reecriture();
    void traces_data();
    void traces();
    void probabilite_data();
    void probabilite();
    void messageForge();
    void corpus();
};

void TestReecriture::reecriture_data() {
    QTest::addColumn<QByteArray>("flux");
    QTest::addColumn<int>("niveau");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<double>("proba");
    QTest::addColumn<QByteArray>("xk");
    QTest::addColumn<QByteArray>("retenue");
    QTest::addColumn<QByteArray>("attendu");

    const QByteArray h = "From: a@b\r\nSubject: Hello\r\n";
    const QByteArray b = "\r\nbody\r\n";
    const QByteArray marque = "From: a@b\r\nSubject: [[**SPAM**]] Hello\r\n";
    const QByteArray xk0 = "X-Kelvarin: liste blanche (ip)\r\n";
    const auto row = [](const char* nom) -> QTestData& { return QTest::newRow(nom); };

    // Levels and subject marks.
    row("level 0 goes out as received") << h + b << 0 << QByteArray("sujet info html bayes") << 50.0
                                        << QByteArray() << QByteArray() << h + b + kFin;
    row("level 0 X-Kelvarin ends the header")
        << h + b << 0 << QByteArray("sujet") << -1.0 << xk0 << QByteArray() << h + xk0 + b + kFin;
    row("level 3 default prefix") << h + b << 3 << QByteArray("sujet") << -1.0 << kXK
                                  << QByteArray() << marque + kXK + b + kFin;
    row("level 3 suffix") << h + b << 3 << QByteArray("sujet fin=!") << -1.0 << kXK << QByteArray()
                          << "From: a@b\r\nSubject: [[**SPAM**]] Hello!\r\n" + kXK + b + kFin;
    row("level 3 without ModifSujet") << h + b << 3 << QByteArray("info bayes") << 90.0 << kXK
                                      << QByteArray() << h + kXK + b + kFin;
    row("level 1 IP marks") << h + b << 1 << QByteArray("sujet marques") << -1.0 << kXK
                            << QByteArray()
                            << "From: a@b\r\nSubject: S1 Hello/1\r\n" + kXK + b + kFin;
    row("level 2 Bayes marks") << h + b << 2 << QByteArray("sujet marques") << -1.0 << kXK
                               << QByteArray()
                               << "From: a@b\r\nSubject: S2 Hello/2\r\n" + kXK + b + kFin;
    row("level 3 spam marks") << h + b << 3 << QByteArray("sujet marques") << -1.0 << kXK
                              << QByteArray()
                              << "From: a@b\r\nSubject: S3 Hello/3\r\n" + kXK + b + kFin;

    // Probability in the prefix.
    row("probability level 2") << h + b << 2 << QByteArray("sujet info bayes") << 85.3 << kXK
                               << QByteArray()
                               << "From: a@b\r\nSubject: [[**SPAM2**]][85.3%] Hello\r\n" + kXK + b +
                                      kFin;
    row("probability padded") << h + b << 3 << QByteArray("sujet info bayes") << 5.0 << kXK
                              << QByteArray()
                              << "From: a@b\r\nSubject: [[**SPAM**]][ 5.0%] Hello\r\n" + kXK + b +
                                     kFin;
    row("probability needs TestBayes") << h + b << 3 << QByteArray("sujet info") << 85.3 << kXK
                                       << QByteArray() << marque + kXK + b + kFin;
    row("probability with empty prefix")
        << h + b << 3 << QByteArray("sujet info bayes debut=") << 60.0 << kXK << QByteArray()
        << "From: a@b\r\nSubject: [60.0%] Hello\r\n" + kXK + b + kFin;
    row("probability after prefix without space")
        << h + b << 3 << QByteArray("sujet info bayes debut=SPAM:") << 60.0 << kXK << QByteArray()
        << "From: a@b\r\nSubject: SPAM:[60.0%]Hello\r\n" + kXK + b + kFin;

    // Finding the subject.
    row("missing subject inserted first")
        << QByteArray("From: a@b\r\n\r\nbody\r\n") << 3 << QByteArray("sujet") << -1.0 << kXK
        << QByteArray() << "Subject: [[**SPAM**]] \r\nFrom: a@b\r\n" + kXK + b + kFin;
    row("missing subject with suffix")
        << QByteArray("From: a@b\r\n\r\nbody\r\n") << 3 << QByteArray("sujet marques") << -1.0
        << kXK << QByteArray() << "Subject: S3 /3\r\nFrom: a@b\r\n" + kXK + b + kFin;
    row("lower case subject without space")
        << QByteArray("subject:Hello\r\n\r\nbody\r\n") << 3 << QByteArray("sujet fin=!") << -1.0
        << kXK << QByteArray() << "subject:[[**SPAM**]] Hello!\r\n" + kXK + b + kFin;
    row("empty subject") << QByteArray("Subject:\r\n\r\nbody\r\n") << 3 << QByteArray("sujet fin=!")
                         << -1.0 << kXK << QByteArray()
                         << "Subject:[[**SPAM**]] !\r\n" + kXK + b + kFin;
    row("only the first Subject line")
        << QByteArray("Subject: one\r\nSubject: two\r\n\r\nbody\r\n") << 3 << QByteArray("sujet")
        << -1.0 << kXK << QByteArray()
        << "Subject: [[**SPAM**]] one\r\nSubject: two\r\n" + kXK + b + kFin;
    row("folded subject: suffix on its first line")
        << QByteArray("Subject: one\r\n two\r\n\r\nbody\r\n") << 3 << QByteArray("sujet fin=!")
        << -1.0 << kXK << QByteArray() << "Subject: [[**SPAM**]] one!\r\n two\r\n" + kXK + b + kFin;
    row("Subject in the body does not count")
        << QByteArray("From: a\r\n\r\nSubject: no\r\n") << 3 << QByteArray("sujet") << -1.0 << kXK
        << QByteArray()
        << "Subject: [[**SPAM**]] \r\nFrom: a\r\n" + kXK + "\r\nSubject: no\r\n" + kFin;
    row("X-Subject is not the subject")
        << QByteArray("X-Subject: no\r\n\r\nbody\r\n") << 3 << QByteArray("sujet") << -1.0 << kXK
        << QByteArray() << "Subject: [[**SPAM**]] \r\nX-Subject: no\r\n" + kXK + b + kFin;

    // Where the header ends.
    row("no empty line") << QByteArray("From: a\r\nSubject: Hi\r\n") << 3 << QByteArray("sujet")
                         << -1.0 << kXK << QByteArray()
                         << "From: a\r\nSubject: [[**SPAM**]] Hi\r\n" + kXK + kFin;
    row("no empty line nor final line end")
        << QByteArray("Subject: Hi") << 3 << QByteArray("sujet fin=!") << -1.0 << kXK
        << QByteArray() << "Subject: [[**SPAM**]] Hi\r\n" + kXK + kFin;
    row("X-Kelvarin text without line end")
        << h + b << 0 << QByteArray() << -1.0 << QByteArray("X-Kelvarin: ok") << QByteArray()
        << h + "X-Kelvarin: ok\r\n" + b + kFin;
    row("lone CRs do not end the header")
        << QByteArray("X: a\rb\rc\r\nSubject: s\r\n\r\nbody\r\n") << 3 << QByteArray("sujet")
        << -1.0 << kXK << QByteArray()
        << "X: a\rb\rc\r\nSubject: [[**SPAM**]] s\r\n" + kXK + b + kFin;
    row("empty header") << QByteArray("\r\nbody\r\n") << 3 << QByteArray("sujet") << -1.0 << kXK
                        << QByteArray() << "Subject: [[**SPAM**]] \r\n" + kXK + b + kFin;
    row("empty message level 0") << QByteArray() << 0 << QByteArray("sujet html") << -1.0
                                 << QByteArray() << QByteArray() << kFin;
    row("empty message level 3") << QByteArray() << 3 << QByteArray("sujet html") << -1.0 << kXK
                                 << QByteArray() << "Subject: [[**SPAM**]] \r\n" + kXK + kFin;

    // Lines opened by a dot, wherever they are.
    row("header line opened by a dot")
        << ".x: y\r\nSubject: s\r\n" + b << 0 << QByteArray() << -1.0 << QByteArray()
        << QByteArray() << "..x: y\r\nSubject: s\r\n" + b + kFin;
    row("lone dot in the header") << "From: a\r\n.\r\n+OK forged\r\n" + b << 3
                                  << QByteArray("sujet") << -1.0 << kXK << QByteArray()
                                  << "Subject: [[**SPAM**]] \r\nFrom: a\r\n..\r\n+OK forged\r\n" +
                                         kXK + b + kFin;
    row("lone dot and dot lines in the body")
        << h + "\r\n.\r\n.hidden\r\n..two\r\n"
        << 0 << QByteArray() << -1.0 << QByteArray() << QByteArray()
        << h + "\r\n..\r\n..hidden\r\n...two\r\n" + kFin;
    row("dot as the very last byte") << h + "\r\nbody\r\n." << 0 << QByteArray() << -1.0
                                     << QByteArray() << QByteArray() << h + "\r\nbody\r\n.." + kFin;
    row("dot-only message without line end") << QByteArray(".") << 0 << QByteArray() << -1.0
                                             << QByteArray() << QByteArray() << ".." + kFin;

    // HTML neutralisation.
    const QByteArray html = "Content-Type: text/html; charset=x\r\nSubject: s\r\n\r\n--b\r\n"
                            "content-type:TEXT/HTML\r\n\tContent-type: Text/Html\r\n";
    const QByteArray neutre = "Content-Type: XXXXXXXXX; charset=x\r\nSubject: s\r\n" + kXK +
                              "\r\n--b\r\ncontent-type:XXXXXXXXX\r\n\tContent-type: XXXXXXXXX\r\n";
    row("html neutralised for spam")
        << html << 3 << QByteArray("html") << -1.0 << kXK << QByteArray() << neutre + kFin;
    row("html kept at level 0") << html << 0 << QByteArray("html") << -1.0 << QByteArray()
                                << QByteArray() << html + kFin;
    row("html kept without EnleveHTML")
        << html << 2 << QByteArray() << -1.0 << QByteArray() << QByteArray() << html + kFin;
    const QByteArray pasHTML = "X-Content-Type: text/html\r\nA:content-type: text/html\r\n"
                               "Content-Type:  text/html\r\nContent-Type: text/plain\r\n\r\n";
    row("html only in a Content-Type field") << pasHTML << 3 << QByteArray("html") << -1.0
                                             << QByteArray() << QByteArray() << pasHTML + kFin;
    row("content-type cut at the end")
        << QByteArray("S: a\r\n\r\nContent-Type: text/htm") << 3 << QByteArray("html") << -1.0
        << QByteArray() << QByteArray() << QByteArray("S: a\r\n\r\nContent-Type: text/htm") + kFin;
    row("content-type ends the buffer")
        << QByteArray("S: a\r\n\r\nContent-Type: text/html") << 3 << QByteArray("html") << -1.0
        << QByteArray() << QByteArray() << QByteArray("S: a\r\n\r\nContent-Type: XXXXXXXXX") + kFin;
    row("content-type alone at the end")
        << QByteArray("S: a\r\n\r\ncontent-type:") << 3 << QByteArray("html") << -1.0
        << QByteArray() << QByteArray() << QByteArray("S: a\r\n\r\ncontent-type:") + kFin;
    row("content-type opening the message")
        << QByteArray("Content-Type: text/html\r\n\r\nx\r\n") << 3 << QByteArray("html") << -1.0
        << QByteArray() << QByteArray()
        << QByteArray("Content-Type: XXXXXXXXX\r\n\r\nx\r\n") + kFin;

    // Status line held back under SupprimerSpam.
    row("held status line first") << h + b << 0 << QByteArray("suppr") << -1.0 << QByteArray()
                                  << QByteArray("+OK 120 octets")
                                  << "+OK 120 octets\r\n" + h + b + kFin;
    row("nothing held: message non-spam")
        << h + b << 0 << QByteArray("suppr") << -1.0 << QByteArray() << QByteArray()
        << "+OK message non-spam\r\n" + h + b + kFin;
    row("level 1 not replaced") << h + b << 1 << QByteArray("sujet suppr") << -1.0 << kXK
                                << QByteArray("+OK 1")
                                << "+OK 1\r\nFrom: a@b\r\nSubject: [[**SPAM2**]] Hello\r\n" + kXK +
                                       b + kFin;
    row("level 2 not replaced") << h + b << 2 << QByteArray("sujet suppr") << -1.0 << kXK
                                << QByteArray("+OK 2")
                                << "+OK 2\r\nFrom: a@b\r\nSubject: [[**SPAM2**]] Hello\r\n" + kXK +
                                       b + kFin;
    row("TOP of level 3 not replaced")
        << h + b << 3 << QByteArray("sujet suppr top") << -1.0 << kXK << QByteArray("+OK top")
        << "+OK top\r\n" + marque + kXK + b + kFin;
    row("held line sent even without SupprimerSpam")
        << h + b << 0 << QByteArray() << -1.0 << QByteArray() << QByteArray("+OK 3")
        << "+OK 3\r\n" + h + b + kFin;

    // The notice that replaces a level-3 spam.
    const QByteArray entete = "From: a@b\r\nTo: c@d\r\nSubject: Hello\r\n.\r\n"
                              "Content-Type: text/html\r\n";
    const QByteArray debutNotice =
        latin("+OK Spam supprimé automatiquement\r\n") +
        "From: a@b\r\nTo: c@d\r\nSubject: [[**SPAM**]] message de type spam\r\n\r\n\r\n"
        "Boite : compte\r\nDe : a@b\r\nA : c@d\r\nSujet : Hello\r\n-=-=-=-=-=-=-=-\r\n";
    const QByteArray copie = latin("En-têtes complêtes du message supprimé :\r\n") +
                             "From: a@b\r\nTo: c@d\r\nSubject: Hello\r\n..\r\n"
                             "Content-Type: XXXXXXXXX\r\n";
    row("notice") << entete + "\r\nbody\r\n.\r\n"
                  << 3 << QByteArray("sujet html suppr") << -1.0 << kXK
                  << QByteArray("+OK 99 octets")
                  << debutNotice + kXK + "\r\n-=-=-=-=-=-=-=-\r\n" + copie + kFin;
    row("notice without X-Kelvarin text") << entete + "\r\nbody\r\n"
                                          << 3 << QByteArray("html suppr") << -1.0 << QByteArray()
                                          << QByteArray() << debutNotice + copie + kFin;
    row("notice of a message without empty line")
        << QByteArray("From: a@b\r\n.x\r\n") << 3 << QByteArray("suppr") << -1.0 << QByteArray()
        << QByteArray()
        << debutNotice + latin("En-têtes complêtes du message supprimé :\r\n") +
               "From: a@b\r\n..x\r\n" + kFin;

    // Re-emitted messages: copied whole, nothing judged.
    row("fictive") << QByteArray(".first\r\nSubject: s\r\n\r\n.\r\nContent-Type: text/html\r\n")
                   << 3 << QByteArray("sujet info html suppr bayes fictif") << 90.0 << kXK
                   << QByteArray()
                   << "..first\r\nSubject: s\r\n\r\n..\r\nContent-Type: text/html\r\n" + kFin;
    row("fictive with its status line")
        << h + b << 0 << QByteArray("fictif") << -1.0 << QByteArray()
        << QByteArray("+OK Message fictif") << "+OK Message fictif\r\n" + h + b + kFin;
}

void TestReecriture::reecriture() {
    QFETCH(QByteArray, flux);
    QFETCH(int, niveau);
    QFETCH(QByteArray, options);
    QFETCH(double, proba);
    QFETCH(QByteArray, xk);
    QFETCH(QByteArray, retenue);
    QFETCH(QByteArray, attendu);

    // A heap block of exactly the message's size, so that a read past its end
    // is caught by the sanitizer build.
    const auto bloc = std::make_unique<char[]>(static_cast<size_t>(flux.size()));
    std::copy(flux.cbegin(), flux.cend(), bloc.get());
    const QByteArray exact =
        flux.isEmpty() ? QByteArray() : QByteArray::fromRawData(bloc.get(), flux.size());
    const TCas c = preparer(exact, niveau, options, proba, xk, retenue);
    const QByteArray avant(flux);
    const TMessageReecrit r = ReecrireMessage(c.message, c.config);
    QCOMPARE(r.Octets, attendu);
    QCOMPARE(c.message.Flux, avant);               // the archived text is never touched
    QVERIFY(lireReponsePOP(r.Octets).has_value()); // one answer, ended by its only "."
}

void TestReecriture::traces_data() {
    QTest::addColumn<int>("niveau");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<bool>("spamIP");
    QTest::addColumn<bool>("spamBayes");
    QTest::addColumn<QByteArray>("retenue");
    QTest::addColumn<QStringList>("attendu");

    const QString corps = QStringLiteral("< corps message (spam ip=%1, bayes=%2)");
    QTest::newRow("level 0") << 0 << QByteArray() << false << false << QByteArray()
                             << QStringList{corps.arg(u"non", u"non")};
    QTest::newRow("marks") << 3 << QByteArray() << true << true << QByteArray()
                           << QStringList{corps.arg(u"oui", u"oui")};
    QTest::newRow("held line") << 1 << QByteArray("suppr") << true << false
                               << QByteArray("+OK 12 octets")
                               << QStringList{corps.arg(u"oui", u"non"),
                                              QStringLiteral("< +OK 12 octets")};
    QTest::newRow("non-spam line")
        << 0 << QByteArray("suppr") << false << false << QByteArray()
        << QStringList{corps.arg(u"non", u"non"), QStringLiteral("< +OK message non-spam")};
    QTest::newRow("notice") << 3 << QByteArray("suppr") << false << true << QByteArray("+OK 5")
                            << QStringList{corps.arg(u"non", u"oui"),
                                           QStringLiteral("< +OK Spam supprimé automatiquement")};
    QTest::newRow("fictive") << 0 << QByteArray("fictif suppr") << false << false
                             << QByteArray("+OK Message fictif") << QStringList{};
}

void TestReecriture::traces() {
    QFETCH(int, niveau);
    QFETCH(QByteArray, options);
    QFETCH(bool, spamIP);
    QFETCH(bool, spamBayes);
    QFETCH(QByteArray, retenue);
    QFETCH(QStringList, attendu);

    TCas c = preparer("Subject: s\r\n\r\nbody\r\n", niveau, options, -1, {}, retenue);
    c.message.SpamIP = spamIP;
    c.message.SpamBayes = spamBayes;
    QCOMPARE(ReecrireMessage(c.message, c.config).Traces, attendu);
}

void TestReecriture::probabilite_data() {
    QTest::addColumn<double>("p");
    QTest::addColumn<QByteArray>("separateur");
    QTest::addColumn<QByteArray>("attendu");
    QTest::newRow("85.3") << 85.3 << QByteArray(".") << QByteArray("85.3%");
    QTest::newRow("5 padded") << 5.0 << QByteArray(".") << QByteArray(" 5.0%");
    QTest::newRow("0") << 0.0 << QByteArray(".") << QByteArray(" 0.0%");
    QTest::newRow("100 not cut") << 100.0 << QByteArray(".") << QByteArray("100.0%");
    QTest::newRow("rounded") << 60.06 << QByteArray(".") << QByteArray("60.1%");
    QTest::newRow("rounded up to 100") << 99.97 << QByteArray(".") << QByteArray("100.0%");
    QTest::newRow("comma") << 85.3 << QByteArray(",") << QByteArray("85,3%");
}

void TestReecriture::probabilite() {
    QFETCH(double, p);
    QFETCH(QByteArray, separateur);
    QFETCH(QByteArray, attendu);
    QCOMPARE(FormaterProbabilite(p, separateur), attendu);
}

// A spam that hides a lone "." and forged server lines in its header and body:
// whatever form it takes, the client reads one answer holding every line.
void TestReecriture::messageForge() {
    QFile f(testsupport::cheminFixture(QStringLiteral("rewrite/point_forge.eml")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray flux = enCRLF(f.readAll());

    for (const char* options : {"", "sujet html", "sujet html suppr", "fictif"}) {
        const TCas c = preparer(flux, 3, options, -1, kXK, {});
        const QByteArray octets = ReecrireMessage(c.message, c.config).Octets;
        const qsizetype apresStatut = c.message.SupprimerSpam ? octets.indexOf("\r\n") + 2 : 0;
        const auto lu = lireReponsePOP(octets.sliced(apresStatut));
        QVERIFY2(lu.has_value(), options);
        QVERIFY2(lu->contains("\r\n+OK 0 octets\r\n"), options);
        if (!c.message.SupprimerSpam) {
            QVERIFY2(lu->contains("\r\n-ERR not from the server\r\n"), options);
            QVERIFY2(lu->endsWith("--SEP--\r\n.\r\n\r\n"), options);
        }
    }
}

// Every message of the public corpus, delivered at level 0 and as a marked
// spam, reads back on the client side as exactly what was meant.
void TestReecriture::corpus() {
    const QString chemin = testsupport::dossierCorpus();
    QVERIFY2(!chemin.isEmpty(), "corpus missing: scripts/fetch-corpus.sh failed");
    const QDir dossier(chemin);
    QVERIFY2(dossier.exists(), qPrintable(dossier.path()));

    int nombre = 0;
    for (const QString& groupe : dossier.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir d(dossier.filePath(groupe));
        for (const QString& nom : d.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
            QFile f(d.filePath(nom));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QByteArray texte = f.readAll();
            if (texte.startsWith("From ")) texte.remove(0, texte.indexOf('\n') + 1);
            const QByteArray flux = enCRLF(texte);
            ++nombre;

            TCas bon = preparer(flux, 0, "sujet html", -1, {}, {});
            const auto lu = lireReponsePOP(ReecrireMessage(bon.message, bon.config).Octets);
            QVERIFY2(lu && *lu == flux + "\r\n", qPrintable(nom));

            // Without the added lines and the prefix, the spam is the message again.
            TCas spam = preparer(flux, 3, "sujet", -1, kXK, {});
            const auto luSpam = lireReponsePOP(ReecrireMessage(spam.message, spam.config).Octets);
            QVERIFY2(luSpam.has_value(), qPrintable(nom));
            const qsizetype finEntete = luSpam->indexOf("\r\n\r\n");
            if (finEntete >= 0)
                QVERIFY2(luSpam->first(finEntete + 2).endsWith(kXK), qPrintable(nom));
            QByteArray reste = *luSpam;
            const qsizetype posXK = reste.indexOf(kXK);
            QVERIFY2(posXK >= 0, qPrintable(nom));
            reste.remove(posXK, kXK.size());
            const qsizetype posPrefixe = reste.indexOf(spam.config.DebutSujet);
            QVERIFY2(posPrefixe >= 0, qPrintable(nom));
            reste.remove(posPrefixe, spam.config.DebutSujet.size());
            QVERIFY2(reste == flux + "\r\n" || reste == "Subject: \r\n" + flux + "\r\n",
                     qPrintable(nom));
        }
    }
    QVERIFY(nombre > 1000);
}

QTEST_GUILESS_MAIN(TestReecriture)
#include "tst_reecriture.moc"
