#pragma once

#include "challenge/challengeclock.h"
#include "drill/exercise.h"
#include "drill/verdict.h"

#include <QMainWindow>
#include <QString>
#include <memory>

class QLineEdit;
class QLabel;
class QPushButton;
class QTimer;

namespace calvenza {

class Characters;
class CaptionLabel;
class ClientArea;
class DataDirectory;
class Dialogs;
class PictureButton;
class RandomSource;

// What the window needs from the world outside; main() hands in the real ones, tests their own.
struct TavolaServices
{
    std::unique_ptr<Characters> agent;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<RandomSource> random;
    std::unique_ptr<DataDirectory> dataDirectory;
};

inline const QString appTitle = QStringLiteral("Calvenza");
inline const QString introduction = QStringLiteral(
    "Allora attenzione, iniziamo la nostra avventura con la tabellina dell'otto. Io detto e tu "
    "scrivi il risultato nello spazio sotto di me. Mi raccomando inserisci il risultato e premi "
    "invio e poi aspetta che io finisca di parlare e premi ancora invio per avere la domanda "
    "successiva");

// The program's one window: every control, every handler and the state of a challenge.
class Tavola : public QMainWindow
{
    Q_OBJECT
public:
    explicit Tavola(TavolaServices services, QWidget *parent = nullptr);
    ~Tavola() override;

    // The program's handlers, under the names it has always had.
    void Form_Load();
    void Form_Activate();
    void cmdNext_Click();
    void Text3_KeyPress(QChar keyAscii);
    void Command3_Click();
    void cmdExit1_Click();
    void Timer1_Timer();
    void ImpostaTimer();
    [[nodiscard]] QString GetSystemDir() const;
    [[nodiscard]] QString numlett(const QString &number) const;

    [[nodiscard]] const ChallengeClock &clock() const { return m_clock; }
    [[nodiscard]] const Counters &counters() const { return m_counters; }
    [[nodiscard]] const Exercise &exercise() const { return m_exercise; }
    [[nodiscard]] bool hasEnded() const { return m_ended; }
    [[nodiscard]] QString dirwindows() const { return m_dirwindows; }
    [[nodiscard]] ClientArea *clientArea() const { return m_client; }

signals:
    // The program ends here: no further handler runs; main() leaves the event loop.
    void programEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createMenus();
    void present(const NarratorScript &script);
    void say(const QString &text);
    // The two factors and the sign between them, shown while the pupil types.
    void setFactorsVisible(bool visible);
    void endProgram();

    TavolaServices m_services;

    ClientArea *m_client = nullptr;
    QTimer *Timer1 = nullptr;
    QLineEdit *Txtnome1 = nullptr;
    QLineEdit *Text7 = nullptr;
    QLineEdit *Text6 = nullptr;
    QPushButton *Command3 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text1 = nullptr;
    PictureButton *cmdNext = nullptr;
    PictureButton *cmdExit1 = nullptr;
    CaptionLabel *lblMessage = nullptr;
    CaptionLabel *lblconto = nullptr;
    CaptionLabel *lblNum1 = nullptr;
    CaptionLabel *Label10 = nullptr;
    CaptionLabel *lblNum2 = nullptr;
    QLabel *Image1 = nullptr;
    CaptionLabel *Label11 = nullptr;
    CaptionLabel *Label14 = nullptr;
    CaptionLabel *lblnome1 = nullptr;
    CaptionLabel *Label12 = nullptr;
    CaptionLabel *lblnome = nullptr;
    CaptionLabel *Label13 = nullptr;
    CaptionLabel *lblpunti = nullptr;
    CaptionLabel *Label1 = nullptr;
    CaptionLabel *Label3 = nullptr;
    CaptionLabel *lblScore2 = nullptr;
    CaptionLabel *lblScore1 = nullptr;
    CaptionLabel *lblScore = nullptr;
    CaptionLabel *Label6 = nullptr;

    Counters m_counters;
    Exercise m_exercise;
    ChallengeClock m_clock;
    QString m_dirwindows;
    bool m_narratorReady = false;
    bool m_activated = false;
    bool m_farewellStarted = false;
    bool m_ended = false;
};

} // namespace calvenza
