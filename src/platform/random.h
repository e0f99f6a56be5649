#pragma once

#include <cstdint>
#include <random>

namespace calvenza {

// Uniform numbers in [0, 1), reseeded from the clock before each exercise.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual void reseed() = 0;
    virtual double next() = 0;
};

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
