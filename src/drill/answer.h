#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>

namespace calvenza {

// One fact of the tables, table times factor, both 1..10; 8 × 7 and 7 × 8 are two facts.
struct Fact
{
    int table = 8;
    int factor = 1;
    friend bool operator==(const Fact &, const Fact &) = default;
};

inline constexpr int factCount = 100;

[[nodiscard]] constexpr bool isFact(Fact fact)
{
    return fact.table >= 1 && fact.table <= 10 && fact.factor >= 1 && fact.factor <= 10;
}

// Its place in an array of all the facts, table by table; only for a fact that isFact().
[[nodiscard]] constexpr int factIndex(Fact fact)
{
    return (fact.table - 1) * 10 + fact.factor - 1;
}

// A right answer this fast is fluent, for the picture and the ripasso alike; an unknown time is
// not. The national check gives six seconds.
inline constexpr qint64 quickAnswerMs = 6000;
[[nodiscard]] constexpr bool isQuick(qint64 msTaken)
{
    return msTaken >= 0 && msTaken <= quickAnswerMs;
}

// The pupil's calendar day of a moment. toLocalTime() asks the C library, which reads
// /etc/localtime again on every call; a zone read once is much cheaper over a whole history.
[[nodiscard]] inline QDate localDay(
    const QDateTime &moment, const QTimeZone &zone = QTimeZone::systemTimeZone())
{
    if (!zone.isValid())
        return moment.toLocalTime().date();
    const qint64 offsetMs = qint64(zone.offsetFromUtc(moment)) * 1000;
    return QDateTime::fromMSecsSinceEpoch(moment.toMSecsSinceEpoch() + offsetMs, Qt::UTC).date();
}

// How an answer was asked for: in the timed challenge or in the ripasso that teaches.
enum class DrillMode { Challenge, Ripasso };

// One judged answer, as the history keeps it.
struct AnswerRecord
{
    QString pupil; // the name as typed, trimmed; "Amico" when none was typed
    int table = 8;
    int factor = 1;
    QString typed; // exactly as typed
    bool right = false;
    // From the exercise on screen to Enter; -1 when unknown.
    qint64 msTaken = -1;
    QDateTime answeredAt; // UTC
    DrillMode mode = DrillMode::Challenge;
    QString pupilClass = {}; // empty: no class (yet)
};

// One challenge, as it ended.
struct ChallengeRecord
{
    QString pupil;
    int table = 8;
    QDateTime endedAt; // UTC
    int right = 0;
    int wrong = 0;
    bool setRecord = false;
    QString pupilClass = {};
};

// The pupil as the history names him: the name as typed, trimmed; "Amico" when none was typed.
[[nodiscard]] inline QString pupilName(const QString &typedName)
{
    const QString trimmed = typedName.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("Amico") : trimmed;
}

// What tells pupils apart: "Ugo" and "ugo" are one pupil.
[[nodiscard]] inline QString pupilKey(const QString &typedName)
{
    return pupilName(typedName).toCaseFolded();
}

// A pupil is a name within a class: "Marco · 3A" names Marco of 3A, a name alone a pupil with
// no class. The form the name box offers and --progressi accepts.
inline const QString classSeparator = QStringLiteral(" \u00B7 ");

[[nodiscard]] inline QString pupilLabel(const QString &name, const QString &pupilClass)
{
    return pupilClass.isEmpty() ? name : name + classSeparator + pupilClass;
}

struct PupilOfClass
{
    QString name; // as typed, untrimmed
    QString pupilClass; // empty: no class
};

// Splits at the last separator, so a class is never part of the name.
[[nodiscard]] inline PupilOfClass splitPupilLabel(const QString &label)
{
    const qsizetype at = label.lastIndexOf(classSeparator);
    if (at < 0 || label.sliced(at + classSeparator.size()).trimmed().isEmpty())
        return {label, {}};
    return {label.first(at), label.sliced(at + classSeparator.size()).trimmed()};
}

// The pupils of one class among labels as above, in their order; a class in any case, none for
// the pupils without one.
[[nodiscard]] inline QStringList pupilsOfClass(const QStringList &labels, const QString &pupilClass)
{
    QStringList ofClass;
    for (const QString &label : labels) {
        if (splitPupilLabel(label).pupilClass.compare(pupilClass.trimmed(), Qt::CaseInsensitive)
            == 0)
            ofClass << label;
    }
    return ofClass;
}

} // namespace calvenza
