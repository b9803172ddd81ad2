#include "ui/form_mise_a_jour.h"

#include "i18n/resources.h"
#include "ui/traduire_fenetre.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

TFormMiseAJour::TFormMiseAJour(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FormMiseAJour"));
    setWindowTitle(Res("FormMiseAJour", u"Conversion"));
    setFixedSize(420, 130);
    setCursor(Qt::WaitCursor);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(18, 16, 18, 16);
    const auto etiquette = [this, v](const char* nom) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(nom));
        l->setAlignment(Qt::AlignCenter);
        v->addWidget(l);
        return l;
    };
    LabelTitre = etiquette("LabelTitre");
    LabelTitre->setText(Res("miseajour01", u"Mise à jour de Kelvarin en cours ...."));
    QFont f = LabelTitre->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    LabelTitre->setFont(f);
    LabelEtape1 = etiquette("LabelEtape1");
    LabelEtape2 = etiquette("LabelEtape2");
    MarquerTexteProgramme(LabelTitre);
    DefinirSection(this, QStringLiteral("FormMiseAJour"));
    TraduireFenetre(this);
}

void TFormMiseAJour::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    // Borderless: a frame of its own keeps it apart from what lies below.
    p.setPen(QPen(QColor(0x2a, 0x5c, 0xb8), 2));
    p.drawRect(rect().adjusted(1, 1, -1, -1));
}

void TFormMiseAJour::Avancement(const QString& ligne1, const QString& ligne2) {
    LabelEtape1->setText(ligne1);
    LabelEtape2->setText(ligne2);
    if (!isVisible()) {
        const QScreen* s = screen() ? screen() : QApplication::primaryScreen();
        if (s) move(s->availableGeometry().center() - rect().center());
        show();
        raise();
        // Mapped now: the work that follows keeps the event loop busy.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    repaint();
}

void TFormMiseAJour::Fin() {
    hide();
}
