// The random numbers of the noise and metal fills.
//
// The fills were tuned against the classic C library generator (values 0..0x7FFF), so
// this one reproduces that sequence for a seed. A fixed seed per draw manager keeps a
// painted background the same from run to run, and tests can pin every pixel.
#pragma once

#include <cstdint>

namespace tavrin {

class CRandomSource {
public:
    static constexpr int kMaximum = 0x7FFF;

    explicit CRandomSource(std::uint32_t seed = 1) : m_state(seed) {}
    virtual ~CRandomSource() = default;

    void Seed(std::uint32_t seed) { m_state = seed; }

    // Next value in 0..kMaximum.
    virtual int Next()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFFu);
    }

private:
    std::uint32_t m_state;
};

} // namespace tavrin
