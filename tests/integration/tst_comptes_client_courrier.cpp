// The rules of the mail-client dialog over an in-memory store: which accounts
// are listed and ticked, what validating writes for each tick, the login
// forms with and without a port, and a store that is locked or fails.

#include "integration/comptes_client_courrier.h"

#include <QtTest>

namespace {
TUnMail mail(const char* cle, const char* serveur, const char* utilisateur, quint16 port = 0) {
    return {QLatin1String(cle), QStringLiteral("Compte ") + QLatin1String(cle),
            QString::fromUtf8(serveur), QString::fromUtf8(utilisateur), port};
}
} // namespace

class TstComptesClientCourrier : public QObject {
    Q_OBJECT
private slots:
    void lectureEtLignes() {
        TComptesMemoire m;
        m.Comptes = {mail("a", "pop.exemple.fr", "alice"), mail("b", "", "sans serveur"),
                     mail("c", "LocalHost", "carol@pop.x"), mail("d", "localhost.exemple.fr", "d")};
        TConfigComptesCourrier c(m, 0, 110);
        c.Lire();
        QCOMPARE(c.Count(), 3); // an account without a server is not listed
        QCOMPARE(c.Ligne(0), QStringLiteral("Compte a (pop.exemple.fr)"));
        QCOMPARE(c.Mail(1).Cle, QStringLiteral("c"));
        QVERIFY(!c.Coche(0));
        QVERIFY(c.Coche(1)); // "localhost" in any case
        QVERIFY(!c.Coche(2));
        // Nothing changed: nothing written.
        QString message;
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvEcrit);
        QVERIFY(m.Ecritures.isEmpty());
    }

    // One account, one tick, one write (or none).
    void ecritures_data() {
        QTest::addColumn<QString>("serveur");
        QTest::addColumn<QString>("utilisateur");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("coche");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("ecrit");
        QTest::addColumn<QString>("serveurEcrit");
        QTest::addColumn<QString>("utilisateurEcrit");
        QTest::addColumn<int>("portEcrit");
        const QString l = QStringLiteral("localhost");
        QTest::newRow("ticked") << "pop.exemple.fr"
                                << "alice" << 0 << true << 0 << true << l << "alice@pop.exemple.fr"
                                << 0;
        QTest::newRow("ticked, default port")
            << "pop.exemple.fr"
            << "alice" << 110 << true << 2 << true << l << "alice@pop.exemple.fr" << 0;
        QTest::newRow("ticked, user is an address") << "pop.exemple.fr"
                                                    << "alice@exemple.fr" << 0 << true << 0 << true
                                                    << l << "alice@exemple.fr@pop.exemple.fr" << 0;
        QTest::newRow("ticked, 995, format 0")
            << "pop.x"
            << "u@x" << 995 << true << 0 << true << l << "u@x@pop.x|995" << 0;
        QTest::newRow("ticked, 995, format 2")
            << "pop.x"
            << "u@x" << 995 << true << 2 << true << l << "pop.x/995/u@x" << 0;
        QTest::newRow("ticked, format 1")
            << "pop.x"
            << "u" << 0 << true << 1 << true << l << "pop.x/110/u" << 0;
        QTest::newRow("unticked back")
            << "localhost"
            << "alice@pop.exemple.fr" << 1110 << false << 0 << true << "pop.exemple.fr"
            << "alice" << 0;
        QTest::newRow("two @, split at the last")
            << "localhost"
            << "cecile@prive@pop.exemple.org" << 0 << false << 0 << true << "pop.exemple.org"
            << "cecile@prive" << 0;
        QTest::newRow("back from |port") << "LOCALHOST"
                                         << "u@x@pop.x|995" << 0 << false << 0 << true << "pop.x"
                                         << "u@x" << 995;
        QTest::newRow("back from server/port/user")
            << "localhost"
            << "pop.x/995/u@x" << 0 << false << 2 << true << "pop.x"
            << "u@x" << 995;
        QTest::newRow("back, port by name") << "localhost"
                                            << "pop.x/pop3/u" << 0 << false << 1 << true << "pop.x"
                                            << "u" << 110;
        QTest::newRow("unticked, no @: untouched") << "localhost"
                                                   << "alice" << 0 << false << 0 << false << ""
                                                   << "" << 0;
        QTest::newRow("ticked, already localhost") << "Localhost"
                                                   << "a@b" << 0 << true << 0 << false << ""
                                                   << "" << 0;
        QTest::newRow("unticked, elsewhere") << "pop.x"
                                             << "u" << 0 << false << 0 << false << ""
                                             << "" << 0;
    }
    void ecritures() {
        QFETCH(QString, serveur);
        QFETCH(QString, utilisateur);
        QFETCH(int, port);
        QFETCH(bool, coche);
        QFETCH(int, format);
        QFETCH(bool, ecrit);
        QFETCH(QString, serveurEcrit);
        QFETCH(QString, utilisateurEcrit);
        QFETCH(int, portEcrit);
        TComptesMemoire m;
        m.Comptes = {
            {QStringLiteral("k"), QStringLiteral("N"), serveur, utilisateur, quint16(port)}};
        TConfigComptesCourrier c(m, format, 110);
        c.Lire();
        c.setCoche(0, coche);
        QString message;
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvEcrit);
        if (!ecrit) {
            QVERIFY(m.Ecritures.isEmpty());
            return;
        }
        QCOMPARE(m.Ecritures.size(), 1);
        const TEcritureCompte e{QStringLiteral("k"), serveurEcrit, utilisateurEcrit,
                                quint16(portEcrit)};
        QCOMPARE(m.Ecritures[0], e);
    }

    // Ticked, validated, then unticked and validated: the account is back as it was.
    void allerRetour() {
        TComptesMemoire m;
        m.Comptes = {mail("1", "pop.exemple.fr", "alice"), mail("2", "imap.x", "b")};
        m.Comptes[1].ServeurPOP3.clear(); // not a POP3 account
        const QList<TUnMail> avant = m.Comptes;
        TConfigComptesCourrier c(m, 0, 110);
        c.Lire();
        c.setCoche(0, true);
        QString message;
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvEcrit);
        QCOMPARE(m.Comptes[0].ServeurPOP3, QStringLiteral("localhost"));
        QCOMPARE(m.Comptes[0].UtilisateurPOP3, QStringLiteral("alice@pop.exemple.fr"));
        TConfigComptesCourrier d(m, 0, 110);
        d.Lire();
        QVERIFY(d.Coche(0));
        d.setCoche(0, false);
        QCOMPARE(d.Valider(message), TConfigComptesCourrier::rvEcrit);
        QCOMPARE(m.Comptes[0].ServeurPOP3, avant[0].ServeurPOP3);
        QCOMPARE(m.Comptes[0].UtilisateurPOP3, avant[0].UtilisateurPOP3);
    }

    // The client is running: nothing is written, and the dialog says why. A
    // store that cannot be written says why too.
    void verrouEtEchec() {
        TComptesMemoire m;
        m.Comptes = {mail("1", "pop.exemple.fr", "alice")};
        m.VerrouActuel = QStringLiteral("ouvert");
        TConfigComptesCourrier c(m, 0, 110);
        c.Lire();
        c.setCoche(0, true);
        QString message;
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvVerrouille);
        QCOMPARE(message, QStringLiteral("ouvert"));
        QVERIFY(m.Ecritures.isEmpty());
        QCOMPARE(m.Comptes[0].ServeurPOP3, QStringLiteral("pop.exemple.fr"));

        m.VerrouActuel.clear();
        m.ErreurEcriture = QStringLiteral("disque plein");
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvErreur);
        QCOMPARE(message, QStringLiteral("disque plein"));
    }
};

QTEST_GUILESS_MAIN(TstComptesClientCourrier)
#include "tst_comptes_client_courrier.moc"
