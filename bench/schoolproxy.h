#pragma once

// A TCP proxy in front of the school's server, on a thread of its own, that makes the link as
// bad as asked: every chunk held back a while (a slow server or a long way), or every byte
// swallowed without a word (a server that takes the connection and never answers, or a link
// that dies mid-lesson while the kernel still acknowledges).

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>

namespace calvenza::bench {

class SchoolProxy : public QObject
{
public:
    SchoolProxy(quint16 serverPort, int delayMs)
        : m_serverPort(serverPort)
        , m_delayMs(delayMs)
    {
        m_thread.start();
        moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            this, [this] { listen(); }, Qt::BlockingQueuedConnection);
    }
    ~SchoolProxy() override
    {
        cutAll();
        QMetaObject::invokeMethod(
            this, [this] { moveToThread(m_thread.thread()); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    [[nodiscard]] quint16 port() const { return m_port; }
    void swallow(bool on) { m_swallowing = on; }
    // Every connection closed, as a server that comes back resets them.
    void cutAll()
    {
        QMetaObject::invokeMethod(
            this,
            [this] {
                for (const QPointer<QTcpSocket> &socket : std::as_const(m_sockets))
                    if (socket)
                        socket->abort();
                qDeleteAll(findChildren<QTcpSocket *>());
                m_sockets.clear();
            },
            Qt::BlockingQueuedConnection);
    }

private:
    void listen()
    {
        auto *server = new QTcpServer(this);
        server->listen(QHostAddress::LocalHost);
        m_port = server->serverPort();
        connect(server, &QTcpServer::newConnection, this, [this, server] {
            while (QTcpSocket *machine = server->nextPendingConnection()) {
                machine->setParent(this);
                auto *upstream = new QTcpSocket(this);
                upstream->connectToHost(QHostAddress::LocalHost, m_serverPort);
                pipe(machine, upstream);
                pipe(upstream, machine);
                m_sockets << machine << upstream;
            }
        });
    }
    void pipe(QTcpSocket *from, QTcpSocket *to)
    {
        connect(from, &QTcpSocket::readyRead, this, [this, from, to] {
            const QByteArray data = from->readAll();
            if (m_swallowing)
                return;
            QTimer::singleShot(m_delayMs, to, [to, data] { to->write(data); });
        });
        connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
    }

    QThread m_thread;
    quint16 m_serverPort;
    int m_delayMs;
    quint16 m_port = 0;
    std::atomic<bool> m_swallowing = false;
    QList<QPointer<QTcpSocket>> m_sockets;
};

} // namespace calvenza::bench
