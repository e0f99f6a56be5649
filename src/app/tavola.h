#pragma once

#include "drill/answer.h"
#include "drill/timestable.h"
#include "memory/historywriter.h"
#include "platform/dialogs.h"

#include <QMainWindow>
#include <QRect>
#include <QString>
#include <memory>

namespace Ui {
class Tavola;
}

namespace calvenza {

class DataDirectory;
class DrillSession;
class Narrator;
class ProgressWindow;
class RandomSource;
class SessionMode;
struct Exercise;
struct Judgement;

// What the window needs from the world outside; main() hands in the real ones, tests their own.
struct TavolaServices
{
    std::unique_ptr<Narrator> narrator;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<DataDirectory> dataDirectory;
    // Where every answer is kept; none in tests that do not look at it.
    std::unique_ptr<HistoryWriter> history;
};

inline const QString appTitle = QStringLiteral("Calvenza");

// Where the window stands, known before it is built so that the name box can open over it: the
// screen's top left corner, and the client area's fixed size in the form.
inline constexpr QRect windowPlace {0, 0, 785, 556};

inline const QString pupilNamePrompt = QStringLiteral("Come ti chiami?");

// The start-up question; the answer as typed, empty for none. over: the window the box is
// centred on.
[[nodiscard]] inline QString askPupilName(Dialogs &dialogs, QWidget *over)
{
    return dialogs.inputBox(over, pupilNamePrompt, appTitle);
}

// The same question again when the name is in several classes: what he typed stays in the box,
// with his choices under it.
[[nodiscard]] inline QString askPupilClass(
    Dialogs &dialogs, QWidget *over, const QString &typed, const QStringList &choices)
{
    return dialogs.inputBoxOffering(over,
        QStringLiteral("Questo nome c'è in più classi: scegli il tuo dall'elenco.\n\n")
            + pupilNamePrompt,
        appTitle, typed, choices);
}

// The program's one window: it shows the drill session of one times table and forwards the
// pupil's keys and clicks to it.
class Tavola : public QMainWindow
{
    Q_OBJECT
public:
    // A challenge on the table.
    explicit Tavola(TavolaServices services, int table = defaultTable, QWidget *parent = nullptr);
    Tavola(TavolaServices services, std::unique_ptr<SessionMode> mode, QWidget *parent = nullptr);
    ~Tavola() override;

    // Asks the name, greets and starts the session. Runs once, before the window is first shown.
    void startUp();
    // The same with the name already asked, by askPupilName() before the window was built, and
    // the class his answers go to (empty: none).
    void startUp(const QString &answer, const QString &pupilClass = {});

    [[nodiscard]] DrillSession &session() const { return *m_session; }

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
    void connectSession();
    void showAsRipasso(bool nameless);
    void showExercise(const Exercise &exercise);
    void showJudgement(const Judgement &judgement);
    void onAnswerKey(int key);
    void say(const QString &text, const QString &details = {});
    // The two factors and the sign between them, shown while the pupil types.
    void setFactorsVisible(bool visible);
    void onSessionEnded();
    ProgressWindow *showProgressPicture(const QList<Fact> &movedUp = {});

    std::unique_ptr<Ui::Tavola> m_ui;
    TavolaServices m_services;
    std::unique_ptr<DrillSession> m_session;
    QString m_dataDirectory;
};

} // namespace calvenza
