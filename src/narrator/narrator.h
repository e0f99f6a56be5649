#pragma once

#include <QList>
#include <QString>

namespace calvenza {

// What the program asks of the speaking character. Every call returns at once: the service
// queues the request and carries it out later, in order, while the program goes on.
class Character
{
public:
    virtual ~Character() = default;
    virtual void Show() = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void Play(const QString &animation) = 0;
    virtual void Height(int pixels) = 0;
    virtual void Speak(const QString &text) = 0;
};

// The collection of characters of the narrator control.
class Characters
{
public:
    virtual ~Characters() = default;
    // Returns false when the character cannot be loaded; errorString() then says why.
    [[nodiscard]] virtual bool Load(const QString &id, const QString &loadKey) = 0;
    // The loaded character, or nullptr when no character of that id is loaded.
    [[nodiscard]] virtual Character *Item(const QString &id) = 0;
    [[nodiscard]] virtual QString errorString() const = 0;
    // Drops whatever is still queued and silences the voice at once (program end).
    virtual void stopAll() = 0;
};

// One request as the program issues it; used to build reaction sequences as plain data.
struct NarratorRequest
{
    enum class Kind { Show, MoveTo, Play, Height, Speak };
    Kind kind = Kind::Show;
    QString text; // animation name or spoken text
    int x = 0;
    int y = 0; // also the height for Kind::Height

    static NarratorRequest show() { return {Kind::Show, {}, 0, 0}; }
    static NarratorRequest moveTo(int x, int y) { return {Kind::MoveTo, {}, x, y}; }
    static NarratorRequest play(const QString &name) { return {Kind::Play, name, 0, 0}; }
    static NarratorRequest height(int px) { return {Kind::Height, {}, 0, px}; }
    static NarratorRequest speak(const QString &text) { return {Kind::Speak, text, 0, 0}; }

    // A readable form for logs and tests: "Show", "MoveTo 250,175", "Play Greet", "Height 205",
    // "Speak otto".
    [[nodiscard]] QString toString() const;
    bool operator==(const NarratorRequest &) const = default;
};

using NarratorScript = QList<NarratorRequest>;

// Issues a sequence of requests on a character, in order.
void issue(Character &character, const NarratorScript &script);

// Where the character stands and how tall it is, wherever the program places it.
inline constexpr int narratorX = 250;
inline constexpr int narratorY = 175;
inline constexpr int narratorHeight = 205;
inline constexpr auto narratorId = u"Merlin";
inline constexpr auto narratorLoadKey = u"C:\\WINDOWS\\msagent\\chars\\Merlin.acs";

} // namespace calvenza
