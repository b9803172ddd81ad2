#pragma once
// One list editor: the plain list with its help and "Tester", and below it,
// for the pattern lists in expert mode, the regular-expression list with its
// help and "Tester". Any change of either memo emits Modifie.

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TFrameInfoFiltres : public QWidget {
    Q_OBJECT
public:
    explicit TFrameInfoFiltres(QWidget* parent = nullptr);
    // Mode 0: patterns (and expressions in expert mode); 1: addresses.
    void Initialiser(int mode, const QString& texte, const QString& texteRegExp);
    void AppliquerExpert(bool expert);
    int Mode() const { return m_mode; }
    QString Texte() const;
    QString TexteRegExp() const;
    void setTexte(const QString& texte); // through the memo: marks the options modified

    QWidget *Panel1, *Panel2;
    QPlainTextEdit *MemoListeBalise, *MemoListeRegExp;
    QLabel *LabelIP, *LabelBalise, *LabelRegExp, *LabelTitreRegExp;
    QPushButton *BtnTester, *BtnTesterRegExp;

signals:
    void Modifie();

private:
    void regler();
    int m_mode = 0;
    bool m_expert = false;
    bool m_chargement = false;
};

// An options page holding a one-line heading over a memo or a frame.
class TPageListe : public QWidget {
public:
    TPageListe(const char* cleTitre, const char16_t* titre, QWidget* contenu,
               QWidget* parent = nullptr);
};
