#include "app/paintlog.h"
#include "app/tavola.h"
#include "platform/datadirectory.h"
#include "platform/dialogs.h"
#include "platform/random.h"
#include "wizard/wizardcharacters.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTimer>

int main(int argc, char *argv[])
{
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

    calvenza::TavolaServices services;
    auto agent = std::make_unique<calvenza::WizardCharacters>();
    // The wizard is built while the pupil types the name, not after it.
    QTimer::singleShot(250, &app,
        [wizards = agent.get()] { wizards->prepare(QString::fromUtf16(calvenza::narratorId)); });
    services.agent = std::move(agent);
    services.dialogs = std::make_unique<calvenza::QtDialogs>();
    services.random = std::make_unique<calvenza::SystemRandom>();
    services.dataDirectory = std::make_unique<calvenza::UserDataDirectory>();

    calvenza::Tavola tavola(std::move(services));
    QObject::connect(&tavola, &calvenza::Tavola::programEnded, &app, &QCoreApplication::quit,
        Qt::QueuedConnection);
    tavola.move(0, 0);
    tavola.Form_Load();
    tavola.show();
    return app.exec();
}
