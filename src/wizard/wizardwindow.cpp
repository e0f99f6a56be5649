#include "wizard/wizardwindow.h"

#include "narrator/narrator.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QtDebug>

namespace calvenza {

namespace {
constexpr int blinkMs = 140;
// An idle wizard wakes this often to breathe and blink.
constexpr int idleMinMs = 4500;
constexpr int idleMaxMs = 7500;

int randomBetween(int low, int high)
{
    return int(QRandomGenerator::global()->bounded(low, high));
}
} // namespace

WizardWindow::WizardWindow(const WizardClock &clock, bool translucent, QWidget *parent)
    : QWidget(parent,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
            | Qt::NoDropShadowWindowHint)
    , m_clock(clock)
    , m_idle(clock)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The program ends with its own window, whether or not he is still on screen.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Mago Merlino"));
    setAccessibleName(QStringLiteral("Mago Merlino"));
    setCursor(Qt::OpenHandCursor);
    m_shaped = !translucent;
    if (!m_art.isValid())
        qWarning().noquote() << m_art.errorString() << "- il mago si vede solo nel fumetto.";

    m_balloon = new Balloon(clock, translucent, this);
    connect(m_balloon, &Balloon::textChanged, this, [this](const QString &text) {
        // Screen readers read his window: it tells what the balloon shows.
        setAccessibleDescription(text.isEmpty() ? QString() : m_balloon->shownText());
        relayout();
        if (m_shaped)
            updateMask();
    });

    m_anim.setStartValue(0.0);
    m_anim.setEndValue(1.0);
    connect(&m_anim, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_t = v.toReal();
        refresh();
    });
    connect(&m_anim, &QVariantAnimation::finished, this, [this] {
        m_current.reset();
        m_t = 0;
        refresh();
        if (isVisible())
            m_idle.start(randomBetween(idleMinMs, idleMaxMs));
        finishCallback(m_animDone);
    });

    m_glide.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_glide, &QVariantAnimation::valueChanged, this,
        [this](const QVariant &v) { move(v.toPoint()); });
    connect(&m_glide, &QVariantAnimation::finished, this, [this] { finishCallback(m_glideDone); });

    m_idle.setSingleShot(true);
    connect(&m_idle, &ClockTimer::timeout, this, &WizardWindow::idleWake);

    setWizardHeight(narratorHeight);
}

WizardWindow::~WizardWindow() = default;

void WizardWindow::setWizardHeight(int pixels)
{
    pixels = qBound(32, pixels, 1200);
    m_heightPx = pixels;
    m_art.setHeight(pixels, devicePixelRatioF());
    placeBalloon();
    relayout();
    refresh();
}

QSize WizardWindow::wizardSize() const
{
    if (m_art.isValid())
        return m_art.pixelSize();
    // Without artwork only the balloon shows; keep the same footprint.
    return QSize(m_heightPx * 260 / 272, m_heightPx);
}

void WizardWindow::appear(std::function<void()> done)
{
    if (isVisible()) {
        if (done)
            done();
        return;
    }
    show();
    startAnimation(WizardAnimation::Appear, std::move(done));
}

void WizardWindow::glideTo(const QPoint &topLeft, std::function<void()> done)
{
    m_glide.stop();
    const QPoint from = pos();
    if (!isVisible() || from == topLeft) {
        move(topLeft);
        if (done)
            done();
        return;
    }
    const qreal distance = QLineF(from, topLeft).length();
    m_glide.setDuration(int(qBound(250.0, distance * 2, 1200.0)));
    m_glide.setStartValue(from);
    m_glide.setEndValue(topLeft);
    m_glideDone = std::move(done);
    m_glide.start();
}

void WizardWindow::play(WizardAnimation animation, std::function<void()> done)
{
    startAnimation(animation, std::move(done));
}

void WizardWindow::startAnimation(WizardAnimation animation, std::function<void()> done)
{
    m_idle.stop();
    if (m_anim.state() != QAbstractAnimation::Stopped) {
        m_anim.stop();
        finishCallback(m_animDone);
    }
    m_current = animation;
    m_t = 0;
    m_animDone = std::move(done);
    m_anim.setDuration(animationDurationMs(animation));
    m_anim.start();
    refresh();
}

void WizardWindow::finishCallback(std::function<void()> &slot)
{
    // Taken out first: the callback may well start the next motion.
    std::function<void()> done = std::move(slot);
    slot = nullptr;
    if (done)
        done();
}

void WizardWindow::setSpeaking(bool speaking)
{
    if (speaking == m_speaking)
        return;
    m_speaking = speaking;
    m_mouth = 0;
    if (speaking) {
        m_blinkStartMs = m_clock.nowMs();
        m_nextBlinkMs = randomBetween(1800, 4000);
        m_idle.stop();
        if (m_current == WizardAnimation::Breathe) {
            m_anim.stop();
            m_current.reset();
        }
    } else if (isVisible() && m_anim.state() == QAbstractAnimation::Stopped) {
        m_idle.start(randomBetween(3000, 5000));
    }
    refresh();
}

