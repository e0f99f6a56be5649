#include "platform/random.h"

#include <chrono>

namespace calvenza {

void SystemRandom::reseed()
{
    // Nanoseconds, plus a counter: two exercises in the same instant still differ.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto ns = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    std::seed_seq seq {static_cast<std::uint32_t>(ns), static_cast<std::uint32_t>(ns >> 32),
        static_cast<std::uint32_t>(++m_reseeds)};
    m_engine.seed(seq);
}

double SystemRandom::next()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_engine);
}

} // namespace calvenza
