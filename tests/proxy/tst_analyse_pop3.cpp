// The pure parsers of the proxy: client command lines, login arguments, the
// server's STAT and LIST answers and the header fields of a retrieved message.

#include "proxy/analyse_pop3.h"

#include <QtTest>

class TestAnalysePOP3 : public QObject {
    Q_OBJECT
private slots:
    void commande_data() {
        QTest::addColumn<QByteArray>("ligne");
        QTest::addColumn<QByteArray>("mot");
        QTest::addColumn<QByteArray>("argument");
        QTest::addColumn<QByteArray>("ignore");
        QTest::newRow("simple") << QByteArray("stat") << QByteArray("STAT") << QByteArray()
                                << QByteArray();
        QTest::newRow("argument keeps spaces")
            << QByteArray("top 3 10") << QByteArray("TOP") << QByteArray("3 10") << QByteArray();
        QTest::newRow("trailing CR")
            << QByteArray("USER a@b\r") << QByteArray("USER") << QByteArray("a@b") << QByteArray();
        QTest::newRow("NUL cuts") << QByteArray("NOOP\0QUIT", 9) << QByteArray("NOOP")
                                  << QByteArray() << QByteArray("QUIT");
        QTest::newRow("CR inside cuts") << QByteArray("NOOP\rDELE 1") << QByteArray("NOOP")
                                        << QByteArray() << QByteArray("DELE 1");
        QTest::newRow("past 127 bytes")
            << QByteArray("PASS " + QByteArray(122, 'x') + "TAIL") << QByteArray("PASS")
            << QByteArray(122, 'x') << QByteArray("TAIL");
        QTest::newRow("cp1252 upper case")
            << QByteArray("\xe9t\xe9") << QByteArray("\xc9T\xc9") << QByteArray() << QByteArray();
    }
    void commande() {
        QFETCH(QByteArray, ligne);
        const pop3::TCommandeClient c = pop3::analyserCommande(ligne);
        QTEST(c.mot, "mot");
        QTEST(c.argument, "argument");
        QTEST(c.ignore, "ignore");
        QVERIFY(c.ligne.size() <= pop3::kLongueurCommandeMax);
    }

    void nombre_data() {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<int>("valeur");
        QTest::newRow("digits") << QByteArray("42") << 42;
        QTest::newRow("blanks") << QByteArray(" 7 ") << 7;
        QTest::newRow("negative") << QByteArray("-3") << 0;
        QTest::newRow("text") << QByteArray("abc") << 0;
        QTest::newRow("mixed") << QByteArray("3x") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("saturates") << QByteArray("99999999999999999999") << INT32_MAX;
    }
    void nombre() {
        QFETCH(QByteArray, texte);
        QTEST(pop3::lireNombre(texte), "valeur");
    }

    void login_data() {
        QTest::addColumn<QByteArray>("argument");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("serveur");
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<QByteArray>("utilisateur");
        QTest::newRow("at") << QByteArray("bob@mail.test") << 0 << true << QByteArray("mail.test")
                            << QByteArray() << QByteArray("bob");
        QTest::newRow("last at splits") << QByteArray("a@b@c") << 0 << true << QByteArray("c")
                                        << QByteArray() << QByteArray("a@b");
        QTest::newRow("at first fails")
            << QByteArray("@c") << 0 << false << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("no at fails")
            << QByteArray("bob") << 0 << false << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("port after bar") << QByteArray("a@c|995") << 0 << true << QByteArray("c")
                                        << QByteArray("995") << QByteArray("a");
        QTest::newRow("port capped at 100")
            << QByteArray("a@c|" + QByteArray(150, '9')) << 0 << true << QByteArray("c")
            << QByteArray(100, '9') << QByteArray("a");
        QTest::newRow("slash") << QByteArray("c/110/a") << 1 << true << QByteArray("c")
                               << QByteArray("110") << QByteArray("a");
        QTest::newRow("slash user keeps slashes")
            << QByteArray("c/110/a/b") << 1 << true << QByteArray("c") << QByteArray("110")
            << QByteArray("a/b");
        QTest::newRow("slash needs two")
            << QByteArray("c/a") << 1 << false << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("both: slash wins") << QByteArray("c/110/a") << 2 << true << QByteArray("c")
                                          << QByteArray("110") << QByteArray("a");
        QTest::newRow("both: one slash fails")
            << QByteArray("c/a@x") << 2 << false << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("both: at") << QByteArray("a@c") << 2 << true << QByteArray("c")
                                  << QByteArray() << QByteArray("a");
        QTest::newRow("slash format refuses at")
            << QByteArray("a@c") << 1 << false << QByteArray() << QByteArray() << QByteArray();
    }
    void login() {
        QFETCH(QByteArray, argument);
        QFETCH(int, format);
        const pop3::TLogin l = pop3::analyserLogin(argument, format);
        QTEST(l.ok, "ok");
        if (!l.ok) return;
        QTEST(l.serveur, "serveur");
        QTEST(l.port, "port");
        QTEST(l.utilisateur, "utilisateur");
    }

