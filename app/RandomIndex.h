#pragma once
// The one random index generator of the player, shared by the Play button,
// the tick and the action keys. Its state starts at 0 in every run and is
// never seeded, so the picks are the same sequence every time.

#include <cstdint>

namespace quellora {

// A number in 0 .. count - 1 (0 for a count of 0 or less).
int RandomIndex(int count);

// The generator's state; tests put it back to the start.
uint32_t RandSeed();
void SetRandSeed(uint32_t state);

} // namespace quellora
