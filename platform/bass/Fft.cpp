#include "platform/bass/Fft.h"

#include <cmath>
#include <complex>
#include <vector>

namespace bass {

void HannSpectrum(const float* samples, size_t n, float* magnitudes)
{
    if (n < 2 || (n & (n - 1)) != 0 || n > 4096) return;
    const double pi = 3.14159265358979323846;
    std::vector<std::complex<double>> x(n);
    // Periodic Hann window, then bit-reversed order for the in-place transform.
    size_t bits = 0;
    while ((size_t{1} << bits) < n) ++bits;
    for (size_t i = 0; i < n; ++i) {
        size_t r = 0;
        for (size_t b = 0; b < bits; ++b)
            if (i & (size_t{1} << b)) r |= size_t{1} << (bits - 1 - b);
        double w = 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / static_cast<double>(n));
        x[r] = samples[i] * w;
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        double angle = -2.0 * pi / static_cast<double>(len);
        std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < n; start += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                std::complex<double> even = x[start + k];
                std::complex<double> odd = x[start + k + len / 2] * w;
                x[start + k] = even + odd;
                x[start + k + len / 2] = even - odd;
                w *= step;
            }
        }
    }
    const double scale = 4.0 / static_cast<double>(n);
    for (size_t k = 0; k < n / 2; ++k) {
        double m = std::abs(x[k]) * scale;
        magnitudes[k] = static_cast<float>(m > 1.0 ? 1.0 : m);
    }
}

}  // namespace bass