    void reponses() {
        qint64 n = -1, t = -1;
        pop3::analyserReponseStat("+OK 3 1200", n, t);
        QCOMPARE(n, 3);
        QCOMPARE(t, 1200);
        // Mailboxes past 2 GB and absurd figures: 64 bits, saturating.
        pop3::analyserReponseStat("+OK 2 5000000000", n, t);
        QCOMPARE(t, Q_INT64_C(5000000000));
        pop3::analyserReponseStat("+OK 1 999999999999999999999999", n, t);
        QCOMPARE(t, INT64_MAX);
        pop3::analyserReponseStat("+OK", n, t);
        QCOMPARE(n, 0);
        QCOMPARE(t, 0);
        pop3::analyserReponseStat("+OK mailbox has 4 messages", n, t);
        QCOMPARE(n, 0);

        QVERIFY(pop3::analyserLigneListe("+OK 2 340", n, t));
        QCOMPARE(n, 2);
        QCOMPARE(t, 340);
        QVERIFY(pop3::analyserLigneListe("7 12", n, t));
        QCOMPARE(n, 7);
        QCOMPARE(t, 12);
        QVERIFY(!pop3::analyserLigneListe("-ERR no such message", n, t));
        QVERIFY(!pop3::analyserLigneListe(".", n, t));
    }

    void port() {
        QCOMPARE(pop3::resoudrePort("pop3"), quint16(110));
        QCOMPARE(pop3::resoudrePort("995"), quint16(995));
        // The POP3S service, known even without /etc/services.
        QCOMPARE(pop3::resoudrePort("POP3S"), quint16(995));
        QCOMPARE(pop3::resoudrePort(" 110 "), quint16(110));
        QCOMPARE(pop3::resoudrePort("70000"), quint16(0));
        QCOMPARE(pop3::resoudrePort("no-such-service-kv"), quint16(0));
        QCOMPARE(pop3::resoudrePort(""), quint16(0));
    }

    void entete() {
        pop3::TChampsEntete e;
        const QList<QByteArray> lignes = {
            "Received: from x",   "\tby y",         "From: Alice <a@x.test>",
            "SUBJECT:Hello",      " world",         "Cc: b@x.test",
            "To: c@x.test",       "Cc: d@x.test",   "X-Other: Subject: no",
            "Message-ID : <id>",  "Reply-To:  r@x", "no colon line",
            "\tcontinues nothing"};
        for (const QByteArray& l : lignes)
            e.ajouterLigne(l);
        QCOMPARE(e.From, QByteArray("Alice <a@x.test>"));
        QCOMPARE(e.Subject, QByteArray("Helloworld"));
        QCOMPARE(e.To, QByteArray("c@x.test"));
        QCOMPARE(e.Cc, QByteArray("b@x.test, d@x.test"));
        QCOMPARE(e.MessageId, QByteArray("<id>"));
        QCOMPARE(e.ReplyTo, QByteArray(" r@x")); // one optional space only
        e.effacer();
        QVERIFY(e.Subject.isEmpty() && e.MotCle.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAnalysePOP3)
#include "tst_analyse_pop3.moc"
