// The window's rules that need no display: the options tree of each mode, the
// notification icon's animation and tip, the splash's minimum time, the close
// request, the About box's figures and the site links.

#include "core/arbre_options.h"
#include "core/infos_systeme.h"
#include "core/regles_fenetre.h"

#include <QtTest>

namespace {
// "Label" for a root, "  Label" for a child: the tree as a reader sees it.
QStringList dessin(const QList<TNoeudOptions>& noeuds) {
    QStringList r;
    for (const TNoeudOptions& n : noeuds)
        r << (n.Parent < 0 ? n.Libelle : QStringLiteral("  ") + n.Libelle);
    return r;
}
QStringList libelles(const QList<TNoeudOptions>& noeuds) {
    QStringList r;
    for (const TNoeudOptions& n : noeuds)
        r << n.Libelle;
    return r;
}
} // namespace

class TstReglesFenetre : public QObject {
    Q_OBJECT
private slots:
    void arbreSimple() {
        const QStringList attendu = {
            QStringLiteral("Configuration"), QStringLiteral("Listes blanches"),
            QStringLiteral("  Emetteurs"),   QStringLiteral("  Sujets"),
            QStringLiteral("Listes noires"), QStringLiteral("  Emetteurs"),
            QStringLiteral("  Sujets"),      QStringLiteral("Ignorer"),
            QStringLiteral("  En-têtes"),    QStringLiteral("  Mots"),
            QStringLiteral("Comptes"),       QStringLiteral("Statistiques"),
            QStringLiteral("Mails reçus")};
        QCOMPARE(dessin(TArbreOptions::Construire(true)), attendu);
        // Configuration has no children in simple mode.
        QCOMPARE(libelles(TArbreOptions::Racines(true)),
                 (QStringList{QStringLiteral("Configuration"), QStringLiteral("Listes blanches"),
                              QStringLiteral("Listes noires"), QStringLiteral("Ignorer"),
                              QStringLiteral("Comptes"), QStringLiteral("Statistiques"),
                              QStringLiteral("Mails reçus")}));
    }

    void arbreExpert() {
        const QList<TNoeudOptions> n = TArbreOptions::Construire(false);
        QCOMPARE(n.size(), 23);
        for (int i = 0; i < n.size(); ++i)
            QCOMPARE(n[i].Page, i); // every page, in its order
        const QStringList attendu = {QStringLiteral("Configuration"),
                                     QStringLiteral("  Général"),
                                     QStringLiteral("  Infos spams"),
                                     QStringLiteral("Listes blanches"),
                                     QStringLiteral("  Emetteurs"),
                                     QStringLiteral("  Sujets"),
                                     QStringLiteral("  Autres en-têtes"),
                                     QStringLiteral("  Adresses IP"),
                                     QStringLiteral("Listes noires"),
                                     QStringLiteral("  Emetteurs"),
                                     QStringLiteral("  Sujets"),
                                     QStringLiteral("  Autres en-têtes"),
                                     QStringLiteral("  Adresses IP"),
                                     QStringLiteral("Ignorer"),
                                     QStringLiteral("  En-têtes"),
                                     QStringLiteral("  Mots"),
                                     QStringLiteral("  Adresses IP"),
                                     QStringLiteral("DNSBL (antispam)"),
                                     QStringLiteral("  Derniers tests DNSBL"),
                                     QStringLiteral("Comptes"),
                                     QStringLiteral("Trace des connexions"),
                                     QStringLiteral("Statistiques"),
                                     QStringLiteral("Mails reçus")};
        QCOMPARE(dessin(n), attendu);
        QCOMPARE(n[18].Parent, 17);
        QCOMPARE(TArbreOptions::Racines(false).size(), 9);
    }

    void liensDesApercus_data() {
        QTest::addColumn<int>("groupe");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("simple");
        QTest::addColumn<int>("page");
        QTest::newRow("blancs emetteurs") << 3 << 1 << true << 4;
        QTest::newRow("blancs sujets simple") << 3 << 2 << true << 5;
        QTest::newRow("blancs IP expert") << 3 << 4 << false << 7;
        QTest::newRow("blancs IP simple: absent") << 3 << 4 << true << -1;
        QTest::newRow("noirs autres en-tetes") << 8 << 3 << false << 11;
        QTest::newRow("ignorer mots") << 13 << 2 << true << 15;
        QTest::newRow("ignorer IP") << 13 << 3 << false << 16;
        QTest::newRow("page sans enfants") << 19 << 1 << false << -1;
    }
    void liensDesApercus() {
        QFETCH(int, groupe);
        QFETCH(int, position);
        QFETCH(bool, simple);
        QFETCH(int, page);
        QCOMPARE(TArbreOptions::PageEnfant(groupe, position, simple), page);
    }

