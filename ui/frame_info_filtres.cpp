#include "ui/frame_info_filtres.h"

#include "i18n/resources.h"
#include "pages/listes_options.h"
#include "ui/form_tester.h"
#include "ui/form_tester_reg_exp.h"
#include "ui/traduire_fenetre.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QPlainTextEdit* memo(QWidget* parent, const char* nom) {
    auto* m = new QPlainTextEdit(parent);
    m->setObjectName(QLatin1String(nom));
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return m;
}
QLabel* aide(QWidget* parent, const char* nom, const char16_t* texte) {
    auto* l = new QLabel(Res(nom, texte), parent);
    l->setObjectName(QLatin1String(nom));
    l->setWordWrap(true);
    l->setTextFormat(Qt::PlainText);
    return l;
}
QPushButton* tester(QWidget* parent, const char* nom, const char* cleAide,
                    const char16_t* texteAide) {
    auto* b = new QPushButton(Res(nom, u"Tester"), parent);
    b->setObjectName(QLatin1String(nom));
    b->setToolTip(Res(cleAide, texteAide));
    return b;
}
} // namespace

TFrameInfoFiltres::TFrameInfoFiltres(QWidget* parent) : QWidget(parent) {
    // One translation serves the frame of every list page.
    DefinirSection(this, QStringLiteral("FrameInfoFiltres"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* v1 = new QVBoxLayout(Panel1);
    v1->setContentsMargins(0, 0, 0, 0);
    MemoListeBalise = memo(Panel1, "MemoListeBalise");
    v1->addWidget(MemoListeBalise, 1);
    LabelIP = aide(Panel1, "LabelIP",
                   u"Une adresse IP par ligne, avec les caractères spéciaux ci-dessous, ou une "
                   u"plage en notation CIDR : cidr:adresse/bits, par exemple "
                   u"cidr:192.168.0.0/16 pour toutes les adresses 192.168.x.x.");
    v1->addWidget(LabelIP);
    auto* h1 = new QHBoxLayout;
    LabelBalise = aide(Panel1, "LabelBalise",
                       u"Un filtre par ligne ; les majuscules comptent. Caractères spéciaux :\r\n"
                       u"*\tn'importe quelle suite de caractères (même vide)\r\n"
                       u"?\tun caractère quelconque\r\n"
                       u"#\tun chiffre\r\n"
                       u"µ\tune consonne\r\n"
                       u"\\\tle caractère suivant est pris tel quel (\\* pour une étoile)");
    h1->addWidget(LabelBalise, 1);
    BtnTester = tester(Panel1, "BtnTester", "BtnTesterHint", u"Tester une expression");
    h1->addWidget(BtnTester, 0, Qt::AlignTop | Qt::AlignRight);
    v1->addLayout(h1);
    v->addWidget(Panel1, 1);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* v2 = new QVBoxLayout(Panel2);
    v2->setContentsMargins(0, 6, 0, 0);
    LabelTitreRegExp =
        new QLabel(Res("LabelTitreRegExp", u"Expressions régulières (RegExp) :"), Panel2);
    LabelTitreRegExp->setObjectName(QStringLiteral("LabelTitreRegExp"));
    QFont gras = LabelTitreRegExp->font();
    gras.setBold(true);
    LabelTitreRegExp->setFont(gras);
    v2->addWidget(LabelTitreRegExp);
    MemoListeRegExp = memo(Panel2, "MemoListeRegExp");
    v2->addWidget(MemoListeRegExp, 1);
    auto* h2 = new QHBoxLayout;
    LabelRegExp = aide(Panel2, "LabelRegExp",
                       u"Une expression régulière par ligne, cherchée n'importe où dans la "
                       u"valeur ; les majuscules comptent, sauf avec (?i) au début. Une "
                       u"expression invalide ne correspond à rien.");
    h2->addWidget(LabelRegExp, 1);
    BtnTesterRegExp = tester(Panel2, "BtnTesterRegExp", "BtnTesterRegExpHint",
                             u"Tester une expression régulière (RegExp)");
    h2->addWidget(BtnTesterRegExp, 0, Qt::AlignTop | Qt::AlignRight);
    v2->addLayout(h2);
    // Half of the frame when shown.
    v->addWidget(Panel2, 1);

    for (QPlainTextEdit* m : {MemoListeBalise, MemoListeRegExp})
        connect(m, &QPlainTextEdit::textChanged, this, [this] {
            if (!m_chargement) emit Modifie();
        });
    connect(BtnTester, &QPushButton::clicked, this, [this] { TFormTester::Ouvrir(window()); });
    connect(BtnTesterRegExp, &QPushButton::clicked, this,
            [this] { TFormTesterRegExp::Ouvrir(window()); });
    regler();
}

void TFrameInfoFiltres::Initialiser(int mode, const QString& texte, const QString& texteRegExp) {
    m_mode = mode;
    m_chargement = true;
    MemoListeBalise->setPlainText(texte);
    MemoListeRegExp->setPlainText(texteRegExp);
    m_chargement = false;
    regler();
}

void TFrameInfoFiltres::AppliquerExpert(bool expert) {
    m_expert = expert;
    regler();
}

void TFrameInfoFiltres::regler() {
    const TListesOptions::TVisibilite v = TListesOptions::Visibilite(m_mode, m_expert);
    LabelBalise->setVisible(v.LabelBalise);
    LabelIP->setVisible(v.LabelIP);
    Panel1->setVisible(true);
    BtnTester->setVisible(v.BtnTester);
    Panel2->setVisible(v.Panel2);
}

QString TFrameInfoFiltres::Texte() const {
    return MemoListeBalise->toPlainText();
}

QString TFrameInfoFiltres::TexteRegExp() const {
    return MemoListeRegExp->toPlainText();
}

void TFrameInfoFiltres::setTexte(const QString& texte) {
    MemoListeBalise->setPlainText(texte);
}

TPageListe::TPageListe(const char* cleTitre, const char16_t* titre, QWidget* contenu,
                       QWidget* parent)
    : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    auto* l = new QLabel(Res(cleTitre, titre), this);
    l->setObjectName(QLatin1String(cleTitre));
    QFont f = l->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 1);
    l->setFont(f);
    v->addWidget(l);
    contenu->setParent(this);
    v->addWidget(contenu, 1);
}
