#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <optional>

namespace calvenza {

// The wizard's timed sequences. Appear and Breathe are his own; the rest are asked by name.
enum class WizardAnimation { Appear, Announce, Greet, Congratulate, DoMagic1, DoMagic2, Breathe };

// The sequence Play(name) runs; names match case-insensitively. nullopt for names he does not
// know (they are skipped).
[[nodiscard]] std::optional<WizardAnimation> animationByName(const QString &name);
[[nodiscard]] int animationDurationMs(WizardAnimation animation);

// A star drawn over the wizard, in artwork units (he stands in 200 x 260).
struct Sparkle
{
    int kind = 1; // sparkle_<kind> in the artwork
    QPointF pos;
    qreal scale = 1;
    qreal angle = 0;
    qreal opacity = 1;
    bool operator==(const Sparkle &) const = default;
};

// Everything that moves, in artwork units and degrees. The rest pose is all defaults.
struct WizardPose
{
    qreal opacity = 1;
    qreal lift = 0; // whole wizard up (a hop)
    qreal breath = 0; // 0..1 chest and shoulders rising
    qreal bow = 0; // 0..1 head and hat dipping forward
    qreal headTilt = 0; // degrees
    qreal leftArm = 0; // raise, degrees outwards from hanging
    qreal rightArm = 0; // raise, degrees outwards from hanging (holds the wand)
    bool eyesClosed = false;
    int mouth = 0; // mouth_<n>, 0 closed .. 3 wide open
    qreal wandGlow = 0; // 0..1
    qreal horn = 0; // 0 hidden .. 1 at his lips
    qreal hornBlow = 0; // 0..1 swelling of the bell
    qreal smoke = 0; // 0 none .. 1 a full puff
    qreal smokeOpacity = 0;
    QList<Sparkle> sparkles;
    bool operator==(const WizardPose &) const = default;
};

inline constexpr int mouthShapes = 4;

// The pose t (0..1) of the way through an animation.
[[nodiscard]] WizardPose poseAt(WizardAnimation animation, qreal t);

// Mouth opening for a loudness (RMS, 0..1 of full scale) of the voice.
[[nodiscard]] int mouthForLevel(float level);

} // namespace calvenza
