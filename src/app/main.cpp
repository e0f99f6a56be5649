#include "app/commandline.h"
#include "app/paintlog.h"
#include "app/tavola.h"
#include "challenge/challengemode.h"
#include "drill/drillsession.h"
#include "memory/historyexport.h"
#include "memory/historyreader.h"
#include "memory/historywriter.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "platform/random.h"
#include "platform/screenreader.h"
#include "progress/progresswindow.h"
#include "register/registerwindow.h"
#include "ripasso/ripassomode.h"
#include "ripasso/ripassosession.h"
#include "school/schoolsender.h"
#include "school/servercheck.h"
#include "wizard/wizardnarrator.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Read before Qt starts: a refused table must open no window and need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const calvenza::CommandLine commandLine = calvenza::parseCommandLine(arguments);
    switch (commandLine.action) {
    case calvenza::CommandLine::Action::Run:
    case calvenza::CommandLine::Action::ShowProgress:
    case calvenza::CommandLine::Action::ShowRegister:
        break;
    case calvenza::CommandLine::Action::Export: {
        // The teacher's export needs no display.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("calvenza"));
        calvenza::Problem problem;
        if (!calvenza::exportAnswers(
                calvenza::UserDataDirectory().location(), commandLine.exportPath, &problem)) {
            std::fputs((QStringLiteral("calvenza: ") + problem.sentence + QStringLiteral("\n  ")
                           + problem.details + u'\n')
                           .toLocal8Bit()
                           .constData(),
                stderr);
            return 1;
        }
        return 0;
    }
    case calvenza::CommandLine::Action::CheckServer: {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("calvenza"));
        QString report;
        const int status
            = calvenza::checkSchoolServer(calvenza::UserDataDirectory().location(), &report);
        std::fputs(report.toLocal8Bit().constData(), status == 0 ? stdout : stderr);
        return status;
    }
    case calvenza::CommandLine::Action::Refuse:
        std::fputs(commandLine.message.toLocal8Bit().constData(), stderr);
        return calvenza::usageExitStatus;
    case calvenza::CommandLine::Action::ShowHelp:
    case calvenza::CommandLine::Action::ShowVersion:
        std::fputs(commandLine.message.toLocal8Bit().constData(), stdout);
        return 0;
    }

    // The wizard places his own window on screen, which a Wayland session does not allow.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    calvenza::PaintLog::installIfRequested(app);
    QApplication::setApplicationName(QStringLiteral("calvenza"));
    QApplication::setApplicationVersion(QStringLiteral(CALVENZA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.github.calvenza.Calvenza"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // Qt's own words (OK/Annulla, the answer box's menu) in Italian like the rest; without the
    // translation the program still runs, in Qt's English.
    QTranslator qtWords;
    if (qtWords.load(
            QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtWords);

    if (commandLine.action == calvenza::CommandLine::Action::ShowProgress)
        return calvenza::runProgressPicture(
            calvenza::UserDataDirectory().location(), commandLine.pupil);
    if (commandLine.action == calvenza::CommandLine::Action::ShowRegister)
        return calvenza::runRegister(calvenza::UserDataDirectory().location());

    calvenza::TavolaServices services;
    // With a screen reader the pupil hears one voice, the reader's, which he can stop and have
    // repeat: the wizard is seen and not heard, and the window gives the reader his words.
    const bool screenReader = calvenza::screenReaderListening();
    calvenza::WizardOptions wizardOptions;
    if (screenReader)
        wizardOptions.audio = calvenza::AudioOut::Mode::Silent;
    auto wizard = std::make_unique<calvenza::WizardNarrator>(wizardOptions);
    // The wizard is built while the pupil types the name, not after it.
    QTimer::singleShot(250, &app, [w = wizard.get()] { w->prepare(); });
    services.narrator = std::move(wizard);
    services.dialogs = std::make_unique<calvenza::QtDialogs>();
    services.random = std::make_unique<calvenza::SystemRandom>();
    services.dataDirectory = std::make_unique<calvenza::UserDataDirectory>();
    const QString dataDirectory = services.dataDirectory->location();
    services.history = std::make_unique<calvenza::HistoryWriter>(dataDirectory);
    // At school the answers also go to the school's server, once the window is up; outlives
    // the window, so the farewell's answers can still leave.
    std::unique_ptr<calvenza::SchoolSender> school;
    QTimer::singleShot(500, &app, [&school, &dataDirectory, writer = services.history.get()] {
        if ((school = calvenza::SchoolSender::startIfConfigured(dataDirectory)))
            school->follow(writer);
    });
    // Opened, like the wizard, while the pupil types the name.
    QTimer::singleShot(250, services.history.get(), &calvenza::HistoryWriter::startOpening);

    // Outlives the window, and so the lesson that draws from it.
    calvenza::SystemRandom lessonRandom;
    std::unique_ptr<calvenza::SessionMode> mode;
    if (commandLine.ripasso) {
        // A ripasso may span several tables; its lesson chooses them, not the window.
        mode = std::make_unique<calvenza::RipassoMode>([&](const QString &pupil) {
            return std::make_unique<calvenza::RipassoSession>(
                calvenza::answersOf(dataDirectory, pupil), QDate::currentDate(), commandLine.tables,
                lessonRandom);
        });
    } else {
        mode = std::make_unique<calvenza::ChallengeMode>(commandLine.table);
    }
    calvenza::Tavola tavola(std::move(services), std::move(mode));
    QObject::connect(&tavola, &calvenza::Tavola::programEnded, &app, &QCoreApplication::quit,
        Qt::QueuedConnection);
    if (screenReader)
        calvenza::keepAltForAccessKeys(tavola.menuBar());
    tavola.move(0, 0);
    tavola.startUp();
    tavola.show();
    return app.exec();
}
