#pragma once

#include "narrator/narrator.h"

#include <QString>
#include <QtGlobal>

namespace calvenza {

// Right only when the typed text is exactly the product's digits: no trimming, no conversion.
[[nodiscard]] inline bool isRightAnswer(const QString &typed, const QString &expected)
{
    return typed == expected;
}

inline const QString verdictRight = QStringLiteral("Esatto. Sei forte!!!");
[[nodiscard]] inline QString verdictWrong(const QString &expected)
{
    return QStringLiteral("Sbagliato!! ") + expected;
}

// Right and wrong answers since start-up. They stop at the 16-bit limit rather than wrap.
struct Counters
{
    static constexpr qint16 limit = 32767;
    qint16 right = 0;
    qint16 wrong = 0;

    void addRight()
    {
        if (right < limit)
            ++right;
    }
    void addWrong()
    {
        if (wrong < limit)
            ++wrong;
    }
    [[nodiscard]] qint16 total() const
    {
        return static_cast<qint16>(qMin<int>(int(right) + int(wrong), limit));
    }
};

// What the narrator does after a right answer, given the score before it, the pupil's name
// and the product as text; and after a wrong one.
[[nodiscard]] NarratorScript reactionToRight(
    int score, const QString &name, const QString &product);
[[nodiscard]] NarratorScript reactionToWrong(const QString &product);

} // namespace calvenza
