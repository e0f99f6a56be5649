#pragma once

#include "drill/answer.h"
#include "memory/factsummary.h"
#include "platform/problem.h"

#include <QList>
#include <QString>
#include <optional>

namespace calvenza {

// One pupil's history as his school knows it: at school, every machine's answers on the server
// with those this machine has not sent yet; at home, or when the server cannot be read, this
// machine's own. The pupil is named as knownPupils() names him ("Marco · 3A"). On the calling
// thread: a server that does not answer costs a few seconds at most, then a quiet note on the
// console.

// Every answer of the pupil, oldest first.
[[nodiscard]] QList<AnswerRecord> pupilAnswers(
    const QString &dataDirectory, const QString &pupil, Problem *problem = nullptr);

// His facts, as the picture colours them.
[[nodiscard]] FactTable pupilFacts(
    const QString &dataDirectory, const QString &pupil, Problem *problem = nullptr);

// The school's part alone: nullopt when the service is not configured or the server could not
// be read.
[[nodiscard]] std::optional<QList<AnswerRecord>> schoolAnswersOf(
    const QString &dataDirectory, const QString &pupil, Problem *problem = nullptr);

} // namespace calvenza
