#include "wizard/wizardpose.h"

#include <QtMath>
#include <array>
#include <cmath>

namespace calvenza {

namespace {

qreal clamp01(qreal v)
{
    return qBound(0.0, v, 1.0);
}

// 0 before a, 1 after b, eased in between.
qreal ramp(qreal t, qreal a, qreal b)
{
    const qreal x = clamp01((t - a) / (b - a));
    return x * x * (3 - 2 * x);
}

// Up over [a, b], held, down over [c, d].
qreal hold(qreal t, qreal a, qreal b, qreal c, qreal d)
{
    return ramp(t, a, b) * (1 - ramp(t, c, d));
}

// Where the wand's tip is when the right arm is raised by angle degrees (artwork units).
QPointF wandTip(qreal angle)
{
    const QPointF shoulder(138, 160);
    const QPointF tip(186, 241);
    const qreal a = qDegreesToRadians(-angle);
    const QPointF v = tip - shoulder;
    return shoulder + QPointF(v.x() * qCos(a) - v.y() * qSin(a), v.x() * qSin(a) + v.y() * qCos(a));
}

WizardPose appear(qreal t)
{
    WizardPose p;
    p.smoke = 0.3 + 0.9 * ramp(t, 0, 0.45);
    p.smokeOpacity = ramp(t, 0, 0.12) * (1 - ramp(t, 0.5, 1));
    p.opacity = ramp(t, 0.3, 0.55);
    for (int i = 0; i < 4; ++i) {
        const qreal a = qDegreesToRadians(45.0 + 90 * i);
        const qreal r = 40 + 70 * ramp(t, 0.2, 0.9);
        p.sparkles << Sparkle {1 + i % 4, QPointF(100 + r * qCos(a), 140 + r * qSin(a)),
            0.6 + 0.4 * t, 180 * t, hold(t, 0.2, 0.35, 0.7, 1)};
    }
    return p;
}

WizardPose announce(qreal t)
{
    WizardPose p;
    p.horn = ramp(t, 0.05, 0.25) * (1 - ramp(t, 0.85, 1));
    p.leftArm = 100 * p.horn;
    const qreal blowing = hold(t, 0.25, 0.3, 0.8, 0.85);
    // Three toots.
    p.hornBlow = blowing * (0.5 + 0.5 * qSin((t - 0.25) / 0.55 * 3 * 2 * M_PI - M_PI / 2));
    p.eyesClosed = blowing > 0.5;
    p.mouth = 0;
    for (int i = 0; i < 3; ++i) {
        const qreal start = 0.28 + i * 0.17;
        const qreal k = clamp01((t - start) / 0.35);
        if (k <= 0 || k >= 1)
            continue;
        p.sparkles << Sparkle {2 + i % 3, QPointF(30 - 25 * k, 100 - 60 * k + 8 * qSin(k * 9)),
            0.5 + 0.4 * k, 30 * k, 1 - k};
    }
    return p;
}

WizardPose greet(qreal t)
{
    WizardPose p;
    p.bow = hold(t, 0, 0.2, 0.3, 0.45);
    p.headTilt = 4 * p.bow;
    p.eyesClosed = p.bow > 0.6;
    const qreal up = hold(t, 0.45, 0.55, 0.88, 1);
    p.leftArm = up * (135 + 22 * qSin((t - 0.55) / 0.33 * 3 * 2 * M_PI));
    p.mouth = up > 0.5 ? 1 : 0;
    return p;
}

WizardPose congratulate(qreal t)
{
    WizardPose p;
    const qreal up = hold(t, 0, 0.15, 0.85, 1);
    p.leftArm = 155 * up;
    p.rightArm = 155 * up;
    p.lift = 8 * qSin(M_PI * ramp(t, 0.12, 0.42));
    p.mouth = up > 0.5 ? 3 : 0;
    const qreal burst = clamp01((t - 0.18) / 0.7);
    if (burst > 0 && burst < 1) {
        for (int i = 0; i < 8; ++i) {
            const qreal a = qDegreesToRadians(-90.0 + (i - 3.5) * 24);
            const qreal r = 20 + 55 * burst;
            p.sparkles << Sparkle {1 + i % 4, QPointF(100 + r * qCos(a), 60 + r * qSin(a)),
                0.5 + 0.6 * burst, 90 * burst * (i % 2 ? 1 : -1), 1 - burst * burst};
        }
    }
    return p;
}

WizardPose doMagic1(qreal t)
{
    WizardPose p;
    const qreal up = hold(t, 0, 0.25, 0.85, 1);
    p.rightArm = 125 * up;
    p.wandGlow = hold(t, 0.25, 0.4, 0.75, 0.88) * (0.75 + 0.25 * qSin(t * 40));
    p.mouth = up > 0.5 ? 1 : 0;
    if (p.wandGlow > 0.3) {
        const QPointF tip = wandTip(p.rightArm);
        for (int i = 0; i < 3; ++i) {
            const qreal a = qDegreesToRadians(120.0 * i + 400 * t);
            p.sparkles << Sparkle {
                1 + i, tip + QPointF(18 * qCos(a), 18 * qSin(a)), 0.45, 200 * t, p.wandGlow};
        }
    }
    return p;
}

WizardPose doMagic2(qreal t)
{
    WizardPose p;
    const qreal in = ramp(t, 0, 0.15);
    const qreal out = ramp(t, 0.85, 1);
    // Sweeps the wand across from one side over his head to the other and back.
    const qreal sweep = 0.5 - 0.5 * qCos(ramp(t, 0.15, 0.7) * 2 * M_PI);
    p.rightArm = (80 + 85 * sweep) * in * (1 - out);
    p.wandGlow = hold(t, 0.12, 0.2, 0.8, 0.9);
    p.mouth = p.wandGlow > 0.5 ? 2 : 0;
    static constexpr std::array<qreal, 10> xs {12, 150, 58, 190, 96, 30, 130, 172, 76, 112};
    for (int i = 0; i < int(xs.size()); ++i) {
        // Each star falls for a third of the time; the last lands before the end.
        const qreal start = 0.2 + i * 0.04;
        const qreal k = clamp01((t - start) / 0.35);
        if (k <= 0 || k >= 1)
            continue;
        p.sparkles << Sparkle {1 + i % 4, QPointF(xs[i], -5 + 250 * k * k + 10 * k),
            0.35 + 0.2 * (i % 3), 360 * k, 1 - ramp(k, 0.7, 1)};
    }
    return p;
}

WizardPose breathe(qreal t)
{
    WizardPose p;
    // A few steps are all a breath shows at this size; frames between them are not redrawn.
    p.breath = std::round(qSin(M_PI * t) * 6) / 6;
    p.eyesClosed = t > 0.55 && t < 0.63;
    return p;
}

} // namespace

std::optional<WizardAnimation> animationByName(const QString &name)
{
    static const std::array<std::pair<const char16_t *, WizardAnimation>, 5> names {{
        {u"announce", WizardAnimation::Announce},
        {u"greet", WizardAnimation::Greet},
        {u"congratulate", WizardAnimation::Congratulate},
        {u"domagic1", WizardAnimation::DoMagic1},
        {u"domagic2", WizardAnimation::DoMagic2},
    }};
    const QString key = name.trimmed();
    for (const auto &[n, a] : names) {
        if (key.compare(QStringView(n), Qt::CaseInsensitive) == 0)
            return a;
    }
    return std::nullopt;
}

int animationDurationMs(WizardAnimation animation)
{
    switch (animation) {
    case WizardAnimation::Appear:
        return 900;
    case WizardAnimation::Announce:
        return 2200;
    case WizardAnimation::Greet:
    case WizardAnimation::Congratulate:
        return 1800;
    case WizardAnimation::DoMagic1:
        return 1600;
    case WizardAnimation::DoMagic2:
        return 2200;
    case WizardAnimation::Breathe:
        return 1400;
    }
    return 0;
}

WizardPose poseAt(WizardAnimation animation, qreal t)
{
    t = clamp01(t);
    switch (animation) {
    case WizardAnimation::Appear:
        return appear(t);
    case WizardAnimation::Announce:
        return announce(t);
    case WizardAnimation::Greet:
        return greet(t);
    case WizardAnimation::Congratulate:
        return congratulate(t);
    case WizardAnimation::DoMagic1:
        return doMagic1(t);
    case WizardAnimation::DoMagic2:
        return doMagic2(t);
    case WizardAnimation::Breathe:
        return breathe(t);
    }
    return {};
}

int mouthForLevel(float level)
{
    // Thresholds from espeak's Italian voice: quiet consonants barely open the mouth.
    if (level < 0.02f)
        return 0;
    if (level < 0.07f)
        return 1;
    if (level < 0.15f)
        return 2;
    return 3;
}

} // namespace calvenza
