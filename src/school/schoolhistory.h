#pragma once

#include "drill/answer.h"
#include "memory/factsummary.h"
#include "platform/problem.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <optional>

class QObject;

namespace calvenza {

// One pupil's history as his school knows it: at school, every machine's answers on the server
// with those this machine has not sent yet; at home, or when the server cannot be read, this
// machine's own. The pupil is named as knownPupils() names him ("Marco · 3A").

// The school's part alone, read on the calling thread: nullopt when the service is not
// configured or the server could not be read (a server that does not answer costs a few seconds
// at most, then a quiet note on the console). A window reads with the two below.
[[nodiscard]] std::optional<QList<AnswerRecord>> schoolAnswersOf(
    const QString &dataDirectory, const QString &pupil, Problem *problem = nullptr);

// schoolAnswersOf on a thread of its own; already finished (nullopt) when the service is not
// configured.
[[nodiscard]] QFuture<std::optional<QList<AnswerRecord>>> schoolAnswersLater(
    const QString &dataDirectory, const QString &pupil);

// For a lesson about to begin, never blocking the calling thread: the school's answers if they
// come within patienceMs, else this machine's, read on context's thread; finished at once when
// there is no school.
[[nodiscard]] QFuture<QList<AnswerRecord>> pupilAnswersWithin(
    const QString &dataDirectory, const QString &pupil, int patienceMs, QObject *context);

} // namespace calvenza
