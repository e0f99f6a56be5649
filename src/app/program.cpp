#include "app/program.h"

#include "app/commandline.h"
#include "app/tavola.h"
#include "challenge/challengemode.h"
#include "drill/drillsession.h"
#include "memory/historyexport.h"
#include "memory/historywriter.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "platform/random.h"
#include "platform/screenreader.h"
#include "progress/progresswindow.h"
#include "register/registerwindow.h"
#include "ripasso/ripassomode.h"
#include "ripasso/ripassosession.h"
#include "school/roster.h"
#include "school/schoolhistory.h"
#include "school/schoolsender.h"
#include "school/servercheck.h"
#include "wizard/wizardnarrator.h"

#include <QApplication>
#include <QMenuBar>
#include <QTimer>
#include <cstdio>

namespace calvenza {

namespace {

constexpr int schoolPatienceMs = 1500;

class FullProgram : public Program
{
public:
    explicit FullProgram(const CommandLine &commandLine)
        : m_commandLine(commandLine)
    {
    }

    int exportAnswers() override
    {
        Problem problem;
        if (!calvenza::exportAnswers(
                UserDataDirectory().location(), m_commandLine.exportPath, &problem)) {
            std::fputs((QStringLiteral("calvenza: ") + problem.sentence + QStringLiteral("\n  ")
                           + problem.details + u'\n')
                           .toLocal8Bit()
                           .constData(),
                stderr);
            return 1;
        }
        return 0;
    }

    int showProgress() override
    {
        return runProgressPicture(
            UserDataDirectory().location(), m_commandLine.pupil, m_commandLine.pupilClass);
    }

    int showRegister() override { return runRegister(UserDataDirectory().location()); }

    int checkSchoolServer() override
    {
        QString report;
        const int status = calvenza::checkSchoolServer(UserDataDirectory().location(), &report);
        std::fputs(report.toLocal8Bit().constData(), status == 0 ? stdout : stderr);
        return status;
    }

    void prepareDrill() override
    {
        if (m_tavola)
            return;
        TavolaServices services;
        // With a screen reader the pupil hears one voice, the reader's, which he can stop and
        // have repeat: the wizard is seen and not heard, and the window gives the reader his
        // words.
        const bool screenReader = screenReaderListening();
        WizardOptions wizardOptions;
        if (screenReader)
            wizardOptions.audio = AudioOut::Mode::Silent;
        auto wizard = std::make_unique<WizardNarrator>(wizardOptions);
        WizardNarrator *narrator = wizard.get();
        services.narrator = std::move(wizard);
        services.dialogs = std::make_unique<QtDialogs>();
        services.random = std::make_unique<SystemRandom>();
        services.dataDirectory = std::make_unique<UserDataDirectory>();
        const QString dataDirectory = services.dataDirectory->location();
        services.history = std::make_unique<HistoryWriter>(dataDirectory);
        HistoryWriter *history = services.history.get();
        m_history = history;
        m_dataDirectory = dataDirectory;
        std::unique_ptr<SessionMode> mode;
        if (m_commandLine.ripasso) {
            // A ripasso may span several tables; its lesson chooses them, not the window.
            // At school his answers come from the server, waited for while the wizard
            // introduces, never longer than a moment.
            mode = std::make_unique<RipassoMode>([this, dataDirectory](const QString &pupil) {
                // His class's tables for this week, when the teacher has chosen them.
                const QList<int> tables = roster().tables.value(
                    splitPupilLabel(pupil).pupilClass, m_commandLine.tables);
                return pupilAnswersWithin(dataDirectory, pupil, schoolPatienceMs, qApp)
                    .then(qApp, [this, tables](const QList<AnswerRecord> &answers) {
                        return std::shared_ptr<LessonPlan>(std::make_shared<RipassoSession>(
                            answers, QDate::currentDate(), tables, m_lessonRandom));
                    });
            });
        } else {
            mode = std::make_unique<ChallengeMode>(m_commandLine.table);
        }
        m_tavola = std::make_unique<Tavola>(std::move(services), std::move(mode));
        QObject::connect(m_tavola.get(), &Tavola::programEnded, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
        if (screenReader)
            keepAltForAccessKeys(m_tavola->menuBar());
        m_tavola->move(windowPlace.topLeft());
        // The wizard and the history each in a turn of their own, so that a box on screen keeps
        // taking the pupil's keys.
        QTimer::singleShot(0, m_tavola.get(), [narrator, history] {
            narrator->prepare();
            QTimer::singleShot(0, history, &HistoryWriter::startOpening);
        });
    }

    QStringList namesOffered() override { return offeredNames(roster(), m_commandLine.pupilClass); }

    int runDrill(const QString &name) override
    {
        prepareDrill();
        ResolvedPupil pupil = resolvePupil(name, roster(), m_commandLine.pupilClass);
        for (QtDialogs boxes; pupil.mustChoose();)
            pupil = resolvePupil(askPupilClass(boxes, m_tavola.get(), name, pupil.choices),
                roster(), m_commandLine.pupilClass);
        m_tavola->startUp(pupil.name, pupil.pupilClass);
        m_tavola->show();
        // At school the answers also go to the school's server, once the window has been painted:
        // loading the server's driver (libpq and what it links) took cores from the first window.
        QTimer::singleShot(1500, m_tavola.get(), [this] {
            if ((m_school = SchoolSender::startIfConfigured(m_dataDirectory)))
                m_school->follow(m_history);
        });
        const int status = QApplication::exec();
        // A lesson shorter than that wait sends its answers as the program ends.
        if (!m_school)
            m_school = SchoolSender::startIfConfigured(m_dataDirectory);
        return status;
    }

    ~FullProgram() override
    {
        m_tavola.reset();
        m_school.reset();
        // A reading of the school's answers still waiting on a server that does not answer
        // would hold the program's end: nobody needs it now.
        SchoolServer::cutEveryConnection();
    }

private:
    // The machine's copy of the class lists, read once.
    const Roster &roster()
    {
        if (!m_roster)
            m_roster = readRoster(UserDataDirectory().location());
        return *m_roster;
    }

    CommandLine m_commandLine;
    std::optional<Roster> m_roster;
    // Outlives the window, and so the lesson that draws from it.
    SystemRandom m_lessonRandom;
    // Outlives the window, so the farewell's answers, written as the window goes, can still leave.
    std::unique_ptr<SchoolSender> m_school;
    std::unique_ptr<Tavola> m_tavola;
    HistoryWriter *m_history = nullptr; // the window's
    QString m_dataDirectory;
};

} // namespace

} // namespace calvenza

extern "C" Q_DECL_EXPORT calvenza::Program *calvenza_make_program(
    const calvenza::CommandLine &commandLine)
{
    return new calvenza::FullProgram(commandLine);
}
