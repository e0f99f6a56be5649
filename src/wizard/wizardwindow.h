#pragma once

#include "wizard/wizardartwork.h"
#include "wizard/wizardclock.h"
#include "wizard/wizardpose.h"

#include <QImage>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;

namespace calvenza {

// The wizard's own window: frameless, see-through around him, above the others, never taking
// the keyboard from the program. His words appear in a balloon to his right. Without a
// compositor (translucent false) the window is cut to his shape and the balloon goes without a
// fade, which would show as a grey box.
class WizardWindow : public QWidget
{
    Q_OBJECT
public:
    WizardWindow(const WizardClock &clock, bool translucent, QWidget *parent = nullptr);
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

    // The words of the balloon, in full; an empty text lets it linger, then go.
    void setBalloonText(const QString &text);
    [[nodiscard]] QString balloonText() const;
    [[nodiscard]] bool balloonShown() const { return m_balloonOpacity > 0; }
    // Shown and not yet going: what he says next may still join it.
    [[nodiscard]] bool balloonLingering() const;

    // Stops every motion at once; pending done callbacks are dropped.
    void stopAll();

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
    void hideBalloon();
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

    const WizardClock &m_clock;
    QVariantAnimation m_balloonFade;
    ClockTimer m_balloonLinger;
    qreal m_balloonOpacity = 0;

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
