#include "ui/form_patienter.h"

#include "core/regles_fenetre.h"
#include "core/repertoires.h"
#include "core/trace.h"
#include "i18n/resources.h"

#include <QApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>

QString TexteCopyright() {
    return QStringLiteral("Copyright © 2026 Kelvarin");
}

TFormPatienter::TFormPatienter(bool dessus, bool debug, QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::SplashScreen |
                          (dessus ? Qt::WindowStaysOnTopHint : Qt::WindowFlags())) {
    m_creation.start();
    setObjectName(QStringLiteral("FormPatienter"));
    setFixedSize(397, 324);
    setCursor(Qt::WaitCursor);
    const auto etiquette = [this](const char* nom, const QRect& r) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(nom));
        l->setGeometry(r);
        return l;
    };
    LabelVersion = etiquette("LabelVersion", QRect(24, 170, 350, 20));
    LabelVersion->setText(Format(Res("patient02", u"Version %s"), {VersionProgramme()}));
    LabelCopyright = etiquette("LabelCopyright", QRect(24, 192, 350, 20));
    LabelCopyright->setText(TexteCopyright());
    LabelDebug = etiquette("LabelDebug", QRect(24, 214, 350, 20));
    LabelDebug->setText(Res("patient03", u"mode débug"));
    LabelDebug->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    LabelDebug->setVisible(debug);
    LabelStatut = etiquette("LabelStatut", QRect(24, 282, 350, 22));
    LabelStatut->setAlignment(Qt::AlignCenter);
    for (QLabel* l : {LabelVersion, LabelCopyright})
        l->setStyleSheet(QStringLiteral("color: white"));
    LabelStatut->setStyleSheet(QStringLiteral("color: #1b2a4a"));
    if (const QScreen* s = QApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TFormPatienter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(0x2a, 0x5c, 0xb8));
    g.setColorAt(1, QColor(0x10, 0x24, 0x50));
    p.fillRect(rect(), g);
    // The envelope of the icon, large.
    p.setPen(QPen(QColor(0xdd, 0xe6, 0xf5), 4));
    p.setBrush(QColor(0x3d, 0x7b, 0xe0));
    const QRect env(128, 40, 140, 90);
    p.drawRect(env);
    p.drawPolyline(
        QPolygon({env.topLeft(), QPoint(env.center().x(), env.top() + 55), env.topRight()}));
    QFont f = font();
    f.setPointSize(22);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 132, width(), 36), Qt::AlignCenter, QStringLiteral("Kelvarin"));
    // The bar under the status line.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xdd, 0xe6, 0xf5));
    p.drawRoundedRect(QRect(20, 280, width() - 40, 26), 6, 6);
}

void TFormPatienter::Statut(const QString& texte) {
    LabelStatut->setText(texte);
    debuglog::ligne(QStringLiteral("Patienter"), texte);
    if (isVisible()) LabelStatut->repaint();
}

QString TFormPatienter::StatutCourant() const {
    return LabelStatut->text();
}

void TFormPatienter::Fin() {
    LabelStatut->clear();
    const qint64 delai = DelaiFermeturePatienter(isVisible(), 0, m_creation.elapsed());
    if (delai == 0)
        fermer();
    else // a coarse timer may fire up to 5 % early
        QTimer::singleShot(int(delai), Qt::PreciseTimer, this, [this] {
            m_fondu.start();
            fondu();
        });
}

void TFormPatienter::fondu() {
    const int alpha = AlphaFonduPatienter(m_fondu.elapsed());
    if (alpha < 0) {
        fermer();
        return;
    }
    setWindowOpacity(alpha / 255.0);
    // The next step once the event loop has painted this one.
    QTimer::singleShot(10, Qt::PreciseTimer, this, &TFormPatienter::fondu);
}

void TFormPatienter::fermer() {
    close();
    emit Fermee();
}
