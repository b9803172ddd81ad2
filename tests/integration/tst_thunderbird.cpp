// Thunderbird's accounts on real prefs.js fixtures: the profiles found where
// Thunderbird keeps them, the POP3 accounts listed (IMAP and local folders
// not), an account re-pointed to the proxy and restored byte for byte, the
// profile lock that stops any write, and the preferences file's own rules.

#include "integration/comptes_client_courrier.h"
#include "integration/prefs_js.h"
#include "integration/thunderbird.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kFixtures = QStringLiteral(KELVARIN_FIXTURES_DIR "/thunderbird/");

QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool ecrire(const QString& chemin, const QByteArray& contenu) {
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    QFile f(chemin);
    return f.open(QIODevice::WriteOnly) && f.write(contenu) == contenu.size();
}

// The fixture's two profiles under `racine` of the home.
void copierFixture(const QString& home, const QString& racine = QStringLiteral(".thunderbird")) {
    const QDir d(QDir(home).filePath(racine));
    for (const char* f : {"profiles.ini", "profil-principal/prefs.js", "profil-travail/prefs.js"})
        QVERIFY(ecrire(d.filePath(QLatin1String(f)), lire(kFixtures + QLatin1String(f))));
}

// The lines of `apres` that are not in `avant`, and the other way round.
QList<QByteArray> differences(const QByteArray& avant, const QByteArray& apres) {
    const QList<QByteArray> a = avant.split('\n'), b = apres.split('\n');
    QList<QByteArray> r;
    for (const QByteArray& l : b)
        if (!a.contains(l)) r << "+" + l;
    for (const QByteArray& l : a)
        if (!b.contains(l)) r << "-" + l;
    return r;
}

} // namespace

class TstThunderbird : public QObject {
    Q_OBJECT
private slots:
    // Reading never changes a byte; what is changed, inserted and removed
    // touches its own line only, and undoing it gives the file back.
    void prefsJsLignes() {
        const QByteArray fixture = lire(kFixtures + QStringLiteral("profil-principal/prefs.js"));
        QVERIFY(!fixture.isEmpty());
        const QByteArray bizarre = "// en-tete\r\n"
                                   "user_pref ( \"b.deux\" , 2 ) ; // commentaire\r\n"
                                   "pref(\"x\", 1);\r\n"
                                   "user_pref(\"casse\", \"sans fin);\r\n"
                                   "user_pref(\"b.deux\", 3);\r\n"
                                   "user_pref('d.simple', 'l\\'apostrophe');";
        for (const QByteArray& texte : {fixture, bizarre, QByteArray()})
            QCOMPARE(TPrefsJs(texte).Contenu(), texte);

        TPrefsJs b(bizarre);
        QCOMPARE(b.Noms(), (QList<QByteArray>{"b.deux", "d.simple"}));
        QCOMPARE(b.Entier("b.deux"), std::optional<int>(3)); // the last line counts
        QCOMPARE(b.Chaine("d.simple"), std::optional<QString>(QStringLiteral("l'apostrophe")));
        QVERIFY(!b.Existe("x") && !b.Existe("casse"));

        TPrefsJs p(fixture);
        QCOMPARE(p.Chaine("mail.server.server3.name"),
                 std::optional<QString>(QStringLiteral("Courriel \"pro\" – été")));
        QVERIFY(!p.Chaine("mail.server.server3.port"));
        QCOMPARE(p.Entier("mail.server.server3.port"), std::optional<int>(995));

        // A changed value keeps its line.
        p.DefinirChaine("mail.server.server1.hostname", QStringLiteral("a\"b\\c"));
        QCOMPARE(
            differences(fixture, p.Contenu()),
            (QList<QByteArray>{"+user_pref(\"mail.server.server1.hostname\", \"a\\\"b\\\\c\");",
                               "-user_pref(\"mail.server.server1.hostname\", "
                               "\"pop.exemple.fr\");"}));
        QCOMPARE(p.Chaine("mail.server.server1.hostname"),
                 std::optional<QString>(QStringLiteral("a\"b\\c")));

        // New lines where the program would put them, then gone again.
        p = TPrefsJs(fixture);
        p.DefinirEntier("mail.server.server1.port", 1110);
        p.DefinirBrut("aaa.premier", "true");
        p.DefinirChaine("zzz.dernier", QStringLiteral("fin"));
        const QList<QByteArray> lignes = p.Contenu().split('\n');
        const qsizetype port = lignes.indexOf("user_pref(\"mail.server.server1.port\", 1110);");
        QVERIFY(port > 0);
        QVERIFY(lignes[port - 1].startsWith("user_pref(\"mail.server.server1.name\""));
        QCOMPARE(lignes.indexOf("user_pref(\"aaa.premier\", true);"),
                 lignes.indexOf("user_pref(\"app.update.lastUpdateTime.addon-background-update-"
                                "timer\", 1733811000);") -
                     1);
        QCOMPARE(lignes[lignes.size() - 2], QByteArray("user_pref(\"zzz.dernier\", \"fin\");"));
        p.Supprimer("mail.server.server1.port");
        p.Supprimer("aaa.premier");
        p.Supprimer("zzz.dernier");
        QCOMPARE(p.Contenu(), fixture);

        // CR LF and no line end at the end of the file stay so.
        TPrefsJs c(bizarre);
        c.DefinirEntier("zz", 1);
        QVERIFY(c.Contenu().endsWith("'l\\'apostrophe');\r\nuser_pref(\"zz\", 1);"));
        c.Supprimer("zz");
        QCOMPARE(c.Contenu(), bizarre);
        TPrefsJs vide;
        vide.DefinirEntier("a", 1);
        QCOMPARE(vide.Contenu(), QByteArray("user_pref(\"a\", 1);\n"));
    }

