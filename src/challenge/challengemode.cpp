#include "challenge/challengemode.h"

#include "challenge/recordstore.h"

#include <QTimer>

namespace calvenza {

ChallengeMode::ChallengeMode(int table, QObject *parent)
    : SessionMode(parent)
    , m_table(isTable(table) ? table : defaultTable)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &ChallengeMode::tick);
}

QString ChallengeMode::introduction() const
{
    return calvenza::introduction(m_table);
}

QList<Problem> ChallengeMode::begin(const QString &pupil, const QString &dataDirectory)
{
    Q_UNUSED(pupil);
    m_dataDirectory = dataDirectory;
    arm();
    // A record that cannot be kept must not end the drill: say so, show it empty, go on.
    const RecordStore store(m_dataDirectory, m_table);
    QString error;
    std::optional<Record> record;
    if (store.ensureFilesExist(&error))
        record = store.read(&error); // under the lock: points and name of the same pupil
    emit recordChanged(record ? record->points : QString(), record ? record->name : QString());
    if (record)
        return {};
    return {{QStringLiteral("Oggi non riesco a ricordare il record, ma puoi giocare lo stesso. "
                            "Avvisa la maestra o il maestro."),
        error}};
}

void ChallengeMode::warningsRead()
{
    arm();
}

void ChallengeMode::firstExerciseShown()
{
    emit clockChanged(clockStartText);
}

std::optional<Exercise> ChallengeMode::next(RandomSource &random)
{
    return drawExercise(random, m_table);
}

Correction ChallengeMode::correct(const Exercise &exercise) const
{
    const QString product = QString::number(exercise.product);
    return {verdictWrong(product), reactionToWrong(product)};
}

void ChallengeMode::keep(const QString &pupil, const Counters &counters)
{
    // No right answer is no record, and no reason to touch the files.
    QString error;
    const auto outcome = counters.right > 0
        ? RecordStore(m_dataDirectory, m_table)
              .storeIfBeaten(QString::number(counters.right), pupil, &error)
        : RecordStore::Outcome::NotBeaten;
    emit challengeEnded({pupilName(pupil), m_table, QDateTime::currentDateTimeUtc(), counters.right,
        counters.wrong, outcome == RecordStore::Outcome::Stored});
    switch (outcome) {
    case RecordStore::Outcome::Stored:
        emit message(QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\""), {});
        break;
    case RecordStore::Outcome::Failed:
        emit message(
            QStringLiteral("Mi dispiace, non sono riuscito a salvare il tuo record: il "
                           "record di prima resta com'era. Avvisa la maestra o il maestro."),
            error);
        break;
    case RecordStore::Outcome::NotBeaten:
        break;
    }
}

void ChallengeMode::stop()
{
    m_timer->stop();
}

void ChallengeMode::tick()
{
    if (!m_timer->isActive())
        return;
    if (m_clock.secondsLeft <= 0) {
        m_timer->stop();
        emit timeUp();
        return;
    }
    m_clock.countDown();
    emit clockChanged(m_clock.text());
}

void ChallengeMode::arm()
{
    m_timer->start();
    m_clock.arm(challengeSecondsFromEnvironment());
}

} // namespace calvenza
