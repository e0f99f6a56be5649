// How long the record takes to read at start-up and to save at the end of a challenge, with a
// stray 10 MiB file standing in for the points file at first.
#include "challenge/recordstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace calvenza;

namespace {

double medianMicroseconds(int rounds, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report(const char *what, double us)
{
    std::printf("%-40s %10.1f us\n", what, us);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const RecordStore store(dir.path() + u'/', 8);
    {
        QFile big(store.pointsPath());
        if (!big.open(QIODevice::WriteOnly))
            return 1;
        const QByteArray chunk(1024 * 1024, '7');
        for (int i = 0; i < 10; ++i)
            big.write(chunk);
    }

    qsizetype sink = 0;
    report("readWholeFile 10 MiB file (capped)", medianMicroseconds(50, [&] {
        sink += readWholeFile(store.pointsPath()).value_or(QString()).size();
    }));
    const QString capped = readWholeFile(store.pointsPath()).value_or(QString());
    report("recordValue 64 KiB digit run",
        medianMicroseconds(50, [&] { sink += qsizetype(recordValue(capped) > 0); }));
    report("recordValue \"12\\r\\n\"", medianMicroseconds(1000, [&] {
        sink += qsizetype(recordValue(QStringLiteral("12\r\n")));
    }));
    int score = 100;
    report("RecordStore::storeIfBeaten pair", medianMicroseconds(20, [&] {
        const auto outcome = store.storeIfBeaten(QString::number(++score), QStringLiteral("Anna"));
        sink += qsizetype(outcome == RecordStore::Outcome::Stored);
    }));
    report("RecordStore::read pair",
        medianMicroseconds(200, [&] { sink += store.read().value_or(Record {}).points.size(); }));
    return sink > 0 ? 0 : 1;
}
