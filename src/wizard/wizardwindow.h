#pragma once

#include "wizard/balloon.h"
#include "wizard/wizardartwork.h"
#include "wizard/wizardclock.h"
#include "wizard/wizardpose.h"

#include <QImage>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <optional>

namespace calvenza {

// The wizard's own window: frameless, see-through around him, above the others, never taking
// the keyboard from the program; he moves in it, and his mouth follows his voice. His words
// appear in a balloon to his right. Without a compositor (translucent false) the window is cut
// to his shape.
class WizardWindow : public QWidget
{
    Q_OBJECT
public:
    WizardWindow(const WizardClock &clock, bool translucent, QWidget *parent = nullptr);
    ~WizardWindow() override;

    void setWizardHeight(int pixels);

    // Each calls done once the motion has finished (at once when there is nothing to do).
    void appear(std::function<void()> done);
    void glideTo(const QPoint &topLeft, std::function<void()> done);
    void play(WizardAnimation animation, std::function<void()> done);

    // While speaking the mouth follows the voice's loudness and the eyes blink now and then.
    void setSpeaking(bool speaking);
    void setVoiceLevel(float level);

    [[nodiscard]] Balloon &balloon() const { return *m_balloon; }

    // Stops every motion at once; pending done callbacks are dropped.
    void stopAll();

    // Whether any timer is driving frames right now (not counting the idle wake-up).
    [[nodiscard]] bool isMoving() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    [[nodiscard]] QSize wizardSize() const;
    [[nodiscard]] WizardPose currentPose() const;
    void startAnimation(WizardAnimation animation, std::function<void()> done);
    void finishCallback(std::function<void()> &slot);
    void relayout();
    void refresh();
    void updateMask();
    void idleWake();
    void placeBalloon();

    WizardArtwork m_art;
    QImage m_frame;
    WizardPose m_shownPose;
    Balloon *m_balloon = nullptr;

    QVariantAnimation m_anim;
    std::optional<WizardAnimation> m_current;
    qreal m_t = 0;
    std::function<void()> m_animDone;

    QVariantAnimation m_glide;
    std::function<void()> m_glideDone;

    const WizardClock &m_clock;

    ClockTimer m_idle;
    bool m_speaking = false;
    int m_mouth = 0;
    qint64 m_blinkStartMs = -1;
    int m_nextBlinkMs = 2500;

    bool m_shaped = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
    int m_heightPx = 0;
};

} // namespace calvenza