    void quitterLaPage() {
        QVERIFY(TArbreOptions::DemanderAvantDeQuitter(0, true));
        QVERIFY(!TArbreOptions::DemanderAvantDeQuitter(0, false));
        // Only the mode page asks; the other option pages keep their changes pending.
        QVERIFY(!TArbreOptions::DemanderAvantDeQuitter(1, true));
    }

    // Ticks of 250 ms: frames 1..8 and round again while commands come or a
    // client stays connected; idle a second after the last command once all left.
    void animation() {
        TAnimationIcone a;
        a.CommandeRecue(1000);
        QByteArrayList vus;
        quint32 t = 1000;
        for (int i = 0; i < 9; ++i) {
            t += 250;
            a.CommandeRecue(t - 100);
            vus << a.Tick(true, false, t).Icone;
        }
        QCOMPARE(vus, (QByteArrayList{"ZNIM1", "ZNIM2", "ZNIM3", "ZNIM4", "ZNIM5", "ZNIM6", "ZNIM7",
                                      "ZNIM8", "ZNIM1"}));
        QCOMPARE(a.Tick(true, false, t + 250).Bulle, QStringLiteral("Réception en cours...."));
        // Still connected: no return to idle, however long since the command.
        QVERIFY(!a.Tick(true, true, t + 5000).ArreterTimer);
        // Exactly 1000 ms is not "more than a second".
        const quint32 fin = t + 6000;
        a.CommandeRecue(fin);
        QVERIFY(!a.Tick(true, false, fin + 1000).ArreterTimer);
        const TEtatIcone repos = a.Tick(true, false, fin + 1001);
        QVERIFY(repos.ArreterTimer);
        QCOMPARE(repos.Icone, QByteArray("TRAY1"));
        QCOMPARE(repos.Bulle, QStringLiteral("Kelvarin"));
        QCOMPARE(a.Compteur(), 0);
    }

    void animationCoupeeOuTickQuiBoucle() {
        TAnimationIcone a;
        a.CommandeRecue(100);
        const TEtatIcone e = a.Tick(false, true, 200);
        QVERIFY(e.ArreterTimer);
        QCOMPARE(e.Icone, QByteArray("TRAY1"));
        // The 32-bit tick wraps between the command and the timer tick.
        a.CommandeRecue(0xFFFFFF00u);
        QCOMPARE(a.Tick(true, false, 0x50u).Icone, QByteArray("ZNIM1"));
    }

    void bulle() {
        const QString longue(70, QLatin1Char('x'));
        QCOMPARE(CouperBulle(longue).size(), 63);
        QCOMPARE(CouperBulle(QStringLiteral("Kelvarin")), QStringLiteral("Kelvarin"));
    }

    void patienter_data() {
        QTest::addColumn<bool>("visible");
        QTest::addColumn<qint64>("age");
        QTest::addColumn<qint64>("delai");
        QTest::newRow("not shown: at once") << false << qint64(50) << qint64(0);
        QTest::newRow("fast start-up") << true << qint64(400) << qint64(2600);
        QTest::newRow("3 s passed") << true << qint64(3000) << qint64(10);
        QTest::newRow("slow start-up") << true << qint64(9000) << qint64(10);
    }
    void patienter() {
        QFETCH(bool, visible);
        QFETCH(qint64, age);
        QFETCH(qint64, delai);
        QCOMPARE(DelaiFermeturePatienter(visible, 1000, 1000 + age), delai);
    }

    void fermeture_data() {
        QTest::addColumn<bool>("versTray");
        QTest::addColumn<bool>("quitter");
        QTest::addColumn<bool>("quitterSans");
        QTest::addColumn<bool>("calcul");
        QTest::addColumn<int>("decision");
        QTest::addColumn<bool>("versTrayApres");
        QTest::newRow("before the deferred start")
            << false << false << false << false << int(dfDemander) << false;
        QTest::newRow("after it: hides")
            << true << false << false << false << int(dfCacher) << true;
        QTest::newRow("/Quitter asks")
            << true << true << false << false << int(dfDemander) << false;
        QTest::newRow("/QuitterSans quits")
            << true << false << true << false << int(dfFermer) << false;
        QTest::newRow("busy: refused") << false << false << true << true << int(dfRefuser) << false;
    }
    void fermeture() {
        QFETCH(bool, versTray);
        QFETCH(bool, quitter);
        QFETCH(bool, quitterSans);
        QFETCH(bool, calcul);
        QFETCH(int, decision);
        QFETCH(bool, versTrayApres);
        bool drapeau = versTray;
        QCOMPARE(int(DecisionFermeture(drapeau, quitter, quitterSans, calcul)), decision);
        QCOMPARE(drapeau, versTrayApres);
    }

