#include "ui/form_tester_reg_exp.h"

#include "core/cp1252.h"
#include "i18n/resources.h"
#include "spamsearch/regexp_filtre.h"
#include "ui/cadres_boutons.h"
#include "ui/form_base.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QPointer<TFormTesterRegExp> g_instance;
}

TFormTesterRegExp* TFormTesterRegExp::Instance() {
    return g_instance;
}

TFormTesterRegExp* TFormTesterRegExp::Ouvrir(QWidget* parent) {
    if (!g_instance) g_instance = new TFormTesterRegExp(parent);
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    return g_instance;
}

TFormTesterRegExp::TFormTesterRegExp(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FormTesterRegExp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Res("FormTesterRegExp", u"Test expression RegExp"));
    auto* v = new QVBoxLayout(this);
    auto* f = new QFormLayout;
    EditRegExp = new QLineEdit(this);
    EditRegExp->setObjectName(QStringLiteral("EditRegExp"));
    EditValeur = new QLineEdit(this);
    EditValeur->setObjectName(QStringLiteral("EditValeur"));
    const auto etiquette = [this](const char* nom, const char16_t* texte) {
        auto* l = new QLabel(Res(nom, texte), this);
        l->setObjectName(QLatin1String(nom));
        return l;
    };
    f->addRow(etiquette("LabelRegExp2", u"Expression RegExp :"), EditRegExp);
    f->addRow(etiquette("LabelValeur", u"Valeur à tester :"), EditValeur);
    v->addLayout(f);
    auto* h = new QHBoxLayout;
    BtnTester = new QPushButton(Res("BtnTester", u"Tester"), this);
    BtnTester->setObjectName(QStringLiteral("BtnTester"));
    LabelResultat = new QLabel(Res("LabelResultat", u"résultat"), this);
    LabelResultat->setObjectName(QStringLiteral("LabelResultat"));
    LabelResultat->setAlignment(Qt::AlignCenter);
    QFont gras = LabelResultat->font();
    gras.setBold(true);
    LabelResultat->setFont(gras);
    h->addWidget(BtnTester);
    h->addWidget(LabelResultat, 1);
    v->addLayout(h);
    v->addStretch();
    auto* cadre = new TCadreBoutons(TCadreBoutons::cbOK, 0, this);
    cadre->setObjectName(QStringLiteral("FrameOK1"));
    v->addWidget(cadre);
    connect(cadre, &TCadreBoutons::Valider, this, &QWidget::close);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, BtnTester, &QPushButton::click);
    connect(BtnTester, &QPushButton::clicked, this, &TFormTesterRegExp::BtnTesterClick);
    const auto relancer = [this] { Timer1->start(); };
    connect(EditRegExp, &QLineEdit::textChanged, this, relancer);
    connect(EditValeur, &QLineEdit::textChanged, this, relancer);
    resize(420, sizeHint().height());
    m_base = new TFormBase(*this, "TFormTesterRegExp", false);
    m_base->ConfigVersEcran();
}

TFormTesterRegExp::~TFormTesterRegExp() = default;

QString TFormTesterRegExp::Resultat(const QString& expression, const QString& valeur) {
    if (valeur.isEmpty()) return QStringLiteral("?");
    // The lists' own test, as their expression handler runs it.
    return CorrespondRegExp(cp1252::depuisUnicode(valeur), cp1252::depuisUnicode(expression))
               ? Res("rege01", u"filtre valide")
               : Res("rege02", u"filtre non valide");
}

void TFormTesterRegExp::BtnTesterClick() {
    LabelResultat->setText(Resultat(EditRegExp->text(), EditValeur->text()));
}

void TFormTesterRegExp::closeEvent(QCloseEvent* e) {
    m_base->EcranVersConfig();
    QWidget::closeEvent(e);
}
