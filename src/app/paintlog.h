#pragma once

#include <QObject>
#include <QSet>

#include <cstdio>

class QCoreApplication;

namespace calvenza {

// Start-up timing for the benchmarks: with CALVENZA_PAINT_LOG set (test and benchmark builds),
// prints one line to stderr when each top-level window has first been painted and when it is hidden
// again:
//   calvenza-paint <wall clock ns> painted|hidden <objectName or class name>
// The wall clock lets a launcher compare with the moment it started the process.
class PaintLog : public QObject
{
    Q_OBJECT
public:
    // Lines go to out (stderr unless a test hands in its own file).
    explicit PaintLog(QObject *parent = nullptr, std::FILE *out = stderr);

    // Installs the log on the application when the variable is set; it is then owned by app.
    static void installIfRequested(QCoreApplication &app);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::FILE *m_out;
    QSet<QObject *> m_painted;
};

} // namespace calvenza