    void portEffectif() {
        // Shown only when something listens elsewhere than on the port set.
        QCOMPARE(TextePortEffectif("pop3", 110, 1110),
                 QStringLiteral("Le système refuse le port pop3 : Kelvarin écoute sur le port "
                                "1110, à donner au logiciel de messagerie."));
        QCOMPARE(TextePortEffectif("110", 110, 110), QString());
        QCOMPARE(TextePortEffectif("110", 110, 0), QString()); // not listening
        QCOMPARE(TextePortEffectif("0", 0, 40123), QString()); // any free port
    }

    void dureeEtLiens() {
        QCOMPARE(DureeFonctionnement(0), QStringLiteral("00:00:00"));
        QCOMPARE(DureeFonctionnement(3 * 3600 + 4 * 60 + 5), QStringLiteral("03:04:05"));
        QCOMPARE(DureeFonctionnement(123 * 3600 + 59), QStringLiteral("123:00:59"));
        QVERIFY(LienSite(QStringLiteral("aide"))
                    .endsWith(QStringLiteral("/lien-exe.php?quoi=kv-aide")));
        QCOMPARE(AdresseURL(QStringLiteral("www.exemple.org")),
                 QStringLiteral("http://www.exemple.org"));
        QCOMPARE(AdresseURL(QStringLiteral("HTTP://x.org")), QStringLiteral("HTTP://x.org"));
        QCOMPARE(AdresseURL(QStringLiteral("https://x.org/a")), QStringLiteral("https://x.org/a"));
        QCOMPARE(AdresseURL(QStringLiteral("mailto:a@x.org")), QStringLiteral("mailto:a@x.org"));
    }

    void systeme_data() {
        QTest::addColumn<QByteArray>("osRelease");
        QTest::addColumn<QString>("nom");
        QTest::newRow("pretty name")
            << QByteArray("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian "
                          "GNU/Linux 12 (bookworm)\"\n")
            << QStringLiteral("Debian GNU/Linux 12 (bookworm)");
        QTest::newRow("name and version")
            << QByteArray("NAME=Alpine\nVERSION='3.19'\n") << QStringLiteral("Alpine 3.19");
        QTest::newRow("nothing usable") << QByteArray("ID=x\n") << QString();
    }
    void systeme() {
        QFETCH(QByteArray, osRelease);
        QFETCH(QString, nom);
        QCOMPARE(NomSystemeDepuisOsRelease(osRelease), nom);
    }

    void memoireEtDisque() {
        QCOMPARE(MemoireDepuisMeminfo("MemFree:   12 kB\nMemTotal:       16314512 kB\n"),
                 qint64(16314512));
        QCOMPARE(MemoireDepuisMeminfo("garbage"), qint64(0));
        QVERIFY(!NomSysteme().isEmpty());
        const TEspaceDisque d = EspaceDisque(QDir::tempPath());
        QVERIFY(d.Valide);
        QVERIFY(d.LibreKo <= d.TotalKo);
    }