    void chaines_data() {
        QTest::addColumn<QByteArray>("litteral");
        QTest::addColumn<QString>("texte");
        QTest::newRow("plain") << QByteArray("abc") << QStringLiteral("abc");
        QTest::newRow("utf-8") << QByteArray("C\xc3\xa9"
                                             "cile")
                               << QStringLiteral("Cécile");
        QTest::newRow("\\u") << QByteArray("C\\u00e9cile") << QStringLiteral("Cécile");
        QTest::newRow("\\x") << QByteArray("\\x41\\n\\t") << QStringLiteral("A\n\t");
        QTest::newRow("quotes") << QByteArray("\\\"\\'\\\\") << QStringLiteral("\"'\\");
        QTest::newRow("surrogates") << QByteArray("\\ud83d\\ude00") << QStringLiteral("😀");
    }
    void chaines() {
        QFETCH(QByteArray, litteral);
        QFETCH(QString, texte);
        QString t;
        QVERIFY(TPrefsJs::DecoderChaine(litteral, t));
        QCOMPARE(t, texte);
        const QByteArray encode = TPrefsJs::EncoderChaine(texte);
        QVERIFY(TPrefsJs::DecoderChaine(QByteArrayView(encode).sliced(1, encode.size() - 2), t));
        QCOMPARE(t, texte);
        QVERIFY(!TPrefsJs::DecoderChaine("\\u12", t));
    }

