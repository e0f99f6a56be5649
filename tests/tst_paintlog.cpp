// The start-up benchmark reads these lines; a wrong or missing one skews every start-up figure.
#include "app/paintlog.h"

#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace calvenza;

namespace {

// The lines written so far without their time stamp, which must be a recent wall clock.
QStringList linesOf(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QStringList lines;
    char buffer[256];
    const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000;
    while (std::fgets(buffer, sizeof buffer, file)) {
        const QStringList fields = QString::fromUtf8(buffer).trimmed().split(u' ');
        const qint64 stamp = fields.value(1).toLongLong();
        if (fields.size() != 4 || fields[0] != QLatin1String("calvenza-paint")
            || stamp > nowNs + 1'000'000 || stamp < nowNs - 60'000'000'000)
            return {QStringLiteral("malformed: ") + QString::fromUtf8(buffer)};
        lines << fields[2] + u' ' + fields[3];
    }
    return lines;
}

} // namespace

class PaintLogTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_file.reset(std::tmpfile());
        QVERIFY(m_file);
        m_log = std::make_unique<PaintLog>(nullptr, m_file.get());
        qApp->installEventFilter(m_log.get());
    }
    void cleanup()
    {
        m_log.reset();
        m_file.reset();
    }

    void windowIsLoggedWhenFirstPaintedAndWhenHiddenEachTimeItShows()
    {
        QWidget window;
        window.setObjectName(QStringLiteral("inputBox"));
        auto *child = new QLabel(QStringLiteral("Come ti chiami?"), &window);
        for (int i = 0; i < 2; ++i) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTRY_COMPARE(linesOf(m_file.get()).size(), 2 * i + 1);
            // Later paints, of the window or a child, are not a start-up any more.
            window.repaint();
            child->setText(QString::number(i));
            QTest::qWait(50);
            window.hide();
        }
        QCOMPARE(linesOf(m_file.get()),
            (QStringList {QStringLiteral("painted inputBox"), QStringLiteral("hidden inputBox"),
                QStringLiteral("painted inputBox"), QStringLiteral("hidden inputBox")}));
    }

    void windowWithoutNameIsLoggedByClass()
    {
        QLabel window(QStringLiteral("otto"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(linesOf(m_file.get()), QStringList {QStringLiteral("painted QLabel")});
    }

    // Rendering a hidden window into an image (a warm-up, a screenshot) puts nothing on screen.
    void hiddenWindowPaintedIntoAnImageIsNotLogged()
    {
        QWidget window;
        window.resize(200, 100);
        QImage image(window.size(), QImage::Format_RGB32);
        window.render(&image);
        window.hide();
        QTest::qWait(20);
        QCOMPARE(linesOf(m_file.get()), QStringList());
    }

private:
    std::unique_ptr<std::FILE, decltype(&std::fclose)> m_file {nullptr, &std::fclose};
    std::unique_ptr<PaintLog> m_log;
};

QTEST_MAIN(PaintLogTest)
#include "tst_paintlog.moc"
