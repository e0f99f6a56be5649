#pragma once

#include "wizard/wizardclock.h"

#include <QPainterPath>
#include <QVariantAnimation>
#include <QWidget>

class QLabel;

namespace calvenza {

// How long the words stay up once he has said them, before the balloon starts to go.
inline constexpr int balloonLingerMs = 1500;

// The balloon his words appear in, its tail pointing at his mouth. Long speeches keep their
// latest words in view; what it shows is also its accessible description. It fades away once
// let go, or goes at once where nothing blends (a fading box would show grey).
class Balloon : public QWidget
{
    Q_OBJECT
public:
    Balloon(const WizardClock &clock, bool fades, QWidget *parent);

    // The bubble and the point its tail reaches, in the parent's coordinates, and its letters'
    // pixel size.
    void place(const QRect &bubble, const QPointF &tailTip, int fontPixels);
    [[nodiscard]] QRect bubble() const { return m_bubble; }

    // The words, in full: the balloon shows (again) with as many of them as fit.
    void setText(const QString &text);
    // As many of the latest words as fit.
    [[nodiscard]] QString shownText() const;
    // Lingers, then goes.
    void letGo();
    // Goes at once.
    void clear();

    [[nodiscard]] bool isShown() const { return m_opacity > 0; }
    [[nodiscard]] bool isFading() const { return m_fade.state() == QAbstractAnimation::Running; }
    // Bubble and tail in the parent's coordinates; empty while hidden.
    [[nodiscard]] QPainterPath outline() const;

signals:
    // The words in full, when they change; empty once it has gone.
    void textChanged(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void setOpacity(qreal opacity);
    [[nodiscard]] QString fitted(const QString &text) const;

    QLabel *m_label;
    QString m_text;
    QRect m_bubble;
    QPainterPath m_path; // in the parent's coordinates
    ClockTimer m_linger;
    QVariantAnimation m_fade;
    qreal m_opacity = 0;
    bool m_fades;
};

} // namespace calvenza
