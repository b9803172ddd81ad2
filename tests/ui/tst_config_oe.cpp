// The window's part in the mail client's accounts and the new-version check:
// "Configurer Thunderbird" opens the dialog on the user's Thunderbird profile
// (a fixture in a temporary home), ticking and validating re-points the
// account, a running Thunderbird stops it with a message; a newer version
// asks the question and opens the site's page on "Oui".

#include "core/regles_fenetre.h"
#include "proxy/serveur_proxy.h"
#include "tests/ui/fenetre_test.h"
#include "ui/form_config_oe.h"

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

namespace {

const QString kFixtures = QStringLiteral(KELVARIN_FIXTURES_DIR "/thunderbird/");

QByteArray lire(const QString& chemin) {
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// HOME points to a temporary home holding the fixture's profiles while it lives.
struct THomeThunderbird {
    QTemporaryDir dir;
    QByteArray ancien = qgetenv("HOME");
    THomeThunderbird() {
        for (const char* f :
             {"profiles.ini", "profil-principal/prefs.js", "profil-travail/prefs.js"}) {
            const QString cible = dir.filePath(QStringLiteral(".thunderbird/") + QLatin1String(f));
            QDir().mkpath(QFileInfo(cible).absolutePath());
            QFile::copy(kFixtures + QLatin1String(f), cible);
        }
        qputenv("HOME", QFile::encodeName(dir.path()));
    }
    ~THomeThunderbird() { qputenv("HOME", ancien); }
    QString prefs(const char* profil) const {
        return dir.filePath(QStringLiteral(".thunderbird/") + QLatin1String(profil) +
                            QStringLiteral("/prefs.js"));
    }
};

// Runs `geste` on the dialog once it is open (it is modal).
void surDialogue(const std::function<void(TFormConfigOE&)>& geste) {
    QTimer::singleShot(0, [geste] {
        auto* d = qobject_cast<TFormConfigOE*>(QApplication::activeModalWidget());
        QVERIFY(d);
        geste(*d);
        if (d->isVisible()) d->reject();
    });
}

} // namespace

// Receives the addresses the window opens.
class TNavigateur : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Ouvertes;
public slots:
    void ouvrir(const QUrl& u) { Ouvertes << u; }
};

class TstConfigOE : public QObject {
    Q_OBJECT
private slots:
    void compteRepointeDepuisLeMenu() {
        THomeThunderbird home;
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        auto* action = t.fenetre->MenuFichier->findChild<QAction*>(QStringLiteral("MnuConfigOE"));
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        QCOMPARE(action->text(), QStringLiteral("Configurer Thunderbird"));
        const QByteArray avant = lire(home.prefs("profil-principal"));

        bool vu = false;
        surDialogue([&vu](TFormConfigOE& d) {
            vu = true;
            QCOMPARE(d.windowTitle(), QStringLiteral("Liste des comptes Thunderbird"));
            QVERIFY(d.LabelVerrou->isHidden());
            QCOMPARE(d.CheckListBox1->count(), 5);
            QListWidgetItem* alice = d.CheckListBox1->item(1);
            QCOMPARE(alice->text(),
                     QStringLiteral("Alice (maison) [default-release] (pop.exemple.fr)"));
            QCOMPARE(alice->checkState(), Qt::Unchecked);
            QCOMPARE(d.CheckListBox1->item(3)->checkState(), Qt::Checked); // on LocalHost
            QVERIFY(d.EditNomCompte->text().isEmpty());
            d.CheckListBox1->setCurrentRow(1);
            QCOMPARE(d.EditNomCompte->text(), QStringLiteral("alice"));
            QCOMPARE(d.EditServeurPOP3->text(), QStringLiteral("pop.exemple.fr"));
            alice->setCheckState(Qt::Checked);
            d.Valider();
            QVERIFY(!d.isVisible());
            QCOMPARE(d.result(), int(QDialog::Accepted));
        });
        action->trigger();
        QVERIFY(vu);
        const QByteArray apres = lire(home.prefs("profil-principal"));
        QVERIFY(apres != avant);
        QVERIFY(apres.contains("user_pref(\"mail.server.server1.hostname\", \"localhost\");"));
        QVERIFY(apres.contains(
            "user_pref(\"mail.server.server1.userName\", \"alice@pop.exemple.fr\");"));
        // The port the proxy really listens on.
        QVERIFY(apres.contains("user_pref(\"mail.server.server1.port\", " +
                               QByteArray::number(t.moteur.ServeurProxy().PortLocal()) + ");"));
        QVERIFY(TBoiteMessage::Questions().isEmpty());
    }

    // Thunderbird runs: the dialog says so when it opens and on "Valider",
    // stays open, and writes nothing.
    void thunderbirdOuvert() {
        THomeThunderbird home;
        QVERIFY(QFile::link(QStringLiteral("127.0.1.1:+4242"),
                            home.dir.filePath(QStringLiteral(".thunderbird/profil-travail/lock"))));
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        const QByteArray avant = lire(home.prefs("profil-principal"));
        bool vu = false;
        surDialogue([&vu](TFormConfigOE& d) {
            vu = true;
            QVERIFY(!d.LabelVerrou->isHidden());
            QVERIFY(d.LabelVerrou->text().contains(QStringLiteral("« travail »")));
            d.CheckListBox1->item(1)->setCheckState(Qt::Checked);
            d.Valider();
            QVERIFY(d.isVisible());
            QCOMPARE(TBoiteMessage::Questions().size(), 1);
            QCOMPARE(TBoiteMessage::Questions()[0], d.LabelVerrou->text());
        });
        t.fenetre->ConfigurerClientCourrier();
        QVERIFY(vu);
        QCOMPARE(lire(home.prefs("profil-principal")), avant);
    }

    // The engine's news reaches the window: the question, then the site.
    void nouvelleVersion() {
        TMaisonFenetre m;
        TFenetreTest t(m.reps);
        QVERIFY(t.demarrer());
        QVERIFY(t.moteur.Evenements.NouvelleVersionEcoute());
        TNavigateur navigateur;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &navigateur, "ouvrir");
        TBoiteMessage::Preparer(TBoiteMessage::rpNon);
        emit t.moteur.Evenements.NouvelleVersion(QStringLiteral("9.00.00.00"));
        TBoiteMessage::Preparer(TBoiteMessage::rpOui);
        emit t.moteur.Evenements.NouvelleVersion(QStringLiteral("9.00.00.00"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QCOMPARE(TBoiteMessage::Questions().size(), 2);
        QCOMPARE(TBoiteMessage::Questions()[0],
                 QStringLiteral("Une nouvelle version de Kelvarin est disponible.\r\n\r\n"
                                "Accéder au site de Kelvarin pour charger la nouvelle version ?"));
        QCOMPARE(navigateur.Ouvertes, QList<QUrl>{QUrl(LienSite(QStringLiteral("version")))});
    }
};

QTEST_MAIN(TstConfigOE)
#include "tst_config_oe.moc"
