#pragma once

#include "wizard/wizardartwork.h"
#include "wizard/wizardpose.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;

namespace calvenza {

// The wizard's own window: frameless, see-through around him, above the others, never taking
// the keyboard from the program. His words appear in a balloon to his right.
class WizardWindow : public QWidget
{
    Q_OBJECT
public:
    explicit WizardWindow(QWidget *parent = nullptr);
    ~WizardWindow() override;

    [[nodiscard]] const WizardArtwork &artwork() const { return m_art; }

    void setWizardHeight(int pixels);
    [[nodiscard]] QSize wizardSize() const;

    // Each calls done once the motion has finished (at once when there is nothing to do).
    void appear(std::function<void()> done);
    void glideTo(const QPoint &topLeft, std::function<void()> done);
    void play(WizardAnimation animation, std::function<void()> done);

    // While speaking the mouth follows the voice's loudness and the eyes blink now and then.
    void setSpeaking(bool speaking);
    void setVoiceLevel(float level);

    // What the balloon shows; an empty text lets it fade away.
    void setBalloonText(const QString &text);
    [[nodiscard]] QString balloonText() const;
    [[nodiscard]] bool balloonShown() const { return m_balloonOpacity > 0; }

    // Stops every motion at once; pending done callbacks are dropped.
    void stopAll();

    [[nodiscard]] bool usesShapeMask() const { return m_shaped; }
    [[nodiscard]] WizardPose currentPose() const;
    // Whether any timer is driving frames right now (not counting the idle wake-up).
    [[nodiscard]] bool isMoving() const;

signals:
    void balloonTextChanged(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void startAnimation(WizardAnimation animation, std::function<void()> done);
    void finishCallback(std::function<void()> &slot);
    void relayout();
    void refresh();
    void updateMask();
    void idleWake();
    [[nodiscard]] QRect balloonRect() const;
    [[nodiscard]] QPainterPath balloonPath() const;
    [[nodiscard]] QString fittedBalloonText(const QString &text) const;

    WizardArtwork m_art;
    QImage m_frame;
    WizardPose m_shownPose;
    QLabel *m_label = nullptr;
    QString m_balloonFull;

    QVariantAnimation m_anim;
    std::optional<WizardAnimation> m_current;
    qreal m_t = 0;
    std::function<void()> m_animDone;

    QVariantAnimation m_glide;
    std::function<void()> m_glideDone;

    QVariantAnimation m_balloonFade;
    QTimer m_balloonLinger;
    qreal m_balloonOpacity = 0;

    QTimer m_idle;
    bool m_speaking = false;
    int m_mouth = 0;
    QElapsedTimer m_blinkClock;
    int m_nextBlinkMs = 2500;

    bool m_shaped = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
    int m_heightPx = 0;
};

} // namespace calvenza
