#pragma once

#include <QString>
#include <QtGlobal>

namespace calvenza {

// A currency value: signed 64-bit fixed point with four decimal places.
struct Currency
{
    qint64 scaled = 0; // the value times 10 000

    static constexpr qint64 scale = 10000;
    [[nodiscard]] static constexpr Currency fromWhole(qint64 whole) { return {whole * scale}; }
};

// The largest number that has words; from 10^12 up numlett gives the empty text.
inline constexpr qint64 numlettLimit = 999'999'999'999;

// The Italian words for the whole part of a number, as one run of lower-case letters
// ("ventotto", "duemilioni"). Zero, negative numbers and numbers past numlettLimit give "".
[[nodiscard]] QString numlett(Currency number);

} // namespace calvenza