    // The POP3 accounts of both profiles, in the account manager's order; the
    // IMAP account and the local folders are not listed.
    void comptesListes() {
        QTemporaryDir home;
        copierFixture(home.path());
        TThunderbird tb(home.path());
        QCOMPARE(tb.Profils().size(), 2);
        const QList<TUnMail> c = tb.Lister();
        QStringList lignes;
        for (const TUnMail& m : c)
            lignes << m.NomCompte + QLatin1Char('|') + m.ServeurPOP3 + QLatin1Char('|') +
                          m.UtilisateurPOP3 + QLatin1Char('|') + QString::number(m.Port);
        QCOMPARE(lignes,
                 (QStringList{
                     QStringLiteral("Bureau [travail]|pop.bureau.test|a.martin|110"),
                     QStringLiteral("Alice (maison) [default-release]|pop.exemple.fr|alice|110"),
                     QStringLiteral("Courriel \"pro\" – été [default-release]|pop.courriel.test|"
                                    "alice.martin@courriel.test|995"),
                     QStringLiteral("Cécile [default-release]|LocalHost|"
                                    "cecile@prive@pop.exemple.org|1110"),
                     QStringLiteral("Denis [default-release]|pop3.exemple.net|denis|110")}));
        QString profil, serveur;
        QVERIFY(TThunderbird::SeparerCle(c[2].Cle, profil, serveur));
        QCOMPARE(serveur, QStringLiteral("server3"));
        QVERIFY(profil.endsWith(QStringLiteral("/profil-principal")));
    }

    // Where Thunderbird keeps its profiles: the usual place, Flatpak and Snap.
    void emplacements_data() {
        QTest::addColumn<QString>("racine");
        QTest::newRow("usual") << QStringLiteral(".thunderbird");
        QTest::newRow("flatpak") << QStringLiteral(".var/app/org.mozilla.Thunderbird/.thunderbird");
        QTest::newRow("snap") << QStringLiteral("snap/thunderbird/common/.thunderbird");
    }
    void emplacements() {
        QFETCH(QString, racine);
        QTemporaryDir home;
        copierFixture(home.path(), racine);
        const QList<TUnMail> c = TThunderbird(home.path()).Lister();
        QCOMPARE(c.size(), 5);
        QVERIFY(c[0].Cle.contains(racine));
    }

