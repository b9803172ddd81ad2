#include "ui/form_about_box.h"

#include "core/infos_systeme.h"
#include "core/regles_fenetre.h"
#include "core/repertoires.h"
#include "core/trace.h"
#include "i18n/resources.h"
#include "i18n/traduction.h"
#include "ui/aide.h"
#include "ui/cadres_boutons.h"
#include "ui/form_base.h"
#include "ui/form_patienter.h"
#include "ui/icone_notification.h"
#include "ui/traduire_fenetre.h"

#include <QApplication>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

TFormAboutBox::TFormAboutBox(const QElapsedTimer& depart, const QString& installation,
                             const QString& travail, QWidget* parent)
    : QDialog(parent, Qt::Tool), m_depart(depart) {
    setObjectName(QStringLiteral("FormAboutBox"));
    setWindowTitle(Format(Res("about01", u"A propos de %s"), {QStringLiteral("Kelvarin")}));
    // Caption, tabs and figures are the program's texts (resource strings, data).
    MarquerTexteProgramme(this);
    auto* principal = new QVBoxLayout(this);
    Onglets = new QTabWidget(this);
    Onglets->setObjectName(QStringLiteral("PageControl1"));
    MarquerTexteProgramme(Onglets);
    principal->addWidget(Onglets);
    auto* infosPage = new QWidget(Onglets);
    infosPage->setObjectName(QStringLiteral("TabInformations"));
    Onglets->addTab(infosPage, Res("about09", u"Informations"));
    auto* v = new QVBoxLayout(infosPage);
    auto* tete = new QHBoxLayout;
    auto* icone = new QLabel(this);
    icone->setPixmap(IconeRessource("DEFAUT").pixmap(64, 64));
    tete->addWidget(icone);
    auto* nom = new QVBoxLayout;
    auto* produit = new QLabel(QStringLiteral("Kelvarin"), this);
    produit->setObjectName(QStringLiteral("ProductName"));
    QFont f = produit->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    produit->setFont(f);
    nom->addWidget(produit);
    for (const QString& t : {QStringLiteral("Version ") + VersionProgramme(), TexteCopyright()}) {
        auto* l = new QLabel(t, this);
        MarquerTexteProgramme(l);
        nom->addWidget(l);
    }
    tete->addLayout(nom);
    tete->addStretch();
    v->addLayout(tete);

    const QLocale l;
    auto* infos = new QFormLayout;
    auto* systeme = new QLabel(NomSysteme(), this);
    systeme->setObjectName(QStringLiteral("LabelSysteme"));
    MarquerTexteProgramme(systeme);
    infos->addRow(Res("about06", u"Système :"), systeme);
    auto* memoire = new QLabel(
        Format(Res("about02", u"Mémoire : %s KB"), {l.toString(MemoireTotaleKo())}), this);
    memoire->setObjectName(QStringLiteral("LabelMemoire"));
    MarquerTexteProgramme(memoire);
    infos->addRow(memoire);
    const TEspaceDisque d = EspaceDisque(installation);
    auto* disque = new QLabel(d.Valide ? Format(Res("about03", u"Espace libre : %s KB sur %s KB"),
                                                {l.toString(d.LibreKo), l.toString(d.TotalKo)})
                                       : QString(),
                              this);
    disque->setObjectName(QStringLiteral("LabelDisque"));
    MarquerTexteProgramme(disque);
    infos->addRow(disque);
    infos->addRow(new QLabel(Format(Res("about04", u"Installation : %s"), {installation}), this));
    infos->addRow(new QLabel(Format(Res("about05", u"Dossier de travail : %s"), {travail}), this));
    auto* site = new QLabel(this);
    site->setObjectName(QStringLiteral("LabelSite"));
    MarquerTexteProgramme(site);
    const QString adresse = QLatin1String(kSiteProduit);
    site->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(adresse));
    site->setCursor(Qt::PointingHandCursor);
    connect(site, &QLabel::linkActivated, this,
            [] { aide::OuvrirURL(LienSite(QStringLiteral("_www.kelvarin.net"))); });
    infos->addRow(Res("about07", u"Site Internet :"), site);
    LabelDuree = new QLabel(this);
    LabelDuree->setObjectName(QStringLiteral("LabelDuree"));
    MarquerTexteProgramme(LabelDuree);
    infos->addRow(Res("about08", u"Durée de fonctionnement :"), LabelDuree);
    v->addLayout(infos);
    v->addStretch();

    // The two texts delivered beside the program; a tab without text goes.
    const QString langue = installation + QStringLiteral("Language/");
    const auto onglet = [&](const char* nomObjet, const QString& fichier, const QString& titre,
                            bool liens) {
        TTraduction& tr = Traduction();
        QFile texte(FichierTexteLangue(langue, fichier, tr.Active() ? tr.CodeLangue() : QString()));
        QByteArray octets;
        if (texte.open(QIODevice::ReadOnly))
            octets = texte.readAll();
        else if (texte.exists())
            Trace(QStringLiteral("Lecture impossible : ") + texte.fileName());
        const QString html = TexteAPropos(octets, liens);
        if (html.isEmpty()) return;
        auto* t = new QTextBrowser(Onglets);
        t->setObjectName(QLatin1String(nomObjet));
        t->setOpenLinks(false);
        t->setHtml(QStringLiteral("<div style=\"white-space:pre-wrap\">") + html +
                   QStringLiteral("</div>"));
        connect(t, &QTextBrowser::anchorClicked, this,
                [](const QUrl& u) { aide::OuvrirURL(LienSite(QLatin1Char('_') + u.toString())); });
        Onglets->addTab(t, titre);
    };
    onglet("MemoNouveautes", QStringLiteral("suivi-version"), Res("about10", u"Nouveautés"), false);
    onglet("MemoRemerciements", QStringLiteral("remerciement"), Res("about11", u"Remerciements"),
           true);

    auto* cadre = new TCadreBoutons(TCadreBoutons::cbOK, 1, this);
    cadre->setObjectName(QStringLiteral("FrameOK1"));
    connect(cadre, &TCadreBoutons::Valider, this, &QDialog::accept);
    principal->addWidget(cadre);

    rafraichir();
    auto* t = new QTimer(this);
    t->setInterval(1000);
    connect(t, &QTimer::timeout, this, &TFormAboutBox::rafraichir);
    t->start();
    auto* base = new TFormBase(*this, "TFormAboutBox", false);
    base->ConfigVersEcran();
    connect(this, &QDialog::finished, base, [base] { base->EcranVersConfig(); });
}

void TFormAboutBox::rafraichir() {
    LabelDuree->setText(DureeFonctionnement(m_depart.elapsed() / 1000));
}
