// numlett over the whole currency range: any 64-bit value is a currency value.
#include "narrator/numberwords.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qint64 scaled = 0;
    std::memcpy(&scaled, data, std::min(size, sizeof scaled));
    const calvenza::Currency number {scaled};
    const QString words = calvenza::numlett(number);

    // The whole part, rounded down, decides whether there are words at all.
    const qint64 whole = scaled / calvenza::Currency::scale
        - ((scaled < 0 && scaled % calvenza::Currency::scale != 0) ? 1 : 0);
    const bool spoken = whole >= 1 && whole <= calvenza::numlettLimit;
    if (spoken == words.isEmpty())
        std::abort();
    for (const QChar c : words) {
        if (c < u'a' || c > u'z')
            std::abort();
    }
    return 0;
}
