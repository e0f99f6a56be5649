#include "wizard/wizardwindow.h"

#include "narrator/narrator.h"

#include <QBitmap>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

namespace calvenza {

namespace {
constexpr int balloonLingerMs = 1500;
constexpr int balloonFadeMs = 500;
constexpr int blinkMs = 140;
// An idle wizard wakes this often to breathe and blink.
constexpr int idleMinMs = 4500;
constexpr int idleMaxMs = 7500;
const QColor balloonInk(42, 32, 96);
const QColor balloonEdge(88, 72, 180);
const QColor balloonPaper(255, 253, 240);

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
    , m_balloonLinger(clock)
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

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("balloon"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop); // new lines grow downwards, as read
    m_label->setFocusPolicy(Qt::NoFocus);
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_label->hide();

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

    m_balloonLinger.setSingleShot(true);
    connect(&m_balloonLinger, &ClockTimer::timeout, this, [this] {
        if (m_shaped)
            hideBalloon();
        else
            m_balloonFade.start();
    });
    m_balloonFade.setStartValue(1.0);
    m_balloonFade.setEndValue(0.0);
    m_balloonFade.setDuration(balloonFadeMs);
    connect(&m_balloonFade, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_balloonOpacity = v.toReal();
        QPalette pal = m_label->palette();
        QColor ink = balloonInk;
        ink.setAlphaF(float(m_balloonOpacity));
        pal.setColor(QPalette::WindowText, ink);
        m_label->setPalette(pal);
        update();
    });
    connect(&m_balloonFade, &QVariantAnimation::finished, this, &WizardWindow::hideBalloon);

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
    QFont font = m_label->font();
    font.setPixelSize(qBound(16, pixels / 9, 30));
    font.setBold(true);
    m_label->setFont(font);
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

void WizardWindow::setBalloonText(const QString &text)
{
    if (text.isEmpty()) {
        if (!m_balloonFull.isEmpty() && !m_balloonLinger.isActive()
            && m_balloonFade.state() == QAbstractAnimation::Stopped)
            m_balloonLinger.start(balloonLingerMs);
        return;
    }
    m_balloonLinger.stop();
    m_balloonFade.stop();
    const bool wasShown = m_label->isVisibleTo(this);
    m_balloonOpacity = 1;
    QPalette pal = m_label->palette();
    pal.setColor(QPalette::WindowText, balloonInk);
    m_label->setPalette(pal);
    if (text == m_balloonFull && wasShown)
        return;
    m_balloonFull = text;
    m_label->show();
    if (!wasShown)
        relayout();
    m_label->setText(fittedBalloonText(text));
    setAccessibleDescription(m_label->text());
    if (m_shaped)
        updateMask();
    update();
    emit balloonTextChanged(text);
}

QString WizardWindow::balloonText() const
{
    return m_balloonFull;
}

bool WizardWindow::balloonLingering() const
{
    return m_label->isVisibleTo(this) && m_balloonFade.state() == QAbstractAnimation::Stopped;
}

void WizardWindow::hideBalloon()
{
    m_balloonLinger.stop();
    m_balloonOpacity = 0;
    m_balloonFull.clear();
    m_label->clear();
    m_label->hide();
    setAccessibleDescription(QString());
    relayout();
    if (m_shaped)
        updateMask();
    update();
    emit balloonTextChanged(QString());
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
    if (!m_balloonFull.isEmpty())
        setBalloonText(QString());
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
        || m_glide.state() == QAbstractAnimation::Running
        || m_balloonFade.state() == QAbstractAnimation::Running || m_speaking;
}

QRect WizardWindow::balloonRect() const
{
    const QSize wiz = wizardSize();
    const int width = qBound(220, int(wiz.height() * 1.45), 440);
    // Level with his beard rather than his hat: placed where the program puts him, the verdict
    // line of the main window sits just above this, and the answer box just below.
    const int top = int(wiz.height() * 0.22);
    // Close beside him, over the room his frame keeps for the wand's sweep.
    const int left = m_art.isValid() ? qRound(m_art.toPixels(QPointF(172, 0)).x()) : wiz.width();
    return QRect(left, top, width, int(wiz.height() * 0.62));
}

QPainterPath WizardWindow::balloonPath() const
{
    const QRectF r = QRectF(balloonRect()).adjusted(1.5, 1.5, -1.5, -1.5);
    const QSize wiz = wizardSize();
    QPainterPath bubble;
    bubble.addRoundedRect(r, 18, 18);
    // The tail points at his mouth, just right of the beard.
    QPainterPath tail;
    const QPointF tip = m_art.isValid() ? m_art.toPixels(QPointF(136, 132))
                                        : QPointF(wiz.width() * 0.6, wiz.height() * 0.52);
    tail.moveTo(r.left() + 4, r.top() + r.height() * 0.52);
    tail.lineTo(tip);
    tail.lineTo(r.left() + 4, r.top() + r.height() * 0.74);
    tail.closeSubpath();
    return bubble.united(tail);
}

QString WizardWindow::fittedBalloonText(const QString &text) const
{
    // Long speeches keep their latest words in view.
    const QRect area = m_label->contentsRect();
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    const QFontMetrics fm(m_label->font());
    const auto fits = [&](const QString &shown) {
        return fm.boundingRect(area, Qt::TextWordWrap, shown).height() <= area.height();
    };
    const auto from
        = [&](qsizetype first) { return QStringLiteral("… ") + words.sliced(first).join(u' '); };
    if (area.isEmpty() || words.size() < 2 || fits(text))
        return text;
    // The fewest words dropped that fit, found in a handful of layouts: one per word dropped
    // would cost a layout of the whole text per word.
    qsizetype low = 1;
    qsizetype high = words.size() - 1; // the last word alone is shown even if it overflows
    while (low < high) {
        const qsizetype mid = (low + high) / 2;
        if (fits(from(mid)))
            high = mid;
        else
            low = mid + 1;
    }
    return from(low);
}

void WizardWindow::relayout()
{
    const QSize wiz = wizardSize();
    if (m_label->isVisibleTo(this)) {
        const QRect r = balloonRect();
        m_label->setGeometry(r.adjusted(16, 8, -14, -8));
        resize(r.right() + 3, wiz.height());
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
    if (m_balloonOpacity > 0 && m_label->isVisibleTo(this))
        region += QRegion(balloonPath().toFillPolygon().toPolygon());
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
    if (m_balloonOpacity > 0 && m_label->isVisibleTo(this)) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(m_balloonOpacity);
        p.setPen(QPen(balloonEdge, 3));
        p.setBrush(balloonPaper);
        p.drawPath(balloonPath());
    }
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