    // The hint window's text: "[H]" goes, lines wrap at breaks, breaks kept.
    void texteBulleAide_data() {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<int>("largeur");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<bool>("dessus");
        const QString phrase = QStringLiteral("Valider les modifications et fermer la");
        QTest::newRow("short, below")
            << u"Demander de l'aide"_qs << 50 << u"Demander de l'aide"_qs << false;
        QTest::newRow("[H] above, prefix removed")
            << u"[H]Au-dessus"_qs << 50 << u"Au-dessus"_qs << true;
        QTest::newRow("[H] only at the start") << u"a [H] b"_qs << 50 << u"a [H] b"_qs << false;
        QTest::newRow("wrap at the last space")
            << phrase + u" fenêtre principale du programme"_qs << 50
            << phrase + u" fenêtre\r\nprincipale du programme"_qs << false;
        QTest::newRow("exactly 50 stays whole")
            << QString(45, u'a') + u" bbbb"_qs << 50 << QString(45, u'a') + u" bbbb"_qs << false;
        QTest::newRow("51 wraps") << QString(45, u'a') + u" bbbbb"_qs << 50
                                  << QString(45, u'a') + u"\r\nbbbbb"_qs << false;
        QTest::newRow("hyphen kept at the line's end")
            << QString(40, u'a') + u" porte-monnaie électronique"_qs << 50
            << QString(40, u'a') + u" porte-\r\nmonnaie électronique"_qs << false;
        QTest::newRow("tab is a break, dropped") << QString(48, u'a') + u"\tbbbb"_qs << 50
                                                 << QString(48, u'a') + u"\r\nbbbb"_qs << false;
        QTest::newRow("line breaks kept, count restarts")
            << u"un\r\n"_qs + QString(48, u'a') + u" b\nc"_qs << 50
            << u"un\r\n"_qs + QString(48, u'a') + u" b\nc"_qs << false;
        QTest::newRow("long word not cut")
            << QString(60, u'x') + u" fin"_qs << 50 << QString(60, u'x') + u"\r\nfin"_qs << false;
        QTest::newRow("never fewer than 30")
            << QString(27, u'a') + u" bb"_qs << 10 << QString(27, u'a') + u" bb"_qs << false;
        QTest::newRow("[H] long, wrapped too")
            << u"[H]"_qs + QString(30, u'a') + u" "_qs + QString(30, u'b') << 50
            << QString(30, u'a') + u"\r\n"_qs + QString(30, u'b') << true;
        QTest::newRow("empty") << QString() << 50 << QString() << false;
    }
    void texteBulleAide() {
        QFETCH(QString, hint);
        QFETCH(int, largeur);
        QFETCH(QString, texte);
        QFETCH(bool, dessus);
        const TTexteBulleAide t = TexteBulleAide(hint, largeur);
        QCOMPARE(t.Texte, texte);
        QCOMPARE(t.Dessus, dessus);
        for (const QString& l : t.Texte.split(QRegularExpression(u"\r\n|\n"_qs)))
            if (!l.contains(u"xxxxxxxxxx"_qs)) QVERIFY2(l.size() <= 50, qPrintable(l));
    }

    // Placement on a 1000x800 desktop of a 200x40 hint.
    void placementBulle_data() {
        QTest::addColumn<QPoint>("pointeur");
        QTest::addColumn<bool>("h");
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<QByteArray>("coin");
        QTest::newRow("below, left corner")
            << QPoint(100, 100) << false << QPoint(100, 120) << QByteArray("INFOBG");
        QTest::newRow("[H] always above")
            << QPoint(100, 100) << true << QPoint(100, 50) << QByteArray("INFOHG");
        QTest::newRow("bottom edge: above")
            << QPoint(100, 750) << false << QPoint(100, 700) << QByteArray("INFOHG");
        QTest::newRow("right edge: moved left by its width")
            << QPoint(900, 100) << false << QPoint(700, 120) << QByteArray("INFOBD");
        QTest::newRow("both edges")
            << QPoint(950, 790) << false << QPoint(750, 740) << QByteArray("INFOHD");
        QTest::newRow("top edge: not beyond")
            << QPoint(100, 10) << true << QPoint(100, 0) << QByteArray("INFOHG");
        QTest::newRow("left edge: not beyond")
            << QPoint(-50, 100) << false << QPoint(0, 120) << QByteArray("INFOBG");
    }
    void placementBulle() {
        QFETCH(QPoint, pointeur);
        QFETCH(bool, h);
        QFETCH(QPoint, position);
        QFETCH(QByteArray, coin);
        const TPlacementBulle p =
            PlacerBulle(pointeur.x(), pointeur.y() + 20, 200, 40, h, 0, 0, 1000, 800);
        QCOMPARE(QPoint(p.X, p.Y), position);
        QCOMPARE(p.Coin(), coin);
        QCOMPARE(p.MargeTexte(), p.Droite ? 2 : 12);
    }

    // The splash's fade-out after its minimum time.
    void fonduPatienter() {
        const QList<std::pair<qint64, int>> cas = {{0, 255}, {1, 255},  {2, 254},  {100, 156},
                                                   {255, 1}, {256, -1}, {5000, -1}};
        for (const auto& [ms, alpha] : cas)
            QVERIFY2(AlphaFonduPatienter(ms) == alpha, qPrintable(QString::number(ms)));
    }

