#include "app/commandline.h"
#include "app/paintlog.h"
#include "app/tavola.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "platform/random.h"
#include "wizard/wizardnarrator.h"

#include <QApplication>
#include <QLibraryInfo>
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
        break;
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

    calvenza::TavolaServices services;
    auto wizard = std::make_unique<calvenza::WizardNarrator>();
    // The wizard is built while the pupil types the name, not after it.
    QTimer::singleShot(250, &app, [w = wizard.get()] { w->prepare(); });
    services.narrator = std::move(wizard);
    services.dialogs = std::make_unique<calvenza::QtDialogs>();
    services.random = std::make_unique<calvenza::SystemRandom>();
    services.dataDirectory = std::make_unique<calvenza::UserDataDirectory>();

    calvenza::Tavola tavola(std::move(services), commandLine.table);
    QObject::connect(&tavola, &calvenza::Tavola::programEnded, &app, &QCoreApplication::quit,
        Qt::QueuedConnection);
    tavola.move(0, 0);
    tavola.startUp();
    tavola.show();
    return app.exec();
}
