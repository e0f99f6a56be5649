#pragma once

#include "challenge/challengeclock.h"
#include "drill/exercise.h"
#include "drill/timestable.h"
#include "drill/verdict.h"

#include <QMainWindow>
#include <QString>
#include <memory>

class QTimer;

namespace Ui {
class Tavola;
}

namespace calvenza {

class Narrator;
class DataDirectory;
class Dialogs;
class RandomSource;

// What the window needs from the world outside; main() hands in the real ones, tests their own.
struct TavolaServices
{
    std::unique_ptr<Narrator> narrator;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<DataDirectory> dataDirectory;
};

inline const QString appTitle = QStringLiteral("Calvenza");

// The program's one window: the drill of one times table, its challenge clock and its record.
class Tavola : public QMainWindow
{
    Q_OBJECT
public:
    explicit Tavola(TavolaServices services, int table = defaultTable, QWidget *parent = nullptr);
    ~Tavola() override;

    // Asks the name, greets, arms the clock, reads the record and brings the wizard in. Runs
    // once, before the window is first shown.
    void startUp();
    void newExercise();
    // Judges what the pupil typed, counts it and has the wizard react.
    void checkAnswer();
    // Says goodbye, stores a beaten record and ends the program.
    void sayGoodbye();
    void onClockTick();

    [[nodiscard]] int table() const { return m_table; }
    [[nodiscard]] const ChallengeClock &clock() const { return m_clock; }
    [[nodiscard]] const Counters &counters() const { return m_counters; }
    [[nodiscard]] const Exercise &exercise() const { return m_exercise; }
    [[nodiscard]] bool hasEnded() const { return m_ended; }

signals:
    // The program ends here: no further handler runs; main() leaves the event loop.
    void programEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setUpControls();
    void createMenus();
    // The first exercise, dictated once the window is up.
    void beginChallenge();
    // Lets the wizard in once the window has first been painted.
    void releaseNarrator();
    void armClock();
    void showClock(const QString &text);
    void onAnswerKey(QChar key);
    void present(const NarratorScript &script);
    void say(const QString &text);
    // The two factors and the sign between them, shown while the pupil types.
    void setFactorsVisible(bool visible);
    void endProgram();

    std::unique_ptr<Ui::Tavola> m_ui;
    TavolaServices m_services;
    QTimer *m_clockTimer = nullptr;
    const int m_table;

    QString m_pupilName;
    // The record as read at start-up, points exactly as stored.
    QString m_recordPoints;
    QString m_recordName;
    Exercise m_exercise;
    Counters m_counters;
    ChallengeClock m_clock;
    // The clock's caption; the challenge ends on the tick after it reads the end text.
    QString m_clockShown = clockStartText;
    QString m_dataDirectory;

    bool m_narratorReady = false;
    bool m_challengeBegun = false;
    bool m_windowPainted = false;
    NarratorScript m_heldForPaint;
    bool m_farewellStarted = false;
    bool m_ended = false;
};

} // namespace calvenza
