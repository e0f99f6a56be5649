#include "wizard/balloon.h"

#include <QLabel>
#include <QPainter>

namespace calvenza {

namespace {
constexpr int balloonFadeMs = 500;
const QColor balloonInk(42, 32, 96);
const QColor balloonEdge(88, 72, 180);
const QColor balloonPaper(255, 253, 240);
} // namespace

Balloon::Balloon(const WizardClock &clock, bool fades, QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
    , m_linger(clock)
    , m_fades(fades)
{
    setObjectName(QStringLiteral("balloon"));
    setFocusPolicy(Qt::NoFocus);
    // Dragging him by his balloon moves him too.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop); // new lines grow downwards, as read
    m_label->setFocusPolicy(Qt::NoFocus);
    hide();

    m_linger.setSingleShot(true);
    connect(&m_linger, &ClockTimer::timeout, this, [this] {
        if (m_fades)
            m_fade.start();
        else
            clear();
    });
    m_fade.setStartValue(1.0);
    m_fade.setEndValue(0.0);
    m_fade.setDuration(balloonFadeMs);
    connect(&m_fade, &QVariantAnimation::valueChanged, this,
        [this](const QVariant &v) { setOpacity(v.toReal()); });
    connect(&m_fade, &QVariantAnimation::finished, this, &Balloon::clear);
}

void Balloon::place(const QRect &bubble, const QPointF &tailTip, int fontPixels)
{
    m_bubble = bubble;
    const QRectF r = QRectF(bubble).adjusted(1.5, 1.5, -1.5, -1.5);
    QPainterPath rounded;
    rounded.addRoundedRect(r, 18, 18);
    QPainterPath tail;
    tail.moveTo(r.left() + 4, r.top() + r.height() * 0.52);
    tail.lineTo(tailTip);
    tail.lineTo(r.left() + 4, r.top() + r.height() * 0.74);
    tail.closeSubpath();
    m_path = rounded.united(tail);
    // Room for the edge's pen around the path.
    const QRect area = m_path.boundingRect().toAlignedRect().adjusted(-2, -2, 2, 2);
    setGeometry(area);
    m_label->setGeometry(bubble.adjusted(16, 8, -14, -8).translated(-area.topLeft()));
    QFont font = m_label->font();
    font.setPixelSize(fontPixels);
    font.setBold(true);
    m_label->setFont(font);
    if (!m_text.isEmpty())
        m_label->setText(fitted(m_text));
}

void Balloon::setText(const QString &text)
{
    if (text.isEmpty()) {
        letGo();
        return;
    }
    m_linger.stop();
    m_fade.stop();
    const bool wasShown = !isHidden();
    setOpacity(1);
    if (text == m_text && wasShown)
        return;
    m_text = text;
    show();
    m_label->setText(fitted(text));
    setAccessibleDescription(m_label->text());
    emit textChanged(text);
}

QString Balloon::shownText() const
{
    return m_label->text();
}

void Balloon::letGo()
{
    if (!m_text.isEmpty() && !m_linger.isActive() && m_fade.state() == QAbstractAnimation::Stopped)
        m_linger.start(balloonLingerMs);
}

void Balloon::clear()
{
    m_linger.stop();
    m_fade.stop();
    m_opacity = 0;
    m_text.clear();
    m_label->clear();
    hide();
    setAccessibleDescription(QString());
    emit textChanged(QString());
}

QPainterPath Balloon::outline() const
{
    return isShown() && !isHidden() ? m_path : QPainterPath();
}

void Balloon::setOpacity(qreal opacity)
{
    m_opacity = opacity;
    QPalette pal = m_label->palette();
    QColor ink = balloonInk;
    ink.setAlphaF(float(opacity));
    pal.setColor(QPalette::WindowText, ink);
    m_label->setPalette(pal);
    update();
}

QString Balloon::fitted(const QString &text) const
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

void Balloon::paintEvent(QPaintEvent *)
{
    if (m_opacity <= 0)
        return;
    QPainter p(this);
    p.translate(-pos());
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(m_opacity);
    p.setPen(QPen(balloonEdge, 3));
    p.setBrush(balloonPaper);
    p.drawPath(m_path);
}

} // namespace calvenza
