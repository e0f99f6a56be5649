#include "app/commandline.h"
#include "app/fontsetup.h"
#include "app/paintlog.h"
#include "app/program.h"
#include "app/tavola.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibrary>
#include <QLibraryInfo>
#include <QScopeGuard>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>

namespace {

void complain(const QString &text)
{
    std::fputs((QStringLiteral("calvenza: ") + text + u'\n').toLocal8Bit().constData(), stderr);
}

// The rest of the program, from its library, which is installed in a folder of its own relative
// to the executable. Null, with the reason in error, when it cannot be loaded.
std::unique_ptr<calvenza::Program> loadProgram(
    const calvenza::CommandLine &commandLine, QString *error)
{
    QLibrary library(QCoreApplication::applicationDirPath()
        + QStringLiteral("/" CALVENZA_PROGRAM_DIR "/" CALVENZA_PROGRAM_LIBRARY));
    if (!library.load()) {
        *error = QStringLiteral("impossibile caricare una parte del programma, che va "
                                "reinstallato (%1)")
                     .arg(library.errorString());
        return nullptr;
    }
    const auto make
        = reinterpret_cast<calvenza::MakeProgram>(library.resolve(calvenza::makeProgramSymbol));
    if (!make) {
        *error = QStringLiteral("%1 non è la libreria di questa versione del programma, che va "
                                "reinstallato")
                     .arg(library.fileName());
        return nullptr;
    }
    return std::unique_ptr<calvenza::Program>(make(commandLine));
}

// The same for a run without the name box: the reason goes to standard error.
std::unique_ptr<calvenza::Program> loadProgram(const calvenza::CommandLine &commandLine)
{
    QString error;
    std::unique_ptr<calvenza::Program> program = loadProgram(commandLine, &error);
    if (!program)
        complain(error);
    return program;
}

// The name box's first words need fontconfig's set-up (some fifty files of rules parsed) and Qt's
// font database built from it: the biggest costs before the box is on screen. A second thread
// does both while this one opens the display. Qt builds its database once, under its own lock.
class TextSetUpAside
{
public:
    TextSetUpAside()
        : m_thread([this] {
            calvenza::setUpFontconfig();
            m_fontconfig.set_value();
            if (m_displayOpened.get())
                QFontDatabase::families();
        })
    {
    }
    ~TextSetUpAside() { finish(); }
    TextSetUpAside(const TextSetUpAside &) = delete;
    TextSetUpAside &operator=(const TextSetUpAside &) = delete;

    // Qt's database needs the display's font back end, which the application object brings.
    void displayOpened() { tell(true); }
    // Before the first words are laid out. Fontconfig does not wait for a set-up under way in
    // another thread: it starts its own, and on a busy machine the two would share one core.
    void awaitFontconfig() { m_fontconfigReady.wait(); }
    // Before the application object goes.
    void finish()
    {
        tell(false);
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void tell(bool opened)
    {
        if (!std::exchange(m_told, true))
            m_opened.set_value(opened);
    }

    std::promise<void> m_fontconfig;
    std::future<void> m_fontconfigReady = m_fontconfig.get_future();
    std::promise<bool> m_opened;
    std::future<bool> m_displayOpened = m_opened.get_future();
    bool m_told = false;
    std::thread m_thread;
};

// Loads the X11 platform plugin, and the twenty libraries it needs, before the second thread
// starts: mapping that many files while the thread reads fontconfig's slowed both down. Qt's own
// loading then finds the plugin already there. Only when Qt is sure to take this very file.
void loadX11PluginFirst(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0
            || qstrcmp(argv[i], "-platformpluginpath") == 0)
            return;
    }
    if (!qEnvironmentVariableIsEmpty("QT_PLUGIN_PATH")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM_PLUGIN_PATH"))
        return;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "xcb")
        return;
    if (platform.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    QLibrary plugin(
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqxcb.so"));
    plugin.load(); // Qt reports its own failure, with the reason, when it loads it again
}

// Runs work once a first window has been painted and flushed to the screen, after the paint
// pass's own queued calls.
void afterFirstPaint(QApplication &app, std::function<void()> work)
{
    class Watcher : public QObject
    {
    public:
        Watcher(std::function<void()> work, QObject *parent)
            : QObject(parent)
            , m_work(std::move(work))
        {
        }
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && watched->isWidgetType()
                && static_cast<QWidget *>(watched)->isWindow()) {
                parent()->removeEventFilter(this);
                QTimer::singleShot(0, this, [this] {
                    QTimer::singleShot(0, this, [this] {
                        m_work();
                        deleteLater();
                    });
                });
            }
            return false;
        }

    private:
        std::function<void()> m_work;
    };
    app.installEventFilter(new Watcher(std::move(work), &app));
}

} // namespace

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
        const std::unique_ptr<calvenza::Program> program = loadProgram(commandLine);
        return program ? program->exportAnswers() : 1;
    }
    case calvenza::CommandLine::Action::CheckServer: {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("calvenza"));
        const std::unique_ptr<calvenza::Program> program = loadProgram(commandLine);
        return program ? program->checkSchoolServer() : 1;
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

    loadX11PluginFirst(argc, argv);
    // After the environment is changed: fontconfig reads it from the other thread.
    TextSetUpAside textSetUp;
    QApplication app(argc, argv);
    textSetUp.displayOpened();
    const auto textSetUpJoined = qScopeGuard([&textSetUp] { textSetUp.finish(); });
    calvenza::PaintLog::installIfRequested(app);
    QApplication::setApplicationName(QStringLiteral("calvenza"));
    QApplication::setApplicationVersion(QStringLiteral(CALVENZA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.github.calvenza.Calvenza"));
    QApplication::setStyle(calvenza::programStyle());
    // Qt's own words (OK/Annulla, the answer box's menu) in Italian like the rest; without the
    // translation the program still runs, in Qt's English.
    QTranslator qtWords;
    if (qtWords.load(
            QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtWords);

    textSetUp.awaitFontconfig();
    if (commandLine.action == calvenza::CommandLine::Action::ShowProgress) {
        const std::unique_ptr<calvenza::Program> program = loadProgram(commandLine);
        return program ? program->showProgress() : 1;
    }
    if (commandLine.action == calvenza::CommandLine::Action::ShowRegister) {
        const std::unique_ptr<calvenza::Program> program = loadProgram(commandLine);
        return program ? program->showRegister() : 1;
    }

    // The name box comes first and alone, as quickly as a bare window. The rest (the window, the
    // wizard, the history, the screen-reader check, and the libraries they need) is loaded and
    // built once the box is on screen, while the pupil types, or at the latest when he has
    // answered.
    std::unique_ptr<calvenza::Program> program;
    QString error;
    bool loaded = false;
    const auto build = [&] {
        if (std::exchange(loaded, true))
            return;
        program = loadProgram(commandLine, &error);
        if (program) {
            program->prepareDrill();
            calvenza::offerNamesInOpenBox(program->namesOffered());
        }
    };
    afterFirstPaint(app, build);
    calvenza::QtDialogs boxes;
    QWidget windowStandIn; // never shown: only where the box is centred
    windowStandIn.setGeometry(calvenza::windowPlace);
    const QString name = calvenza::askPupilName(boxes, &windowStandIn);
    build();
    if (!program) {
        complain(error);
        boxes.messageBox(nullptr,
            QStringLiteral("Calvenza non può partire: manca una sua parte. Chiedi a un adulto di "
                           "reinstallarlo."),
            calvenza::appTitle, error);
        return 1;
    }
    return program->runDrill(name);
}
