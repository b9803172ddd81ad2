#include "ui/page_trace.h"

#include "i18n/resources.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

TPageTrace::TPageTrace(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::TypeWriter);
    RichEdit1->setFont(f);
    v->addWidget(RichEdit1);
    BtnEffacer = new QPushButton(Res("BtnEffacer", u"Effacer"), this);
    BtnEffacer->setObjectName(QStringLiteral("BtnEffacer"));
    auto* h = new QHBoxLayout;
    h->addStretch();
    h->addWidget(BtnEffacer);
    v->addLayout(h);
    connect(BtnEffacer, &QPushButton::clicked, RichEdit1, &QTextEdit::clear);
    // The lines traced before the page existed (start-up).
    for (const TLigneTrace& l : TTrace::instance().lignes())
        Ajouter(l);
}

QColor TPageTrace::Couleur(TCouleurTrace c) {
    switch (c) {
    case TCouleurTrace::Rouge:
        return QColor(0xFF, 0, 0);
    case TCouleurTrace::Bleu:
        return QColor(0, 0, 0xFF);
    case TCouleurTrace::Marine:
        return QColor(0, 0, 0x80);
    case TCouleurTrace::Pourpre:
        return QColor(0x80, 0, 0x80);
    case TCouleurTrace::Olive:
        return QColor(0x80, 0x80, 0);
    case TCouleurTrace::Defaut:
        break;
    }
    return {};
}

int TPageTrace::NbLignes() const {
    // The document always ends with an empty block after the last line.
    const int n = RichEdit1->document()->blockCount();
    return RichEdit1->document()->isEmpty() ? 0 : n - 1;
}

void TPageTrace::Ajouter(const TLigneTrace& ligne) {
    QTextDocument* doc = RichEdit1->document();
    // The line that would pass the bound trims to kLignesGardees first, as the trace does.
    if (NbLignes() >= TTrace::kMaxLignes) {
        RichEdit1->setUpdatesEnabled(false);
        QTextCursor c(doc);
        c.movePosition(QTextCursor::Start);
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                       NbLignes() - TTrace::kLignesGardees);
        c.removeSelectedText();
        RichEdit1->setUpdatesEnabled(true);
    }
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    QTextCharFormat normal;
    c.insertText(ligne.prefixe, normal);
    QTextCharFormat couleur;
    const QColor col = Couleur(ligne.couleur);
    if (col.isValid()) couleur.setForeground(col);
    c.insertText(ligne.texte, couleur);
    c.insertText(QStringLiteral("\n"), normal);
    if (isVisible()) AllerALaFin();
}

void TPageTrace::AllerALaFin() {
    RichEdit1->moveCursor(QTextCursor::End);
    RichEdit1->ensureCursorVisible();
}
