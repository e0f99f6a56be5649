#pragma once

namespace calvenza {

// Uniform numbers in [0, 1), reseeded before each exercise.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual void reseed() = 0;
    virtual double next() = 0;
};

} // namespace calvenza
