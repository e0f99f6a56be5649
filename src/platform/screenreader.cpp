#include "platform/screenreader.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProxyStyle>
#include <QWidget>

namespace calvenza {

namespace {

constexpr int replyTimeoutMs = 500;

QDBusMessage ask(const QDBusConnection &bus, const QString &service, const QString &path,
    const QString &interface, const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    // Nothing is started for the question: a bus that is not running has no screen reader.
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, replyTimeoutMs);
}

bool anyoneFollowsFocus(const QString &address)
{
    const QString name = QStringLiteral("calvenza-screen-reader-check");
    bool follows = false;
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        const QDBusMessage reply = ask(bus, QStringLiteral("org.a11y.atspi.Registry"),
            QStringLiteral("/org/a11y/atspi/registry"), QStringLiteral("org.a11y.atspi.Registry"),
            QStringLiteral("GetRegisteredEvents"));
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const auto events = reply.arguments().constFirst().value<QDBusArgument>();
            events.beginArray();
            while (!events.atEnd()) {
                QString listener, event;
                events.beginStructure();
                events >> listener >> event;
                events.endStructure();
                follows = follows || event.startsWith(QLatin1String("Focus:"))
                    || event == QLatin1String("Object:StateChanged:Focused");
            }
            events.endArray();
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return follows;
}

class AltKeepingStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

bool screenReaderListening()
{
    // No session bus, no screen reader; asking for one would spawn dbus-launch on the way to
    // the name box.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    const QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return false;
    const QString service = QStringLiteral("org.a11y.Bus");
    const QString path = QStringLiteral("/org/a11y/bus");
    const QDBusMessage enabled = ask(session, service, path,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
        {QStringLiteral("org.a11y.Status"), QStringLiteral("ScreenReaderEnabled")});
    if (enabled.type() == QDBusMessage::ReplyMessage && !enabled.arguments().isEmpty()
        && enabled.arguments().constFirst().value<QDBusVariant>().variant().toBool())
        return true;
    const QDBusMessage address
        = ask(session, service, path, QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    if (address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty())
        return false;
    return anyoneFollowsFocus(address.arguments().constFirst().toString());
}

void keepAltForAccessKeys(QWidget *menuBar)
{
    // A style wrapping another has no name of its own: the one wrapped is copied.
    const QStyle *programStyle = QApplication::style();
    if (const auto *proxy = qobject_cast<const QProxyStyle *>(programStyle))
        programStyle = proxy->baseStyle();
    auto *style = new AltKeepingStyle(programStyle->name());
    style->setParent(menuBar);
    menuBar->setStyle(style);
}

} // namespace calvenza
