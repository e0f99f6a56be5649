// The cost of spelling a number, over the whole range that has words.
#include "benchreport.h"
#include "narrator/numberwords.h"

#include <cmath>
#include <random>

using namespace calvenza;
using namespace calvenza::bench;

int main()
{
    // Log-uniform over 1..10^12, so every group of three digits gets its share of calls.
    std::mt19937_64 generator(8);
    std::uniform_real_distribution<double> exponent(0.0, 12.0);
    std::vector<Currency> numbers(4096);
    for (Currency &n : numbers)
        n = Currency::fromWhole(static_cast<qint64>(std::pow(10.0, exponent(generator))));

    qsizetype letters = 0;
    std::vector<double> perCallNs;
    for (int round = 0; round < 40; ++round) {
        const auto start = Clock::now();
        for (const Currency &n : numbers)
            letters += numlett(n).size();
        perCallNs.push_back(microsecondsSince(start) * 1000.0 / double(numbers.size()));
    }
    // The letters are counted so the calls cannot be optimised away.
    std::printf("numlett: %lld letters spelt\n", static_cast<long long>(letters));

    const double median = quantile(perCallNs, 0.5);
    reportRow("numlett, one call (1 to 10^12, median of 40 rounds of 4096)",
        format("%.0f ns", median), "< 20000 ns (a whole dictation within 0.1 ms)",
        median < 20000.0);
    return 0;
}
