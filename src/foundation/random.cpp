#include "foundation/random.hpp"

#include "foundation/settings.hpp"

#include <algorithm>

std::mt19937& threadRandomEngine()
{
    thread_local std::mt19937 engine{std::random_device{}()};
    return engine;
}

std::uint32_t gf_randomBelow(std::uint32_t n)
{
    if (!RANDOM.value() || n < 2) {
        return 0;
    }
    return static_cast<std::uint32_t>(threadRandomEngine()()) % n;
}

void gf_shuffle(std::vector<std::string>& list)
{
    if (RANDOM.value() && list.size() > 1) {
        std::shuffle(list.begin(), list.end(), threadRandomEngine());
    }
}

double gf_randomJitter(double value, double percent)
{
    if (!(percent > 0.0)) {
        return value;
    }
    const double change = value * percent / 100.0;
    return (threadRandomEngine()() % 2 == 0) ? value + change : value - change;
}
