// Reading the record back when the points file has grown huge (10 MiB).
#include "benchreport.h"
#include "challenge/recordstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

using namespace calvenza;
using namespace calvenza::bench;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("atabkesr8.txt"));
    QFile file(path);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "bench_recordread: cannot write %s\n", qPrintable(path));
        return 1;
    }
    QByteArray content = "  4 2\t.5\r\n";
    content += QByteArray(10 * 1024 * 1024 - content.size(), 'x');
    file.write(content);
    file.close();

    std::vector<double> samples;
    bool capped = true;
    double value = 0.0;
    for (int i = 0; i < 200; ++i) {
        const auto start = Clock::now();
        const std::optional<QString> text = readWholeFile(path);
        value = text ? recordValue(*text) : -1.0;
        samples.push_back(microsecondsSince(start));
        capped = capped && text && text->size() <= recordReadLimit;
    }
    std::printf("recordread: value %g, read capped at %lld bytes: %s\n", value,
        static_cast<long long>(recordReadLimit), capped ? "yes" : "NO");

    const double median = quantile(samples, 0.5);
    reportRow("record read of a 10 MiB file, readWholeFile + recordValue (median of 200)",
        format("%.0f µs", median), "< 1000 µs, capped read, value 42.5",
        median < 1000.0 && capped && value == 42.5);
    return 0;
}
