// The window's views offscreen: the notification icon while mail is received,
// the trace page's colours and bound, the splash's minimum time, window
// positions and fonts kept in kelvarin.ini, the About box.

#include "core/infos_systeme.h"
#include "core/position_fenetre.h"
#include "core/regles_fenetre.h"
#include "core/stockage_config.h"
#include "core/trace.h"
#include "proxy/serveur_proxy.h"
#include "tests/support/pop3_script_server.h"
#include "tests/ui/fenetre_test.h"
#include "ui/aide.h"
#include "ui/form_about_box.h"
#include "ui/form_base.h"
#include "ui/form_patienter.h"
#include "ui/icone_notification.h"
#include "ui/page_trace.h"
#include "ui/pages_options.h"

#include <QCheckBox>
#include <QPushButton>

#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextEdit>

namespace {
// The colour of the line's text (after its prefix) in the page.
QColor couleurLigne(const TPageTrace& p, int ligne, int colonne) {
    const QTextBlock b = p.RichEdit1->document()->findBlockByNumber(ligne);
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        if (f.position() - b.position() <= colonne &&
            colonne < f.position() - b.position() + f.length())
            return f.charFormat().hasProperty(QTextFormat::ForegroundBrush)
                       ? f.charFormat().foreground().color()
                       : QColor();
    }
    return QColor(1, 2, 3);
}
} // namespace