    // A button frame's visible buttons, spread evenly.
    void repartirBoutons_data() {
        QTest::addColumn<int>("cadre");
        QTest::addColumn<QList<int>>("largeurs");
        QTest::addColumn<QList<int>>("x");
        QTest::newRow("three buttons") << 400 << QList<int>{75, 75, 75} << QList<int>{43, 161, 279};
        QTest::newRow("remainder dropped")
            << 403 << QList<int>{75, 75, 75} << QList<int>{44, 163, 282};
        QTest::newRow("one button centred") << 300 << QList<int>{100} << QList<int>{100};
        QTest::newRow("different widths") << 300 << QList<int>{50, 100} << QList<int>{50, 150};
        QTest::newRow("too narrow: they overlap")
            << 100 << QList<int>{80, 80} << QList<int>{-20, 40};
        QTest::newRow("none") << 300 << QList<int>{} << QList<int>{};
    }
    void repartirBoutons() {
        QFETCH(int, cadre);
        QFETCH(QList<int>, largeurs);
        QFETCH(QList<int>, x);
        QCOMPARE(RepartirBoutons(cadre, largeurs), x);
    }

    void animationBulle() {
        QVERIFY(AnimerBulle(99, 250, true));
        QVERIFY(!AnimerBulle(120, 1000, true)); // a long hint opens at once
        QVERIFY(!AnimerBulle(100, 1000, true));
        QVERIFY(!AnimerBulle(20, 249, true)); // right after the previous one
        QVERIFY(!AnimerBulle(20, 1000, false));
    }

    // The About box's texts: which file, and how its lines are drawn.
    void texteAPropos_data() {
        QTest::addColumn<QByteArray>("octets");
        QTest::addColumn<bool>("liens");
        QTest::addColumn<QString>("html");
        QTest::newRow("blue heading, red name, Windows-1252")
            << QByteArray("**** Version 1.0\r\nKelvarin r\xe9\xe9"
                          "crit <les> spams\r\n")
            << false
            << u"<span style=\"color:blue\">**** Version 1.0</span><br>"
               u"<span style=\"color:red\">Kelvarin</span> réécrit &lt;les&gt; spams"_qs;
        QTest::newRow("name in a heading, red inside blue")
            << QByteArray("****Kelvarin") << false
            << u"<span style=\"color:blue\">****<span style=\"color:red\">Kelvarin</span></span>"_qs;
        QTest::newRow("addresses are links")
            << QByteArray("Qt : www.qt.io, et http://example.org/a?b=1.") << true
            << u"Qt : <a href=\"www.qt.io\">www.qt.io</a>, et "
               u"<a href=\"http://example.org/a?b=1\">http://example.org/a?b=1</a>."_qs;
        QTest::newRow("addresses stay text without links")
            << QByteArray("www.qt.io") << false << u"www.qt.io"_qs;
        QTest::newRow("blank text: no tab") << QByteArray(" \r\n\r\n") << true << QString();
    }
    void texteAPropos() {
        QFETCH(QByteArray, octets);
        QFETCH(bool, liens);
        QFETCH(QString, html);
        QCOMPARE(TexteAPropos(octets, liens), html);
    }

    void fichierTexteLangue() {
        QTemporaryDir d;
        const QString rep = d.path() + u'/';
        const auto creer = [&rep](const char* nom) {
            QFile f(rep + QLatin1String(nom));
            QVERIFY(f.open(QIODevice::WriteOnly));
        };
        // Nothing there: the plain name, which the reader finds missing.
        QCOMPARE(FichierTexteLangue(rep, u"remerciement"_qs, QString()),
                 rep + u"remerciement.txt"_qs);
        creer("remerciement.txt");
        creer("remerciement.fr.txt");
        creer("remerciement.en.txt");
        QCOMPARE(FichierTexteLangue(rep, u"remerciement"_qs, QString()),
                 rep + u"remerciement.fr.txt"_qs);
        QCOMPARE(FichierTexteLangue(rep, u"remerciement"_qs, u"en"_qs),
                 rep + u"remerciement.en.txt"_qs);
        QCOMPARE(FichierTexteLangue(rep, u"remerciement"_qs, u"de"_qs),
                 rep + u"remerciement.txt"_qs);
    }
};

QTEST_GUILESS_MAIN(TstReglesFenetre)
#include "tst_regles_fenetre.moc"
