#pragma once

#include <cstdint>

// A small, fast pseudo-random sequence whose output depends on the start state alone, so the list site
// produces the same data on every run and every platform.
class SplitMix64
{
public:
    explicit SplitMix64(std::uint64_t state)
        : m_state(state)
    { }

    std::uint64_t next()
    {
        m_state += 0x9e3779b97f4a7c15ULL;
        return mix(m_state);
    }

    // A value in [0, bound); bound > 0. The modulo bias is far too small to matter for made-up data.
    std::uint64_t below(std::uint64_t bound) { return next() % bound; }

    // The finaliser on its own: spreads every input bit over the whole output.
    static constexpr std::uint64_t mix(std::uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t m_state;
};