class TstVues : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TBoiteMessage::Reinitialiser();
        TTrace::instance().effacer();
    }

    // A client command through the proxy animates the icon; about a second
    // after the last client left it is idle again and the timer stops.
    void iconePendantLaReception() {
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        TIconeNotification& icone = t.fenetre->Icone();
        QCOMPARE(icone.NomIcone(), QByteArray("TRAY1"));
        QCOMPARE(icone.Bulle(), QStringLiteral("Kelvarin"));
        QStringList vus;
        QTimer releve;
        releve.setInterval(50);
        connect(&releve, &QTimer::timeout, this, [&] {
            const QString n = QString::fromLatin1(icone.NomIcone());
            if (vus.isEmpty() || vus.last() != n) vus << n;
        });
        releve.start();
        {
            testsupport::TClientLignes c;
            QVERIFY(c.connecter(t.moteur.ServeurProxy().PortLocal()));
            QVERIFY(c.ligne().startsWith("+OK"));
            QVERIFY(!c.commande("NOOP").isNull());
            QVERIFY(icone.TimerReception().isActive());
            // While the client stays connected the frames go round.
            QTRY_VERIFY_WITH_TIMEOUT(vus.contains(QStringLiteral("ZNIM3")), 5000);
            QCOMPARE(icone.Bulle(), QStringLiteral("Réception en cours...."));
            QVERIFY(icone.TimerReception().isActive());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!icone.TimerReception().isActive(), 10000);
        QCOMPARE(icone.NomIcone(), QByteArray("TRAY1"));
        QCOMPARE(icone.Bulle(), QStringLiteral("Kelvarin"));
        QCOMPARE(vus.mid(0, 4), (QStringList{QStringLiteral("TRAY1"), QStringLiteral("ZNIM1"),
                                             QStringLiteral("ZNIM2"), QStringLiteral("ZNIM3")}));

        // AnimerIcone off: a command leaves the icon idle.
        t.fenetre->PageGeneral->CheckBoxAnimerIcone->setChecked(false);
        t.fenetre->BtnAppliquerClick();
        QSignalSpy commandes(&t.moteur.Evenements, &TEvenementsMoteur::CommandeClient);
        testsupport::TClientLignes c;
        QVERIFY(c.connecter(t.moteur.ServeurProxy().PortLocal()));
        QVERIFY(c.ligne().startsWith("+OK"));
        QVERIFY(!c.commande("NOOP").isNull());
        QCOMPARE(commandes.size(), 1);
        QVERIFY(!icone.TimerReception().isActive());
        QCOMPARE(icone.NomIcone(), QByteArray("TRAY1"));

        // The knowledge base's work shows on the icon; a long tip is cut.
        emit t.moteur.Evenements.EtatBase(TEvenementsMoteur::ebSauvegarde);
        QCOMPARE(icone.NomIcone(), QByteArray("TRAY6"));
        QCOMPARE(icone.Bulle(), QStringLiteral("Sauvegarde ..."));
        emit t.moteur.Evenements.EtatBase(TEvenementsMoteur::ebRepos);
        QCOMPARE(icone.NomIcone(), QByteArray("TRAY1"));
        icone.IconeNotification(QString(70, QLatin1Char('x')), QByteArray());
        QCOMPARE(icone.Bulle().size(), 63);
        // Every picture the icon may take is in the resources.
        for (const char* nom : {"TRAY1", "TRAY6", "ZNIM1", "ZNIM2", "ZNIM3", "ZNIM4", "ZNIM5",
                                "ZNIM6", "ZNIM7", "ZNIM8", "defaut"})
            QVERIFY2(!IconeRessource(nom).pixmap(16, 16).isNull(), nom);
    }

    void couleursDeLaTrace_data() {
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QColor>("couleur");
        QTest::newRow("client command") << QStringLiteral("> RETR 1") << QColor(0x80, 0x80, 0);
        QTest::newRow("to the client") << QStringLiteral("< +OK") << QColor(0x80, 0, 0x80);
        QTest::newRow("server, not relayed") << QStringLiteral("<< +OK") << QColor(0, 0, 0x80);
        QTest::newRow("server error") << QStringLiteral("<< -ERR non") << QColor(0xFF, 0, 0);
        QTest::newRow("DNSBL") << QStringLiteral(" + 1.2.3.4 listed") << QColor(0, 0, 0xFF);
        QTest::newRow("time-out anywhere") << QStringLiteral("x TIME OUT") << QColor(0xFF, 0, 0);
        QTest::newRow("other") << QStringLiteral("Timer : sauvegarde") << QColor();
    }
    void couleursDeLaTrace() {
        QFETCH(QString, texte);
        QFETCH(QColor, couleur);
        TEvenementsMoteur evenements;
        TPageTrace page;
        connect(&evenements, &TEvenementsMoteur::LigneTrace, &page, &TPageTrace::Ajouter);
        // The console's hook keeps its lines too.
        QStringList console;
        TTrace::instance().OnLigne = [&console](const TLigneTrace& l) { console << l.texte; };
        Trace(3, texte);
        TTrace::instance().OnLigne = nullptr;
        QCOMPARE(console, QStringList{texte});
        QCOMPARE(page.NbLignes(), 1);
        const QString ligne = page.RichEdit1->document()->findBlockByNumber(0).text();
        QVERIFY(ligne.endsWith(QStringLiteral("socket n°3 : ") + texte));
        const int debut = int(ligne.size() - texte.size());
        QCOMPARE(couleurLigne(page, 0, debut), couleur);
        // The prefix is in the default colour.
        QCOMPARE(couleurLigne(page, 0, 0), QColor());
    }

    void borneDeLaTrace() {
        TPageTrace page;
        for (int i = 1; i <= 800; ++i)
            page.Ajouter({QStringLiteral("t : "), QStringLiteral("ligne %1").arg(i)});
        QCOMPARE(page.NbLignes(), 800);
        // The 801st trims to 700, then comes in.
        page.Ajouter({QStringLiteral("t : "), QStringLiteral("ligne 801")});
        QCOMPARE(page.NbLignes(), 701);
        QTextDocument* d = page.RichEdit1->document();
        QCOMPARE(d->findBlockByNumber(0).text(), QStringLiteral("t : ligne 101"));
        QCOMPARE(d->findBlockByNumber(700).text(), QStringLiteral("t : ligne 801"));
        page.BtnEffacer->click();
        QCOMPARE(page.NbLignes(), 0);
    }

    void patienterTroisSecondes() {
        TFormPatienter cache(true, false);
        QSignalSpy fermeeCache(&cache, &TFormPatienter::Fermee);
        cache.Fin(); // never shown: closed at once
        QCOMPARE(fermeeCache.size(), 1);

        TFormPatienter p(true, true);
        p.show();
        QVERIFY(p.LabelDebug->isVisible());
        p.Statut(QStringLiteral("Lecture config..."));
        QCOMPARE(p.StatutCourant(), QStringLiteral("Lecture config..."));
        QSignalSpy fermee(&p, &TFormPatienter::Fermee);
        p.Fin();
        QVERIFY(p.StatutCourant().isEmpty());
        QVERIFY(p.isVisible());
        // After its 3 seconds it fades out, still shown meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(p.EnFondu(), 6000);
        QVERIFY2(p.AgeMs() >= 3000, qPrintable(QString::number(p.AgeMs())));
        QVERIFY(p.isVisible());
        QTRY_VERIFY(p.windowOpacity() < 0.9 || fermee.size() == 1);
        QVERIFY(fermee.wait(6000) || fermee.size() == 1);
        QVERIFY2(p.AgeMs() >= 3000 + kDureeFonduPatienterMs,
                 qPrintable(QString::number(p.AgeMs())));
        QVERIFY(!p.isVisible());
    }

    // Position and size written when the close is granted, read at the next
    // start; the font keys applied when FontSize is above 1.
    void positionsEtPolices() {
        TMaisonFenetre m;
        {
            TFenetreTest t(m.reps);
            QVERIFY(t.demarrer());
            t.fenetre->show();
            t.fenetre->setGeometry(QRect(37, 41, 900, 640));
            QTRY_COMPARE(t.fenetre->Base().BornesNormales().size(), QSize(900, 640));
            t.fenetre->Base().EcranVersConfig();
            t.controleur.Arreter();
        }
        TStockageConfig ini;
        QVERIFY(ini.Ouvrir(m.reps.Ini()));
        const TPositionFenetre p = LirePositionFenetre(ini, "FormKelvarin", true);
        QCOMPARE(QSize(p.W, p.H), QSize(900, 640));
        QVERIFY(p.Stockee());
        QVERIFY(!p.Maxi);
        QVERIFY(m.ini().contains("[Kelvarin]"));
        ini.EcrireEntier("Kelvarin", "FontSize", 13);
        ini.EcrireChaine("Kelvarin", "FontName", "Serif");
        ini.Fermer();

        TFenetreTest t(m.reps);
        QCOMPARE(t.fenetre->size(), QSize(900, 640));
        QCOMPARE(t.fenetre->pos(), QPoint(p.X, p.Y));
        QCOMPARE(t.fenetre->font().pointSize(), 13);
        QCOMPARE(t.fenetre->font().family(), QStringLiteral("Serif"));
    }

    // Every topic the window and its dialogs can open has its anchor on the
    // page the help opens for it.
    void sujetsDAide() {
        QList<int> sujets = {1, 5, 100};
        for (int p = 0; p < TArbreOptions::kNbPages; ++p)
            sujets << TArbreOptions::AidePage(p) << TArbreOptions::AideSelection(p);
        for (int s : sujets) {
            const QString page =
                QStringLiteral(KELVARIN_SOURCE_DIR "/data/help/") + aide::PageDuSujet(s);
            QFile f(page);
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(page));
            QVERIFY2(f.readAll().contains("id=\"sujet-" + QByteArray::number(s) + '"'),
                     qPrintable(QStringLiteral("%1 in %2").arg(s).arg(page)));
        }
    }

    void aPropos() {
        QElapsedTimer depart;
        depart.start();
        TFormAboutBox a(depart, QDir::tempPath(), QDir::homePath());
        QCOMPARE(a.windowTitle(), QStringLiteral("A propos de Kelvarin"));
        QCOMPARE(a.findChild<QLabel*>(QStringLiteral("LabelSysteme"))->text(), NomSysteme());
        QVERIFY(a.findChild<QLabel*>(QStringLiteral("LabelMemoire"))
                    ->text()
                    .contains(QLocale().toString(MemoireTotaleKo())));
        QVERIFY(!a.findChild<QLabel*>(QStringLiteral("LabelDisque"))->text().isEmpty());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                    .match(a.LabelDuree->text())
                    .hasMatch());
    }
};

QTEST_MAIN(TstVues)
#include "tst_vues.moc"
