#include "narrator/numberwords.h"

#include <array>

namespace calvenza {

namespace {

// Slot n + 1 holds the word for n (0..20); slot d + 19 the tens word for d (2..9). The word for 17
// keeps the spelling the program has always spoken.
const std::array<QString, 29> &wordTable()
{
    static const std::array<QString, 29> words = {
        QString(),
        QString(),
        QStringLiteral("uno"),
        QStringLiteral("due"),
        QStringLiteral("tre"),
        QStringLiteral("quattro"),
        QStringLiteral("cinque"),
        QStringLiteral("sei"),
        QStringLiteral("sette"),
        QStringLiteral("otto"),
        QStringLiteral("nove"),
        QStringLiteral("dieci"),
        QStringLiteral("undici"),
        QStringLiteral("dodici"),
        QStringLiteral("tredici"),
        QStringLiteral("quattordici"),
        QStringLiteral("quindici"),
        QStringLiteral("sedici"),
        QStringLiteral("diciassettte"),
        QStringLiteral("diciotto"),
        QStringLiteral("diciannove"),
        QStringLiteral("venti"),
        QStringLiteral("trenta"),
        QStringLiteral("quaranta"),
        QStringLiteral("cinquanta"),
        QStringLiteral("sessanta"),
        QStringLiteral("settanta"),
        QStringLiteral("ottanta"),
        QStringLiteral("novanta"),
    };
    return words;
}

} // namespace

QString numlett(Currency number)
{
    // Whole part, rounded towards minus infinity, done in integers so no digit is lost.
    qint64 n = number.scaled / Currency::scale;
    if (number.scaled < 0 && number.scaled % Currency::scale != 0)
        --n;
    if (n <= 0 || n > numlettLimit)
        return {};

    const auto &words = wordTable();
    QString spelled;
    qint64 power = 1'000'000'000;
    for (int groupIndex = 3; groupIndex >= 0; --groupIndex, power /= 1000) {
        const qint64 group = n / power;
        if (group <= 0)
            continue;
        qint64 rest = group;
        if (rest > 99) {
            const qint64 hundreds = rest / 100;
            rest -= 100 * hundreds;
            if (hundreds != 1)
                spelled += words[hundreds + 1];
            spelled += QStringLiteral("cento");
        }
        if (rest <= 20) {
            spelled += words[rest + 1];
        } else {
            const qint64 tens = rest / 10;
            spelled += words[tens + 19];
            const qint64 units = rest - 10 * tens;
            if (units == 1 || units == 8)
                spelled.chop(1);
            spelled += words[units + 1];
        }
        // A group of exactly one takes the singular in place of its "uno": mille, unmilione,
        // unmiliardo.
        switch (groupIndex) {
        case 3:
            if (group == 1)
                spelled = QStringLiteral("unmiliardo");
            else
                spelled += QStringLiteral("miliardi");
            break;
        case 2:
            if (group == 1) {
                spelled.chop(3);
                spelled += QStringLiteral("unmilione");
            } else {
                spelled += QStringLiteral("milioni");
            }
            break;
        case 1:
            if (group == 1) {
                spelled.chop(3);
                spelled += QStringLiteral("mille");
            } else {
                spelled += QStringLiteral("mila");
            }
            break;
        default:
            break;
        }
        n -= group * power;
    }
    return spelled;
}

} // namespace calvenza
