#pragma once

#include <QString>

namespace calvenza {

// The tables the program drills; without a choice it is the eight.
inline constexpr int defaultTable = 8;
inline constexpr int firstTable = 1;
inline constexpr int lastTable = 10;

[[nodiscard]] constexpr bool isTable(int n)
{
    return n >= firstTable && n <= lastTable;
}

// The table's number with its article, as in "la tabellina dell'otto", "la tabellina del sette".
[[nodiscard]] QString tableWithArticle(int table);

// What the wizard says before the first exercise.
[[nodiscard]] QString introduction(int table);

} // namespace calvenza
