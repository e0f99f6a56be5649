// Any bytes in the record file: readWholeFile reads at most the limit, and the number is finite.
#include "challenge/recordstore.h"

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("atabkesr8.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        // Inputs are small: repeat them past the read limit now and then, to cut at the limit.
        const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
        const int copies
            = (size > 0 && data[0] == 'R') ? int(calvenza::recordReadLimit / size) + 2 : 1;
        file.write(bytes.repeated(copies));
    }
    QString error;
    const std::optional<QString> text = calvenza::readWholeFile(path, &error);
    // Each byte decodes to at most one UTF-16 unit, so the text is never longer than the limit.
    if (!text || text->size() > calvenza::recordReadLimit)
        std::abort();
    if (!std::isfinite(calvenza::recordValue(*text)))
        std::abort();
    return 0;
}
