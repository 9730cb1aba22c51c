// Magnitude spectrum of a block of mono samples, as the audio library's FFT
// requests return it.
#pragma once

#include <cstddef>

namespace bass {

// Hann-windowed FFT of n samples (n a power of two, 2..4096); writes n/2
// magnitudes, bin 0 being DC. Scaled by 4/n so that a full-scale sine centred
// on a bin reads 1 there (the window's mean gain is 1/2 and a real sine splits
// its energy over two mirrored bins), then clamped to 0..1. Exact zeros in
// give exact zeros out.
void HannSpectrum(const float* samples, size_t n, float* magnitudes);

}  // namespace bass
