#pragma once

#include "drill/randomsource.h"

#include <cstdint>
#include <random>

namespace calvenza {

// Reseeded from the clock before each exercise.
class SystemRandom : public RandomSource
{
public:
    void reseed() override;
    double next() override;

private:
    std::mt19937_64 m_engine {0};
    std::uint64_t m_reseeds = 0;
};

} // namespace calvenza
