#pragma once
// The splash window shown during start-up: picture, version, copyright, the
// debug label and a status line; it stays at least 3 seconds when shown.

#include <QElapsedTimer>
#include <QWidget>

class QLabel;

class TFormPatienter : public QWidget {
    Q_OBJECT
public:
    // `dessus`: stays on top (unless "/patienter").
    TFormPatienter(bool dessus, bool debug, QWidget* parent = nullptr);
    void Statut(const QString& texte);
    QString StatutCourant() const;
    // Start-up ended: the status cleared, then closed at once (not shown) or
    // 3 seconds after creation and a fade-out. Fermee is emitted when it closes.
    void Fin();
    bool EnFondu() const { return m_fondu.isValid(); }
    qint64 AgeMs() const { return m_creation.elapsed(); }

    QLabel *LabelVersion, *LabelCopyright, *LabelDebug, *LabelStatut;

signals:
    void Fermee();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void fondu();
    void fermer();
    QElapsedTimer m_creation;
    QElapsedTimer m_fondu;
};

// The copyright text shown by the splash and the About box.
QString TexteCopyright();
