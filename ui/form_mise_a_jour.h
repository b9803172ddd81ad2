#pragma once
// The conversion window: shown while the start-up conversion or the full
// Bayesian rebuild runs, with the two lines of the step in progress.

#include <QWidget>

class QLabel;

class TFormMiseAJour : public QWidget {
    Q_OBJECT
public:
    explicit TFormMiseAJour(QWidget* parent = nullptr);
    // A step: shown (centred, on top) if hidden, lines replaced and painted at
    // once, since the work runs in the event loop's own thread.
    void Avancement(const QString& ligne1, const QString& ligne2);
    void Fin();

    QLabel *LabelTitre, *LabelEtape1, *LabelEtape2;

protected:
    void paintEvent(QPaintEvent*) override;
};
