#include "ui/boite_message.h"

#include "i18n/resources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

#include <deque>
#include <utility>

namespace {
struct TEtatTest {
    bool actif = false;
    std::deque<TBoiteMessage::TReponse> reponses;
    std::deque<std::pair<bool, QString>> saisies;
    QStringList questions;
    int nonPrevues = 0;
};
TEtatTest& etat() {
    static TEtatTest e;
    return e;
}

TBoiteMessage::TReponse reponseSure(TBoiteMessage::TForme f) {
    switch (f) {
    case TBoiteMessage::fmOuiNon:
        return TBoiteMessage::rpNon;
    case TBoiteMessage::fmOuiNonAnnuler:
        return TBoiteMessage::rpAnnuler;
    default:
        return TBoiteMessage::rpOK;
    }
}
} // namespace

bool TBoiteMessage::ReponsePrevue(TForme forme, const QString& texte, TReponse& r) {
    TEtatTest& e = etat();
    if (!e.actif && e.reponses.empty()) return false;
    e.questions.append(texte);
    if (e.reponses.empty()) {
        ++e.nonPrevues;
        r = reponseSure(forme);
    } else {
        r = e.reponses.front();
        e.reponses.pop_front();
    }
    return true;
}

TBoiteMessage::TReponse TBoiteMessage::Afficher(QWidget* parent, TForme forme,
                                                const QString& texte) {
    TReponse prevue = rpOK;
    if (ReponsePrevue(forme, texte, prevue)) return prevue;
    const QString titre = QStringLiteral("Kelvarin");
    QMessageBox b(parent);
    b.setWindowTitle(titre);
    b.setText(texte);
    switch (forme) {
    case fmAvertissement:
        b.setIcon(QMessageBox::Warning);
        b.setStandardButtons(QMessageBox::Ok);
        break;
    case fmErreur:
        b.setIcon(QMessageBox::Critical);
        b.setStandardButtons(QMessageBox::Ok);
        break;
    case fmOuiNon:
        b.setIcon(QMessageBox::Question);
        b.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case fmOuiNonAnnuler:
        b.setIcon(QMessageBox::Question);
        b.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    if (QAbstractButton* o = b.button(QMessageBox::Yes)) o->setText(Res("BtnOui", u"&Oui"));
    if (QAbstractButton* n = b.button(QMessageBox::No)) n->setText(Res("BtnNon", u"&Non"));
    if (QAbstractButton* a = b.button(QMessageBox::Cancel))
        a->setText(Res("BtnAnnuler", u"Annuler"));
    switch (b.exec()) {
    case QMessageBox::Yes:
        return rpOui;
    case QMessageBox::No:
        return rpNon;
    case QMessageBox::Cancel:
        return rpAnnuler;
    default:
        return forme == fmOuiNonAnnuler ? rpAnnuler : forme == fmOuiNon ? rpNon : rpOK;
    }
}

bool TBoiteMessage::Saisir(QWidget* parent, const QString& titre, const QString& invite,
                           QString& valeur) {
    TEtatTest& e = etat();
    if (e.actif || !e.saisies.empty()) {
        e.questions.append(invite);
        if (e.saisies.empty()) {
            ++e.nonPrevues;
            return false;
        }
        const auto [accepter, texte] = e.saisies.front();
        e.saisies.pop_front();
        if (accepter) valeur = texte;
        return accepter;
    }
    bool ok = false;
    const QString t = QInputDialog::getText(parent, titre, invite, QLineEdit::Normal, valeur, &ok);
    if (ok) valeur = t;
    return ok;
}

void TBoiteMessage::Preparer(TReponse reponse) {
    etat().reponses.push_back(reponse);
}
void TBoiteMessage::PreparerSaisie(bool accepter, const QString& valeur) {
    etat().saisies.emplace_back(accepter, valeur);
}
void TBoiteMessage::ModeTest(bool actif) {
    etat().actif = actif;
}
const QStringList& TBoiteMessage::Questions() {
    return etat().questions;
}
int TBoiteMessage::NonPrevues() {
    return etat().nonPrevues;
}
void TBoiteMessage::Reinitialiser() {
    TEtatTest& e = etat();
    e.reponses.clear();
    e.saisies.clear();
    e.questions.clear();
    e.nonPrevues = 0;
}
