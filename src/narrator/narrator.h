#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace calvenza {

// One thing the speaking character does; a script is a list of them, carried out in order.
struct NarratorRequest
{
    enum class Kind { Show, MoveTo, Play, Height, Speak };
    Kind kind = Kind::Show;
    QString text; // animation name or spoken text
    int x = 0;
    int y = 0; // also the height for Kind::Height
    // Speech that may be cut short once the pupil moves on (the introduction); other speech
    // always finishes its words.
    bool interruptible = false;

    static NarratorRequest show() { return {Kind::Show, {}, 0, 0}; }
    static NarratorRequest moveTo(int x, int y) { return {Kind::MoveTo, {}, x, y}; }
    static NarratorRequest play(const QString &name) { return {Kind::Play, name, 0, 0}; }
    static NarratorRequest height(int px) { return {Kind::Height, {}, 0, px}; }
    static NarratorRequest speak(const QString &text) { return {Kind::Speak, text, 0, 0}; }
    static NarratorRequest speakInterruptibly(const QString &text)
    {
        return {Kind::Speak, text, 0, 0, true};
    }

    // A readable form for logs and tests: "Show", "MoveTo 250,175", "Play Greet", "Height 205",
    // "Speak otto".
    [[nodiscard]] QString toString() const;
    bool operator==(const NarratorRequest &) const = default;
};

using NarratorScript = QList<NarratorRequest>;

// What the program asks of the speaking character. perform() returns at once: the character
// queues the script and carries it out later, in order, while the program goes on.
class Narrator : public QObject
{
    Q_OBJECT
public:
    // What becomes of requests queued earlier that have not begun when a new script comes.
    enum class Pending {
        Keep,
        // The pupil has moved on: they are dropped, and interruptible speech under way stops.
        Drop,
    };

    using QObject::QObject;

    // Brings the character in. He always comes: without a voice or a sound server he is seen
    // and his words shown.
    virtual void summon() = 0;
    // Queues the script and returns its id; scriptDone(id) follows when the last request has
    // been carried out or dropped.
    virtual quint64 perform(const NarratorScript &script, Pending pending = Pending::Keep) = 0;
    // Drops whatever is still queued and silences the voice at once (program end).
    virtual void stopAll() = 0;

signals:
    void scriptDone(quint64 id);
};

// Where the character stands and how tall it is, wherever the program places it.
inline constexpr int narratorX = 250;
inline constexpr int narratorY = 175;
inline constexpr int narratorHeight = 205;

} // namespace calvenza
