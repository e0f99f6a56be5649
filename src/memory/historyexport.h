#pragma once

#include "platform/problem.h"

#include <QByteArray>
#include <QString>

namespace calvenza {

// The teacher's export is opened by a double click in a spreadsheet on an Italian system, where
// LibreOffice and Excel take ',' for the decimal separator and split fields at ';'.
inline constexpr char csvSeparator = ';';

// One field of a CSV line, quoted as RFC 4180 says when it holds a separator (';' or ','), a
// quote or a line break, quotes doubled. A field a spreadsheet would run as a formula (its first
// character after spaces and tabs =, +, - or @; or a tab or carriage return first) begins with
// an apostrophe, so that it shows as text.
[[nodiscard]] QByteArray csvField(const QString &text);
void appendCsvField(QByteArray &out, QByteArrayView utf8);

// Every answer of every pupil, in the order given, as CSV (UTF-8 with a byte-order mark, header
// row in Italian, local time) into csvPath, private to the user (0600), replaced whole or not at
// all. The history is only read. False with the problem when the history cannot be read or the
// file cannot be written.
[[nodiscard]] bool exportAnswers(
    const QString &dataDirectory, const QString &csvPath, Problem *problem = nullptr);

} // namespace calvenza
