#pragma once

#include "drill/answer.h"
#include "memory/factsummary.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace calvenza {

// Reading the history of a data directory, on the calling thread, each through its own short
// connection. With no history yet they give nothing and no error; error, when given, receives
// the Italian reason the history could not be read.

// The pupils who ever answered, as first typed, in alphabetical order.
[[nodiscard]] QStringList knownPupils(const QString &dataDirectory, QString *error = nullptr);

// Every answer of one pupil (any case of his name), oldest first.
[[nodiscard]] QList<AnswerRecord> answersOf(
    const QString &dataDirectory, const QString &pupil, QString *error = nullptr);

// One pupil's facts, as the picture colours them.
[[nodiscard]] FactTable factsOf(
    const QString &dataDirectory, const QString &pupil, QString *error = nullptr);

// One pupil's challenges, oldest first.
[[nodiscard]] QList<ChallengeRecord> challengesOf(
    const QString &dataDirectory, const QString &pupil, QString *error = nullptr);

// One field of a CSV line (RFC 4180): quoted when it holds a comma, a quote or a line break,
// quotes doubled; a field a spreadsheet would run as a formula (=, +, -, @, tab, carriage
// return first) begins with an apostrophe so that it shows as text.
[[nodiscard]] QByteArray csvField(const QString &text);
[[nodiscard]] QByteArray csvField(QByteArrayView utf8);
void appendCsvField(QByteArray &out, QByteArrayView utf8);

// Every answer of every pupil as CSV (UTF-8, header row in Italian) into csvPath, replaced
// whole or not at all. False with the Italian reason in error.
[[nodiscard]] bool exportAnswers(
    const QString &dataDirectory, const QString &csvPath, QString *error = nullptr);

} // namespace calvenza
