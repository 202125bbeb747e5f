// The uniform integer generator of the Windows C runtime, reproduced bit for bit so that a
// given seed draws the same Monte Carlo samples on every platform. Used by the Monte Carlo
// sampler; its one state word is process-wide, like the C library's rand state.
#pragma once

#include <cstdint>

// Largest value crt_rand returns; every value 0..kCrtRandMax is possible.
constexpr int kCrtRandMax = 32767;

// Sets the generator state to seed (the state before the first crt_rand is 1).
void crt_srand(std::uint32_t seed);
// Advances the state (state * 214013 + 2531011 modulo 2^32) and returns bits 16..30 of it.
int crt_rand();
// crt_rand() * 2^-15: a uniform fraction in [0, 1) with 2^15 equal steps.
double crt_fraction();