    // Ticked and validated, then unticked and validated: the file is the same,
    // byte for byte; in between only the account's own lines changed, and a
    // copy of the previous file lies beside it.
    void repointeEtRestaure_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QList<QByteArray>>("changes");
        const QList<QByteArray> communs = {
            "+user_pref(\"mail.server.server1.hostname\", \"localhost\");",
            "+user_pref(\"mail.server.server1.kelvarin.origine\", "
            "\"port=;socketType=;authMethod=3\");",
            "+user_pref(\"mail.server.server1.port\", 1110);",
            "+user_pref(\"mail.server.server1.userName\", \"alice@pop.exemple.fr\");",
            "+user_pref(\"mail.server.server3.authMethod\", 3);",
            "+user_pref(\"mail.server.server3.hostname\", \"localhost\");",
            "+user_pref(\"mail.server.server3.kelvarin.origine\", "
            "\"port=995;socketType=3;authMethod=4\");",
            "+user_pref(\"mail.server.server3.port\", 1110);",
            "+user_pref(\"mail.server.server3.socketType\", 0);",
            "+user_pref(\"mail.server.server6.kelvarin.origine\", "
            "\"port=;socketType=2;authMethod=\");",
            "+user_pref(\"mail.server.server6.port\", 1110);",
            "+user_pref(\"mail.server.server6.realhostname\", \"localhost\");",
            "+user_pref(\"mail.server.server6.socketType\", 0);",
            "+user_pref(\"mail.server.server6.userName\", \"denis@pop3.exemple.net\");",
            "-user_pref(\"mail.server.server1.hostname\", \"pop.exemple.fr\");",
            "-user_pref(\"mail.server.server1.userName\", \"alice\");",
            "-user_pref(\"mail.server.server3.authMethod\", 4);",
            "-user_pref(\"mail.server.server3.hostname\", \"pop.courriel.test\");",
            "-user_pref(\"mail.server.server3.port\", 995);",
            "-user_pref(\"mail.server.server3.socketType\", 3);",
            "-user_pref(\"mail.server.server3.userName\", \"alice.martin@courriel.test\");",
            "-user_pref(\"mail.server.server6.realhostname\", \"pop3.exemple.net\");",
            "-user_pref(\"mail.server.server6.socketType\", 2);",
            "-user_pref(\"mail.server.server6.userName\", \"denis\");"};
        QList<QByteArray> f0 = communs, f2 = communs;
        f0.insert(9, "+user_pref(\"mail.server.server3.userName\", "
                     "\"alice.martin@courriel.test@pop.courriel.test|995\");");
        f2.insert(9, "+user_pref(\"mail.server.server3.userName\", "
                     "\"pop.courriel.test/995/alice.martin@courriel.test\");");
        QTest::newRow("user@server") << 0 << f0;
        QTest::newRow("server/port/user") << 2 << f2;
    }
    void repointeEtRestaure() {
        QFETCH(int, format);
        QFETCH(QList<QByteArray>, changes);
        QTemporaryDir home;
        copierFixture(home.path());
        const QString fichier =
            home.filePath(QStringLiteral(".thunderbird/profil-principal/prefs.js"));
        const QString travail =
            home.filePath(QStringLiteral(".thunderbird/profil-travail/prefs.js"));
        QVERIFY(QFile::setPermissions(fichier, QFile::ReadOwner | QFile::WriteOwner));
        const QFileDevice::Permissions droits = QFile::permissions(fichier);
        const QByteArray original = lire(fichier);
        const QByteArray originalTravail = lire(travail);
        TThunderbird tb(home.path());
        tb.PortEcoute = 1110;

        TConfigComptesCourrier c(tb, format, 110);
        c.Lire();
        QList<int> coches;
        for (int i = 0; i < c.Count(); ++i) {
            if (c.Mail(i).Cle.contains(QStringLiteral("principal")) && !c.Coche(i)) {
                c.setCoche(i, true);
                coches << i;
            }
        }
        QCOMPARE(coches.size(), 3);
        QString message;
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvEcrit);
        QVERIFY2(message.isEmpty(), qPrintable(message));
        const QByteArray repointe = lire(fichier);
        QList<QByteArray> d = differences(original, repointe);
        QCOMPARE(d, changes);
        QCOMPARE(lire(fichier + QStringLiteral(".kelvarin.bak")), original);
        QCOMPARE(lire(travail), originalTravail); // nothing to do there: not rewritten
        QVERIFY(!QFileInfo::exists(travail + QStringLiteral(".kelvarin.bak")));
        QCOMPARE(QFile::permissions(fichier), droits);

        // Read again: the three accounts are ticked; unticked, they are back.
        TConfigComptesCourrier retour(tb, format, 110);
        retour.Lire();
        for (int i : coches) {
            QVERIFY(retour.Coche(i));
            retour.setCoche(i, false);
        }
        QCOMPARE(retour.Valider(message), TConfigComptesCourrier::rvEcrit);
        QCOMPARE(lire(fichier), original);
        QCOMPARE(lire(fichier + QStringLiteral(".kelvarin.bak")), repointe);
    }

    // An account pointed to the proxy by hand, without what re-pointing keeps:
    // server and login from the login (split at the last "@"), the port line
    // dropped (Thunderbird's default), nothing else touched.
    void restaureSansOrigine() {
        QTemporaryDir home;
        copierFixture(home.path());
        const QString fichier =
            home.filePath(QStringLiteral(".thunderbird/profil-principal/prefs.js"));
        const QByteArray original = lire(fichier);
        TThunderbird tb(home.path());
        TConfigComptesCourrier c(tb, 0, 110);
        c.Lire();
        QCOMPARE(c.Mail(3).NomCompte, QStringLiteral("Cécile [default-release]"));
        c.setCoche(3, false);
        QString message;
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvEcrit);
        QCOMPARE(
            differences(original, lire(fichier)),
            (QList<QByteArray>{"+user_pref(\"mail.server.server5.hostname\", \"pop.exemple.org\");",
                               "+user_pref(\"mail.server.server5.userName\", \"cecile@prive\");",
                               "-user_pref(\"mail.server.server5.hostname\", \"LocalHost\");",
                               "-user_pref(\"mail.server.server5.port\", 1110);",
                               "-user_pref(\"mail.server.server5.userName\", "
                               "\"cecile@prive@pop.exemple.org\");"}));
    }

    // While Thunderbird holds a profile (its "lock" link, or a lock on
    // ".parentlock" held by another process), the dialog says so and nothing
    // is written, in any profile.
    void profilVerrouille() {
        QTemporaryDir home;
        copierFixture(home.path());
        const QString principal = home.filePath(QStringLiteral(".thunderbird/profil-principal"));
        const QString travail = home.filePath(QStringLiteral(".thunderbird/profil-travail"));
        const QByteArray avant = lire(principal + QStringLiteral("/prefs.js"));
        const QByteArray avantTravail = lire(travail + QStringLiteral("/prefs.js"));
        QVERIFY(ecrire(travail + QStringLiteral("/.parentlock"), {}));
        TThunderbird tb(home.path());
        QVERIFY(!TThunderbird::ProfilVerrouille(travail));
        QVERIFY(tb.Verrou().isEmpty());

        // Thunderbird's link points to "address:+pid", never to a file.
        QVERIFY(QFile::link(QStringLiteral("127.0.1.1:+4242"), travail + QStringLiteral("/lock")));
        QVERIFY(TThunderbird::ProfilVerrouille(travail));
        QVERIFY(tb.Verrou().contains(QStringLiteral("« travail »")));
        TConfigComptesCourrier c(tb, 0, 110);
        c.Lire();
        for (int i = 0; i < c.Count(); ++i)
            c.setCoche(i, !c.Coche(i));
        QString message;
        QCOMPARE(c.Valider(message), TConfigComptesCourrier::rvVerrouille);
        QVERIFY(message.contains(QStringLiteral("Thunderbird")));
        // Written directly, the store refuses as well.
        QVERIFY(!tb.Ecrire(c.Ecritures(), message));
        QCOMPARE(lire(principal + QStringLiteral("/prefs.js")), avant);
        QCOMPARE(lire(travail + QStringLiteral("/prefs.js")), avantTravail);
        QVERIFY(!QFileInfo::exists(principal + QStringLiteral("/prefs.js.kelvarin.bak")));
        QVERIFY(QFile::remove(travail + QStringLiteral("/lock")));
        QVERIFY(tb.Verrou().isEmpty());

        // The lock that the running program holds on ".parentlock".
        QProcess p;
        p.start(QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import fcntl,sys\nf=open(sys.argv[1],'r+')\n"
                                "fcntl.lockf(f,fcntl.LOCK_EX)\nprint('ok',flush=True)\n"
                                "sys.stdin.read()"),
                 travail + QStringLiteral("/.parentlock")});
        QVERIFY2(p.waitForReadyRead(10000), qPrintable(p.errorString()));
        QCOMPARE(p.readAllStandardOutput().trimmed(), QByteArray("ok"));
        QVERIFY(TThunderbird::ProfilVerrouille(travail));
        QVERIFY(!tb.Verrou().isEmpty());
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
        QVERIFY(!TThunderbird::ProfilVerrouille(travail));
    }

    // No Thunderbird at all, or a profile without prefs.js: nothing listed,
    // nothing to write.
    void sansThunderbird() {
        QTemporaryDir home;
        TThunderbird tb(home.path());
        QVERIFY(tb.Lister().isEmpty());
        QVERIFY(tb.Verrou().isEmpty());
        QVERIFY(ecrire(home.filePath(QStringLiteral(".thunderbird/profiles.ini")),
                       "[Profile0]\nName=vide\nIsRelative=1\nPath=vide\n"));
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral(".thunderbird/vide")));
        QCOMPARE(tb.Profils().size(), 1);
        QVERIFY(tb.Lister().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstThunderbird)
#include "tst_thunderbird.moc"
