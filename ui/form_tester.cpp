#include "ui/form_tester.h"

#include "core/cp1252.h"
#include "i18n/resources.h"
#include "spamsearch/cherche_spams.h"
#include "ui/cadres_boutons.h"
#include "ui/form_base.h"
#include "ui/traduire_fenetre.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

namespace {
QPointer<TFormTester> g_instance;
}

TFormTester* TFormTester::Instance() {
    return g_instance;
}

TFormTester* TFormTester::Ouvrir(QWidget* parent) {
    if (!g_instance) g_instance = new TFormTester(parent);
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    return g_instance;
}

TFormTester::TFormTester(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FormTester"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Res("FormTester", u"Tester une expression"));
    auto* v = new QVBoxLayout(this);
    auto* titre = new QLabel(
        Res("LabelTitreTest", u"Zone de test : entrez une expression et un ffiltre"), this);
    titre->setObjectName(QStringLiteral("LabelTitreTest"));
    v->addWidget(titre);
    auto* f = new QFormLayout;
    EditValeur2 = new QLineEdit(QStringLiteral("essai"), this);
    EditValeur2->setObjectName(QStringLiteral("EditValeur2"));
    EditFiltre2 = new QLineEdit(QStringLiteral("*"), this);
    EditFiltre2->setObjectName(QStringLiteral("EditFiltre2"));
    const auto etiquette = [this](const char* nom, const char16_t* texte) {
        auto* l = new QLabel(Res(nom, texte), this);
        l->setObjectName(QLatin1String(nom));
        return l;
    };
    f->addRow(etiquette("LabelValeur2", u"Valeur :"), EditValeur2);
    f->addRow(etiquette("LabelFiltre2", u"Filtre :"), EditFiltre2);
    v->addLayout(f);
    LabelTest2 = new QLabel(this);
    LabelTest2->setObjectName(QStringLiteral("LabelTest2"));
    // Shows the result, a program text.
    MarquerTexteProgramme(LabelTest2);
    LabelTest2->setAlignment(Qt::AlignCenter);
    QFont gras = LabelTest2->font();
    gras.setBold(true);
    LabelTest2->setFont(gras);
    v->addWidget(LabelTest2);
    v->addStretch();
    auto* cadre = new TCadreBoutons(TCadreBoutons::cbOK, 0, this);
    cadre->setObjectName(QStringLiteral("FrameOK1"));
    v->addWidget(cadre);
    connect(cadre, &TCadreBoutons::Valider, this, &QWidget::close);
    connect(EditValeur2, &QLineEdit::textChanged, this, &TFormTester::Tester);
    connect(EditFiltre2, &QLineEdit::textChanged, this, &TFormTester::Tester);
    Tester();
    resize(360, sizeHint().height());
    m_base = new TFormBase(*this, "TFormTester", false);
    m_base->ConfigVersEcran();
}

TFormTester::~TFormTester() = default;

QString TFormTester::Resultat(const QString& valeur, const QString& filtre) {
    const QByteArray f = cp1252::depuisUnicode(filtre);
    return TChercheSPAMs::CorrespondFiltre(cp1252::depuisUnicode(valeur), f, f.contains('/'))
               ? Res("princ86", u"ok")
               : Res("princ85", u"pas ok");
}

void TFormTester::Tester() {
    LabelTest2->setText(Resultat(EditValeur2->text(), EditFiltre2->text()));
}

void TFormTester::closeEvent(QCloseEvent* e) {
    m_base->EcranVersConfig();
    QWidget::closeEvent(e);
}
