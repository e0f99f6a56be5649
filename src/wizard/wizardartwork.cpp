#include "wizard/wizardartwork.h"

#include <QPainter>
#include <QtMath>

namespace calvenza {

namespace {
// Stroke widths reach past an element's bounds; cached images keep this much around them.
constexpr qreal partMargin = 3;
const QPointF leftShoulder(62, 160);
const QPointF rightShoulder(138, 160);
const QPointF neck(100, 146);
const QPointF waist(100, 200);
} // namespace

WizardArtwork::WizardArtwork(const QString &file)
    : m_svg(file)
{
    if (!m_svg.isValid()) {
        m_error = QStringLiteral("Disegno del mago non leggibile: %1").arg(file);
        return;
    }
    m_artFrame = m_svg.viewBoxF();
    for (const QString &id : partIds()) {
        if (!m_svg.elementExists(id)) {
            m_error = QStringLiteral("Nel disegno del mago manca la parte «%1»").arg(id);
            return;
        }
    }
    m_valid = true;
}

QStringList WizardArtwork::partIds()
{
    QStringList ids {QStringLiteral("body"), QStringLiteral("head"), QStringLiteral("beard"),
        QStringLiteral("hat"), QStringLiteral("eyes_open"), QStringLiteral("eyes_closed"),
        QStringLiteral("arm_left"), QStringLiteral("arm_right"), QStringLiteral("wand"),
        QStringLiteral("wand_tip"), QStringLiteral("horn"), QStringLiteral("smoke")};
    for (int i = 0; i < mouthShapes; ++i)
        ids << QStringLiteral("mouth_%1").arg(i);
    for (int i = 1; i <= 4; ++i)
        ids << QStringLiteral("sparkle_%1").arg(i);
    return ids;
}

void WizardArtwork::setHeight(int pixels, qreal devicePixelRatio)
{
    pixels = qBound(16, pixels, 2000);
    if (!m_valid || (pixels == m_height && qFuzzyCompare(devicePixelRatio, m_dpr)))
        return;
    m_height = pixels;
    m_dpr = devicePixelRatio;
    m_parts.clear();
    const qreal scale = pixels * m_dpr / m_artFrame.height();
    for (const QString &id : partIds()) {
        const QRectF tight = m_svg.transformForElement(id).mapRect(m_svg.boundsOnElement(id));
        Part part;
        part.bounds = tight.adjusted(-partMargin, -partMargin, partMargin, partMargin);
        const QSize size = (part.bounds.size() * scale).toSize() + QSize(1, 1);
        part.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        part.image.fill(Qt::transparent);
        QPainter p(&part.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        m_svg.render(&p, id, tight.translated(-part.bounds.topLeft()));
        p.end();
        m_parts.insert(id, part);
    }
}

QSize WizardArtwork::pixelSize() const
{
    if (!m_valid || m_height == 0)
        return {};
    return QSize(qRound(m_height * m_artFrame.width() / m_artFrame.height()), m_height);
}

QPointF WizardArtwork::toPixels(const QPointF &art) const
{
    if (m_artFrame.isEmpty())
        return {};
    return (art - m_artFrame.topLeft()) * (m_height / m_artFrame.height());
}

void WizardArtwork::drawPart(QPainter &p, const QString &id, qreal opacity) const
{
    const auto it = m_parts.constFind(id);
    if (it == m_parts.constEnd() || opacity <= 0)
        return;
    const qreal old = p.opacity();
    p.setOpacity(old * opacity);
    p.drawImage(it->bounds, it->image);
    p.setOpacity(old);
}

void WizardArtwork::drawPartAt(
    QPainter &p, const QString &id, QPointF centre, qreal scale, qreal angle, qreal opacity) const
{
    const auto it = m_parts.constFind(id);
    if (it == m_parts.constEnd() || opacity <= 0 || scale <= 0)
        return;
    p.save();
    p.translate(centre);
    p.rotate(angle);
    p.scale(scale, scale);
    p.setOpacity(p.opacity() * opacity);
    const QRectF r = it->bounds;
    p.drawImage(r.translated(-r.center()), it->image);
    p.restore();
}

void WizardArtwork::paint(QPainter &p, const WizardPose &pose) const
{
    if (!m_valid || m_height == 0)
        return;
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(m_height / m_artFrame.height(), m_height / m_artFrame.height());
    p.translate(-m_artFrame.topLeft());

    p.save();
    p.setOpacity(qBound(0.0, pose.opacity, 1.0));
    p.translate(0, -pose.lift);

    // Breathing lifts the robe's shoulders a little, anchored at the hem.
    const qreal chest = 1 + 0.02 * pose.breath;
    p.save();
    p.translate(waist.x(), 258);
    p.scale(1 + 0.01 * pose.breath, chest);
    p.translate(-waist.x(), -258);
    drawPart(p, QStringLiteral("body"));
    p.restore();
    const qreal rise = (chest - 1) * (258 - leftShoulder.y());

    auto arm = [&](const QPointF &shoulder, qreal angle, const QStringList &ids) {
        p.save();
        p.translate(shoulder + QPointF(0, -rise));
        p.rotate(angle);
        p.translate(-shoulder);
        for (const QString &id : ids)
            drawPart(p, id);
        p.restore();
    };

    // Head, beard, face and hat move together: a bow dips them forward and down.
    p.save();
    p.translate(neck + QPointF(0, -rise + 14 * pose.bow));
    p.rotate(pose.headTilt);
    p.scale(1, 1 - 0.1 * pose.bow);
    p.translate(-neck);
    drawPart(p, QStringLiteral("head"));
    drawPart(p, QStringLiteral("beard"));
    drawPart(p, pose.eyesClosed ? QStringLiteral("eyes_closed") : QStringLiteral("eyes_open"));
    drawPart(p, QStringLiteral("mouth_%1").arg(qBound(0, pose.mouth, mouthShapes - 1)));
    p.save();
    p.translate(100, 88);
    p.rotate(-6 * pose.bow);
    p.translate(-100, -88);
    drawPart(p, QStringLiteral("hat"));
    p.restore();
    if (pose.horn > 0) {
        // The horn comes up to his lips from below; its bell swells as he blows.
        p.save();
        p.translate(0, 40 * (1 - pose.horn));
        const qreal swell = 1 + 0.18 * pose.hornBlow;
        p.translate(98, 137);
        p.scale(swell, swell);
        p.translate(-98, -137);
        drawPart(p, QStringLiteral("horn"), qMin(1.0, pose.horn * 2));
        p.restore();
    }
    p.restore();

    arm(leftShoulder, pose.leftArm, {QStringLiteral("arm_left")});
    p.save();
    p.translate(rightShoulder + QPointF(0, -rise));
    p.rotate(-pose.rightArm);
    p.translate(-rightShoulder);
    drawPart(p, QStringLiteral("wand"));
    drawPart(p, QStringLiteral("arm_right"));
    if (pose.wandGlow > 0) {
        const QRectF tip = m_parts.value(QStringLiteral("wand_tip")).bounds;
        drawPartAt(p, QStringLiteral("wand_tip"), tip.center(), 0.6 + 0.6 * pose.wandGlow, 0,
            pose.wandGlow);
    }
    p.restore();
    p.restore(); // opacity, lift

    for (const Sparkle &s : pose.sparkles)
        drawPartAt(p, QStringLiteral("sparkle_%1").arg(qBound(1, s.kind, 4)), s.pos, s.scale,
            s.angle, s.opacity);
    if (pose.smokeOpacity > 0)
        drawPartAt(p, QStringLiteral("smoke"), QPointF(100, 150), pose.smoke, 0, pose.smokeOpacity);
    p.restore();
}

QImage WizardArtwork::render(const WizardPose &pose) const
{
    const QSize size = pixelSize() * m_dpr;
    QImage image(size.isEmpty() ? QSize(1, 1) : size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(m_dpr);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paint(p, pose);
    return image;
}

} // namespace calvenza