void WizardWindow::setVoiceLevel(float level)
{
    if (!m_speaking)
        return;
    m_mouth = mouthForLevel(level);
    if (m_clock.nowMs() - m_blinkStartMs > m_nextBlinkMs + blinkMs) {
        m_blinkStartMs = m_clock.nowMs();
        m_nextBlinkMs = randomBetween(1800, 4000);
    }
    refresh();
}

void WizardWindow::stopAll()
{
    m_anim.stop();
    m_glide.stop();
    m_animDone = nullptr;
    m_glideDone = nullptr;
    m_current.reset();
    m_t = 0;
    m_speaking = false;
    m_mouth = 0;
    if (isVisible())
        m_idle.start(randomBetween(idleMinMs, idleMaxMs));
    m_balloon->letGo();
    refresh();
}

WizardPose WizardWindow::currentPose() const
{
    WizardPose pose = m_current ? poseAt(*m_current, m_t) : WizardPose {};
    if (m_speaking) {
        pose.mouth = qMax(pose.mouth, m_mouth);
        if (m_blinkStartMs >= 0 && m_clock.nowMs() - m_blinkStartMs >= m_nextBlinkMs)
            pose.eyesClosed = true;
    }
    return pose;
}

bool WizardWindow::isMoving() const
{
    return m_anim.state() == QAbstractAnimation::Running
        || m_glide.state() == QAbstractAnimation::Running || m_balloon->isFading() || m_speaking;
}

void WizardWindow::placeBalloon()
{
    const QSize wiz = wizardSize();
    const int width = qBound(220, int(wiz.height() * 1.45), 440);
    // Level with his beard rather than his hat: placed where the program puts him, the verdict
    // line of the main window sits just above this, and the answer box just below.
    const int top = int(wiz.height() * 0.22);
    // Close beside him, over the room his frame keeps for the wand's sweep.
    const int left = m_art.isValid() ? qRound(m_art.toPixels(QPointF(172, 0)).x()) : wiz.width();
    // The tail points at his mouth, just right of the beard.
    const QPointF mouth = m_art.isValid() ? m_art.toPixels(QPointF(136, 132))
                                          : QPointF(wiz.width() * 0.6, wiz.height() * 0.52);
    m_balloon->place(
        QRect(left, top, width, int(wiz.height() * 0.62)), mouth, qBound(16, m_heightPx / 9, 30));
}

void WizardWindow::relayout()
{
    const QSize wiz = wizardSize();
    if (!m_balloon->isHidden()) {
        resize(m_balloon->bubble().right() + 3, wiz.height());
    } else {
        resize(wiz);
    }
}

void WizardWindow::refresh()
{
    const WizardPose pose = currentPose();
    if (!m_frame.isNull() && pose == m_shownPose
        && m_frame.size() == m_art.pixelSize() * m_art.devicePixelRatio())
        return; // nothing visible changed since the last frame
    m_shownPose = pose;
    m_frame = m_art.isValid() ? m_art.render(pose) : QImage();
    if (m_shaped)
        updateMask();
    update();
}

void WizardWindow::updateMask()
{
    QRegion region;
    if (!m_frame.isNull()) {
        QImage logical = m_frame;
        if (!qFuzzyCompare(logical.devicePixelRatio(), 1.0))
            logical = logical.scaled(wizardSize(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        region = QRegion(QBitmap::fromImage(logical.createAlphaMask()));
    }
    region += QRegion(m_balloon->outline().toFillPolygon().toPolygon());
    if (region.isEmpty())
        region = QRegion(0, 0, 1, 1); // an empty mask would mean no mask at all
    setMask(region);
}

void WizardWindow::idleWake()
{
    if (!isVisible())
        return;
    if (m_speaking || m_anim.state() != QAbstractAnimation::Stopped
        || m_glide.state() != QAbstractAnimation::Stopped) {
        m_idle.start(randomBetween(idleMinMs, idleMaxMs));
        return;
    }
    startAnimation(WizardAnimation::Breathe, nullptr);
}

void WizardWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!m_frame.isNull())
        p.drawImage(QPoint(0, 0), m_frame);
}

void WizardWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // The pupil takes over: a glide under way ends where he is.
    if (m_glide.state() == QAbstractAnimation::Running) {
        m_glide.stop();
        finishCallback(m_glideDone);
    }
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
    setCursor(Qt::ClosedHandCursor);
}

void WizardWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void WizardWindow::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
    setCursor(Qt::OpenHandCursor);
}

void WizardWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The screen decides the pixel ratio; the part cache is rebuilt only if it changed.
    m_art.setHeight(m_heightPx, devicePixelRatioF());
    refresh();
    if (m_anim.state() == QAbstractAnimation::Stopped)
        m_idle.start(randomBetween(idleMinMs, idleMaxMs));
}

void WizardWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_idle.stop(); // a hidden wizard costs nothing
}

void WizardWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ScreenChangeInternal)
        setWizardHeight(m_heightPx);
}

} // namespace calvenza
