#pragma once

#include "challenge/challengeclock.h"
#include "drill/sessionmode.h"
#include "drill/timestable.h"

class QTimer;

namespace calvenza {

// The timed challenge: exercises drawn at random from one table, seven minutes on the clock, the
// product said after a miss, and the record holder kept between runs.
class ChallengeMode : public SessionMode
{
    Q_OBJECT
public:
    explicit ChallengeMode(int table = defaultTable, QObject *parent = nullptr);

    [[nodiscard]] DrillMode kind() const override { return DrillMode::Challenge; }
    [[nodiscard]] int table() const override { return m_table; }
    [[nodiscard]] QString introduction() const override;
    // Arms the clock and reads the record of the data directory.
    [[nodiscard]] QList<Problem> begin(const QString &pupil, const QString &dataDirectory) override;
    void warningsRead() override;
    void firstExerciseShown() override;
    [[nodiscard]] std::optional<Exercise> next(RandomSource &random) override;
    [[nodiscard]] Correction correct(const Exercise &exercise) const override;
    // Stores a beaten record, compared with the record stored now.
    void keep(const QString &pupil, const Counters &counters) override;
    void stop() override;
    [[nodiscard]] std::optional<int> secondsLeft() const override { return m_clock.secondsLeft; }

    // One second of the clock; the tick after it has shown zero is the end.
    void tick();
    [[nodiscard]] const ChallengeClock &clock() const { return m_clock; }

private:
    void arm();

    const int m_table;
    QTimer *m_timer;
    ChallengeClock m_clock;
    QString m_dataDirectory;
};

} // namespace calvenza
