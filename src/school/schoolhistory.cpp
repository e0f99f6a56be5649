#include "school/schoolhistory.h"

#include "memory/historydatabase.h"
#include "memory/historyreader.h"
#include "school/outbox.h"
#include "school/schoolserver.h"
#include "school/serviceconfig.h"

#include <algorithm>

namespace calvenza {

namespace {

// The pupil's lesson waits for this at most, on the GUI thread.
constexpr int readingPatienceSeconds = 3;

// No machine has it: a history with no outbox has sent nothing.
const QString noMachine = QStringLiteral("00000000-0000-0000-0000-000000000000");

void noteFallback(const LinkStatus &status)
{
    qInfo("calvenza: la storia dell'alunno viene solo da questo computer. %s",
        qUtf8Printable(describe(status)));
}

} // namespace

std::optional<QList<AnswerRecord>> schoolAnswersOf(
    const QString &dataDirectory, const QString &pupil, Problem *problem)
{
    if (!schoolServiceDefined())
        return std::nullopt;
    SchoolServer server;
    if (const LinkStatus status = server.open(readingPatienceSeconds, readingPatienceSeconds);
        !status.linked()) {
        noteFallback(status);
        return std::nullopt;
    }
    // The confirmed place first, then the answers after it, then the server: whatever the
    // sender does meanwhile, each answer is counted once.
    std::optional<OutboxState> outbox;
    {
        HistoryDatabase history(dataDirectory, HistoryDatabase::Access::ReadOnly);
        if (history.isOpen())
            outbox = outboxState(history);
    }
    QList<AnswerRecord> answers = outbox
        ? answersOf(dataDirectory, pupil, outbox->sentUpto, problem)
        : answersOf(dataDirectory, pupil, problem);
    LinkStatus failure;
    const PupilOfClass named = splitPupilLabel(pupil);
    const std::optional<QList<AnswerRecord>> there
        = server.answersOfPupil(pupilKey(named.name), named.pupilClass,
            outbox ? outbox->machineId : noMachine, outbox ? outbox->sentUpto : 0, &failure);
    if (!there) {
        noteFallback(failure);
        return std::nullopt;
    }
    const QString name = answers.isEmpty() ? pupilName(named.name) : answers.first().pupil;
    const qsizetype own = answers.size();
    for (AnswerRecord a : *there) {
        a.pupil = name;
        a.pupilClass = named.pupilClass;
        answers << a;
    }
    std::inplace_merge(answers.begin(), answers.begin() + own, answers.end(),
        [](const AnswerRecord &a, const AnswerRecord &b) { return a.answeredAt < b.answeredAt; });
    return answers;
}

QList<AnswerRecord> pupilAnswers(
    const QString &dataDirectory, const QString &pupil, Problem *problem)
{
    if (std::optional<QList<AnswerRecord>> school = schoolAnswersOf(dataDirectory, pupil, problem))
        return *school;
    return answersOf(dataDirectory, pupil, problem);
}

FactTable pupilFacts(const QString &dataDirectory, const QString &pupil, Problem *problem)
{
    if (std::optional<QList<AnswerRecord>> school = schoolAnswersOf(dataDirectory, pupil, problem))
        return FactTable::fromAnswers(*school);
    return factsOf(dataDirectory, pupil, problem);
}

} // namespace calvenza
