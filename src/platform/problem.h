#pragma once

#include <QString>

namespace calvenza {

// Something that went wrong, told twice: one plain Italian sentence for the pupil that says what
// happens and what to do, and the system's own words (SQLite's, Qt's, errno, a path) for the
// grown-up who opens the box's details or reads the console.
struct Problem
{
    QString sentence;
    QString details;

    [[nodiscard]] bool isEmpty() const { return sentence.isEmpty(); }
    // Both, for the console and the logs.
    [[nodiscard]] QString fullText() const
    {
        return details.isEmpty() ? sentence : sentence + u' ' + details;
    }
};

} // namespace calvenza
