#include "narrator/numberwords.h"

#include <QLocale>
#include <array>
#include <cmath>

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

Currency Currency::fromText(const QString &text, bool *ok)
{
    bool parsed = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &parsed);
    // Outside the currency range the text is no currency value at all.
    constexpr double limit = 922'337'203'685'477.0;
    if (!parsed || !std::isfinite(value) || std::fabs(value) > limit) {
        if (ok)
            *ok = false;
        return {};
    }
    if (ok)
        *ok = true;
    return {static_cast<qint64>(std::llround(value * double(scale)))};
}

QString numlett(Currency number)
{
    // Whole part, rounded towards minus infinity, done in integers so no digit is lost.
    qint64 n = number.scaled / Currency::scale;
    if (number.scaled < 0 && number.scaled % Currency::scale != 0)
        --n;
    if (n <= 0 || n > numlettLimit)
        return {};

    const auto &words = wordTable();
    QString t;
    qint64 power = 1'000'000'000;
    for (int k = 3; k >= 0; --k, power /= 1000) {
        const qint64 g = n / power;
        if (g <= 0)
            continue;
        qint64 r = g;
        if (r > 99) {
            const qint64 h = r / 100;
            r -= 100 * h;
            if (h != 1)
                t += words[h + 1];
            t += QStringLiteral("cento");
        }
        if (r <= 20) {
            t += words[r + 1];
        } else {
            const qint64 tens = r / 10;
            t += words[tens + 19];
            const qint64 u = r - 10 * tens;
            if (u == 1 || u == 8)
                t.chop(1);
            t += words[u + 1];
        }
        switch (k) {
        case 3:
            if (g == 1)
                t = QStringLiteral("unmiliardo");
            else
                t += QStringLiteral("miliardi");
            break;
        case 2:
            if (g == 1) {
                t.chop(3);
                t += QStringLiteral("unmilione");
            } else {
                t += QStringLiteral("milioni");
            }
            break;
        case 1:
            if (g == 1) {
                t.chop(3);
                t += QStringLiteral("mille");
            } else {
                t += QStringLiteral("mila");
            }
            break;
        default:
            break;
        }
        n -= g * power;
    }
    return t;
}

} // namespace calvenza
