#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace calvenza {

class HistoryDatabase;

// The school's class lists as this machine last read them from the server, with the tables each
// class's ripasso covers this week. Empty on a computer with no school.
struct RosterPupil
{
    QString pupilClass;
    QString name;
    QString nameKey;
};

struct Roster
{
    QList<RosterPupil> pupils; // by class, then name
    QHash<QString, QList<int>> tables; // by class; a class without tables is not here
    [[nodiscard]] bool isEmpty() const { return pupils.isEmpty() && tables.isEmpty(); }
};

// The machine's copy; an empty one when there is none or it cannot be read.
[[nodiscard]] Roster readRoster(const QString &dataDirectory);

// Puts a fresh copy in place of the old, whole or not at all.
bool replaceRoster(HistoryDatabase &history, const Roster &roster);

// "6,7,8" and back, as the copy keeps a class's tables; anything but a table is left out.
[[nodiscard]] QList<int> tablesFromText(const QString &text);

// What the name box offers as the pupil types: "Marco · 3A" for every pupil of the school, those
// of the machine's own class first.
[[nodiscard]] QStringList offeredNames(const Roster &roster, const QString &ownClass);

// Who a run's pupil is, from what he typed in the name box, the copy of the class lists and the
// class the machine belongs to (--classe, or empty):
// - "Marco · 3A" (or "Marco 3A", when no pupil is called so) is Marco of 3A, if 3A has him;
// - a name alone is the pupil of that name in the machine's own class, or, on a machine of no
//   class, in the only class that has one; in several classes, the pupil must choose;
// - anything else is a pupil with no class, kept until the teacher places him: a machine never
//   puts a child in a class.
struct ResolvedPupil
{
    QString name; // as typed when he is in no class, else as the class list has it
    QString pupilClass; // empty: no class
    QStringList choices; // "Marco · 3A", "Marco · 3B": the name is in several classes
    [[nodiscard]] bool mustChoose() const { return !choices.isEmpty(); }
};
[[nodiscard]] ResolvedPupil resolvePupil(
    const QString &typed, const Roster &roster, const QString &ownClass);

} // namespace calvenza
