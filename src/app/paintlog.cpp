#include "app/paintlog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

namespace calvenza {

namespace {

void logLine(std::FILE *out, const char *what, const QObject *window)
{
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const QByteArray name = window->objectName().isEmpty()
        ? QByteArray(window->metaObject()->className())
        : window->objectName().toUtf8();
    std::fprintf(
        out, "calvenza-paint %lld %s %s\n", static_cast<long long>(now), what, name.constData());
    std::fflush(out);
}

} // namespace

PaintLog::PaintLog(QObject *parent, std::FILE *out)
    : QObject(parent)
    , m_out(out)
{
}

void PaintLog::installIfRequested(QCoreApplication &app)
{
#ifdef CALVENZA_TEST_HOOKS
    if (!qEnvironmentVariableIsEmpty("CALVENZA_PAINT_LOG"))
        app.installEventFilter(new PaintLog(&app));
#else
    Q_UNUSED(app)
#endif
}

bool PaintLog::eventFilter(QObject *watched, QEvent *event)
{
    if (!watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (!widget->isWindow())
        return false;
    // A hidden window painted into an image (QWidget::render) is not on screen yet.
    if (event->type() == QEvent::Paint && widget->isVisible() && !m_painted.contains(watched)) {
        m_painted.insert(watched);
        // The first paint event starts the window's drawing; the zero timer fires once the
        // whole pass, children included, has been drawn and flushed to the screen.
        QTimer::singleShot(0, this, [this, window = QPointer<QWidget>(widget)] {
            if (window)
                logLine(m_out, "painted", window);
        });
    } else if (event->type() == QEvent::Hide && m_painted.remove(watched)) {
        logLine(m_out, "hidden", watched);
    }
    return false;
}

} // namespace calvenza
