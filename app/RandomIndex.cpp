#include "RandomIndex.h"

namespace quellora {

namespace {
uint32_t state = 0;
}

int RandomIndex(int count)
{
    state = state * 134775813u + 1u;
    if (count <= 0)
        return 0;
    return int((uint64_t(uint32_t(count)) * state) >> 32);
}

uint32_t RandSeed()
{
    return state;
}

void SetRandSeed(uint32_t s)
{
    state = s;
}

} // namespace quellora
