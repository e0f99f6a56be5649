// Whatever the points file holds, reading it as a number gives a finite number.
#include "challenge/recordstore.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Both decodings the program meets: the system's 8-bit one and UTF-8 typed into a box.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &text : {QString::fromLocal8Bit(bytes), QString::fromUtf8(bytes)}) {
        if (!std::isfinite(calvenza::recordValue(text)))
            std::abort();
    }
    return 0;
}
