#pragma once

#include "drill/answer.h"
#include "memory/factsummary.h"
#include "platform/problem.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace calvenza {

// Reading the history of a data directory, on the calling thread, each through its own short
// read-only connection: a reader never changes the history. With no history yet they give
// nothing and no problem; problem, when given, receives why the history could not be read.

// The pupils who ever answered, as first typed, with their class ("Marco · 3A"), in
// alphabetical order. The other readers take a pupil in this form, or a name alone for a pupil
// with no class.
[[nodiscard]] QStringList knownPupils(const QString &dataDirectory, Problem *problem = nullptr);

// Every answer of one pupil (any case of his name), oldest first.
[[nodiscard]] QList<AnswerRecord> answersOf(
    const QString &dataDirectory, const QString &pupil, Problem *problem = nullptr);

// The same, only those after a place on this machine (local_seq): the answers the school's
// server has not confirmed yet.
[[nodiscard]] QList<AnswerRecord> answersOf(const QString &dataDirectory, const QString &pupil,
    qint64 afterLocalSeq, Problem *problem = nullptr);

// One pupil's facts, as the picture colours them.
[[nodiscard]] FactTable factsOf(
    const QString &dataDirectory, const QString &pupil, Problem *problem = nullptr);

// One pupil's challenges, oldest first.
[[nodiscard]] QList<ChallengeRecord> challengesOf(
    const QString &dataDirectory, const QString &pupil, Problem *problem = nullptr);

} // namespace calvenza
