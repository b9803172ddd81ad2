// The accounts page's rows (texts, colours, rates) and the per-account
// dialog's values, without a display.

#include "accounts/page_comptes.h"
#include "core/config.h"

#include <QtTest>

namespace {
TUnCompteBis compte() {
    TUnCompteBis c;
    c.Numero = 4;
    c.Serveur = "pop.exemple.fr";
    c.Login = "alice";
    c.Nom = c.nomParDefaut();
    return c;
}
} // namespace

class TstPageComptes : public QObject {
    Q_OBJECT
private slots:
    void init() { Config() = TConfig(); }

    void lignes_data() {
        QTest::addColumn<QByteArray>("nom");
        QTest::addColumn<bool>("generale");
        QTest::addColumn<int>("connexions");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("spams");
        QTest::addColumn<bool>("filtreIP");
        QTest::addColumn<QString>("texteNom");
        QTest::addColumn<QString>("compteurs");
        QTest::newRow("default name, no spam")
            << QByteArray() << true << 2 << 5 << 0 << true << QStringLiteral("pop.exemple.fr/alice")
            << QStringLiteral("nb test=2, message=5");
        QTest::newRow("own name, rate")
            << QByteArray("Maison") << true << 1 << 3 << 1 << true
            << QStringLiteral("Maison  (pop.exemple.fr/alice)")
            << QStringLiteral("nb test=1, message=3, spam=1, taux de spam=33.3%");
        QTest::newRow("IP test off, own config")
            << QByteArray() << false << 0 << 0 << 0 << false
            << QStringLiteral("pop.exemple.fr/alice")
            << QStringLiteral("nb test=0, message=0 (test IP désactivé)");
    }
    void lignes() {
        QFETCH(QByteArray, nom);
        QFETCH(bool, generale);
        QFETCH(int, connexions);
        QFETCH(int, messages);
        QFETCH(int, spams);
        QFETCH(bool, filtreIP);
        QFETCH(QString, texteNom);
        QFETCH(QString, compteurs);
        TUnCompteBis c = compte();
        if (!nom.isEmpty()) c.Nom = nom;
        c.ConfigGenerale = generale;
        c.NbConnexions = connexions;
        c.NbMessages = messages;
        c.NbSpams = spams;
        c.FiltreIP = filtreIP;
        const TLigneCompte l = TPageComptes::Ligne(c);
        QCOMPARE(l.TexteNom(), texteNom);
        QCOMPARE(l.TexteCompteurs(), compteurs);
        QCOMPARE(l.PastilleRouge, !generale);
        // The login is blue; the spam figures and the disabled filters red.
        QVERIFY(std::any_of(l.Nom.begin(), l.Nom.end(), [](const TMorceauCompte& m) {
            return m.Texte == QStringLiteral("alice") && m.Couleur == TMorceauCompte::ccBleu;
        }));
        for (const TMorceauCompte& m : l.Compteurs)
            if (m.Texte.contains(QStringLiteral("spam=")) ||
                m.Texte.contains(QStringLiteral("désactivé")))
                QCOMPARE(m.Couleur, TMorceauCompte::ccRouge);
    }

    void dialogueDuCompte() {
        Config().PortMail = "995";
        Config().SupprimerSpam = true;
        TUnCompteBis c = compte();
        c.Port = "110";
        // The general configuration shows the global values.
        TSaisieCompte s = SaisieDepuisCompte(c);
        QCOMPARE(s.Port, QStringLiteral("995"));
        QVERIFY(s.SupprimerSpam);
        // Validating stores what is shown, trimmed; the address lower-cased.
        s.EMail = QStringLiteral("  Alice@Exemple.FR ");
        s.Nom = QStringLiteral("Boîte");
        AppliquerSaisieCompte(s, c);
        QCOMPARE(c.EMail, QByteArray("alice@exemple.fr"));
        QCOMPARE(c.Port, QByteArray("995"));
        QCOMPARE(c.Nom, QByteArray("Bo\xEE"
                                   "te"));
        // Its own configuration shows its own values.
        c.ConfigGenerale = false;
        c.Port = " 1110 ";
        c.SupprimerSpam = false;
        s = SaisieDepuisCompte(c);
        QCOMPARE(s.Port, QStringLiteral(" 1110 "));
        QVERIFY(!s.SupprimerSpam);
        AppliquerSaisieCompte(s, c);
        QCOMPARE(c.Port, QByteArray("1110"));
    }
};

QTEST_GUILESS_MAIN(TstPageComptes)
#include "tst_page_comptes.moc"
