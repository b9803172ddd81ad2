#pragma once
// Every message box and input box of the window goes through here, so a test
// can give the answers in advance and read what was asked.

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

class TBoiteMessage {
public:
    enum TForme { fmAvertissement, fmErreur, fmOuiNon, fmOuiNonAnnuler };
    enum TReponse { rpOK, rpOui, rpNon, rpAnnuler };

    static TReponse Afficher(QWidget* parent, TForme forme, const QString& texte);
    static void Avertir(QWidget* parent, const QString& texte) {
        Afficher(parent, fmAvertissement, texte);
    }
    static void Erreur(QWidget* parent, const QString& texte) { Afficher(parent, fmErreur, texte); }
    // The input box: false when cancelled; `valeur` holds the start text.
    static bool Saisir(QWidget* parent, const QString& titre, const QString& invite,
                       QString& valeur);

    // For the program's own modal dialogs (quit confirmation): true when a
    // test answers in place of the dialog, with the answer.
    static bool ReponsePrevue(TForme forme, const QString& texte, TReponse& reponse);

    // Tests: answers given in advance, used in order; while any is queued no
    // box opens. A box asked with no answer left gets the shape's safe answer
    // (OK, No, Cancel) and is counted as unexpected.
    static void Preparer(TReponse reponse);
    static void PreparerSaisie(bool accepter, const QString& valeur = {});
    static void ModeTest(bool actif);
    static const QStringList& Questions(); // texts asked, in order
    static int NonPrevues();
    static void Reinitialiser();
};
