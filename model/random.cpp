#include "random.h"

namespace model {

std::int32_t rngState = 1;

double uniformRandom()
{
    const auto next = mulMod(RandomMultiplier, static_cast<std::uint32_t>(rngState));
    rngState = static_cast<std::int32_t>(next);
    return deviateOf(next);
}

} // namespace model
