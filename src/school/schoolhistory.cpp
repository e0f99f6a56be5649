#include "school/schoolhistory.h"

#include "memory/historydatabase.h"
#include "memory/historyreader.h"
#include "school/outbox.h"
#include "school/schoolserver.h"
#include "school/serviceconfig.h"

#include <QPromise>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace calvenza {

namespace {

// A reading gives up a server that does not answer after this, on its own thread.
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

QFuture<std::optional<QList<AnswerRecord>>> schoolAnswersLater(
    const QString &dataDirectory, const QString &pupil)
{
    if (!schoolServiceDefined())
        return QtFuture::makeReadyFuture(std::optional<QList<AnswerRecord>>());
    // Shared: the pool's runnable must be copyable.
    auto promise = std::make_shared<QPromise<std::optional<QList<AnswerRecord>>>>();
    QFuture<std::optional<QList<AnswerRecord>>> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, dataDirectory, pupil] {
        promise->addResult(schoolAnswersOf(dataDirectory, pupil));
        promise->finish();
    });
    return future;
}

QFuture<QList<AnswerRecord>> pupilAnswersWithin(
    const QString &dataDirectory, const QString &pupil, int patienceMs, QObject *context)
{
    QFuture<std::optional<QList<AnswerRecord>>> school = schoolAnswersLater(dataDirectory, pupil);
    if (school.isFinished())
        return QtFuture::makeReadyFuture(answersOf(dataDirectory, pupil));
    auto promise = std::make_shared<QPromise<QList<AnswerRecord>>>();
    promise->start();
    // Whichever comes first, the school's answers or the end of the patience, settles it.
    const auto settle
        = [promise, dataDirectory, pupil](const std::optional<QList<AnswerRecord>> &there) {
              if (promise->future().isFinished())
                  return;
              promise->addResult(there ? *there : answersOf(dataDirectory, pupil));
              promise->finish();
          };
    school.then(context, settle);
    QTimer::singleShot(patienceMs, context, [settle, promise] {
        if (!promise->future().isFinished())
            qInfo("calvenza: il server della scuola non ha risposto in tempo: il ripasso usa le "
                  "risposte di questo computer.");
        settle(std::nullopt);
    });
    return promise->future();
}

} // namespace calvenza
