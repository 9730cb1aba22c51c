#include "platform/d3d9/FrameScaler.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace d3d9 {

void FrameScaler::Tap(int d, int sourceSize, int size, int& first, int& weight)
{
    const double at = std::max(0.0, (d + 0.5) * sourceSize / size - 0.5);
    first = int(at);
    weight = int(std::lround((at - first) * 256));
    if (weight == 256) {
        ++first;
        weight = 0;
    }
    if (first >= sourceSize - 1) {
        // Past the last texel's centre: the last texel alone, taken as the
        // second of a pair so that the pair stays inside the row.
        first = std::max(0, sourceSize - 2);
        weight = sourceSize > 1 ? 256 : 0;
    }
}

void FrameScaler::Prepare(int sourceWidth, int sourceHeight, int width, int height)
{
    if (sourceWidth == sourceWidth_ && sourceHeight == sourceHeight_ && width == width_ && height == height_) return;
    sourceWidth_ = sourceWidth;
    sourceHeight_ = sourceHeight;
    width_ = width;
    height_ = height;
    columns_.resize(size_t(width));
    weights_.resize(size_t(width) * 8);
    for (int x = 0; x < width; ++x) {
        int w = 0;
        Tap(x, sourceWidth, width, columns_[size_t(x)], w);
        for (int c = 0; c < 4; ++c) {
            weights_[size_t(x) * 8 + size_t(c)] = uint16_t(256 - w);
            weights_[size_t(x) * 8 + 4 + size_t(c)] = uint16_t(w);
        }
    }
    // Two spare pixels: the vector loops below run in steps of two and four.
    for (Rows& rows : rows_)
        for (auto& row : rows.row) row.assign(size_t(width + 2) * 4, 0);
}

void FrameScaler::Reach(int s0, int s1, int sourceSize, int size, int& first, int& end)
{
    first = size;
    end = 0;
    for (int d = 0; d < size; ++d) {
        int texel = 0, weight = 0;
        Tap(d, sourceSize, size, texel, weight);
        if (texel + 1 < s0) continue;
        if (texel >= s1) break;
        first = std::min(first, d);
        end = d + 1;
    }
}

FrameScaler::Region FrameScaler::Reaching(int x0, int y0, int x1, int y1) const
{
    Region r{};
    Reach(x0, x1, sourceWidth_, width_, r.x0, r.x1);
    Reach(y0, y1, sourceHeight_, height_, r.y0, r.y1);
    return r;
}

void FrameScaler::ScaleRow(const uint8_t* row, uint16_t* out, int left, int right) const
{
    int x = left;
    if (sourceWidth_ == 1) {
        for (; x < right; ++x)
            for (int c = 0; c < 4; ++c) out[x * 4 + c] = uint16_t(row[c] * 256);
        return;
    }
#if defined(__SSE2__)
    // Two destination pixels a step; each reads its texel pair as 8 bytes.
    const __m128i zero = _mm_setzero_si128();
    for (; x + 1 < right; x += 2) {
        const __m128i a = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + size_t(columns_[size_t(x)]) * 4)), zero);
        const __m128i b = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + size_t(columns_[size_t(x) + 1]) * 4)), zero);
        const __m128i wa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&weights_[size_t(x) * 8]));
        const __m128i wb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&weights_[size_t(x) * 8 + 8]));
        const __m128i ma = _mm_mullo_epi16(a, wa);
        const __m128i mb = _mm_mullo_epi16(b, wb);
        const __m128i sum = _mm_add_epi16(_mm_unpacklo_epi64(ma, mb), _mm_unpackhi_epi64(ma, mb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(x) * 4), sum);
    }
#endif
    for (; x < right; ++x) {
        const uint8_t* p = row + size_t(columns_[size_t(x)]) * 4;
        const uint16_t* w = &weights_[size_t(x) * 8];
        for (int c = 0; c < 4; ++c) out[x * 4 + c] = uint16_t(p[c] * w[0] + p[c + 4] * w[4]);
    }
}

void FrameScaler::Scale(const uint8_t* source, size_t sourcePitch, uint8_t* destination, size_t pitch)
{
    Scale(source, sourcePitch, destination, pitch, Region{0, 0, width_, height_});
}

void FrameScaler::Scale(const uint8_t* source, size_t sourcePitch, uint8_t* destination, size_t pitch,
                        const Region& region)
{
    const int x0 = std::max(region.x0, 0), x1 = std::min(region.x1, width_);
    const int y0 = std::max(region.y0, 0), y1 = std::min(region.y1, height_);
    if (x0 >= x1 || y0 >= y1) return;
    // Small regions are not worth a second thread.
    if (size_t(x1 - x0) * size_t(y1 - y0) < 65536 || y1 - y0 < 2) {
        ScaleRows(Job{source, sourcePitch, destination, pitch, y0, y1, x0, x1}, rows_[0]);
        return;
    }
    const int half = (y0 + y1) / 2;
    const Job lower{source, sourcePitch, destination, pitch, half, y1, x0, x1};
    helper_.Post([this, lower] { ScaleRows(lower, rows_[1]); });
    ScaleRows(Job{source, sourcePitch, destination, pitch, y0, half, x0, x1}, rows_[0]);
    helper_.Wait();
}

void FrameScaler::ScaleRows(const Job& job, Rows& cache) const
{
    const size_t n = size_t(job.right) * 4;
    cache.of[0] = cache.of[1] = -1;  // rows kept from the last frame are stale
    for (int y = job.top; y < job.bottom; ++y) {
        int top = 0, weight = 0;
        Tap(y, sourceHeight_, height_, top, weight);
        if (weight == 256) {
            // The last row alone: as the top row, so the weights stay under 2^16.
            ++top;
            weight = 0;
        }
        const int bottom = std::min(top + 1, sourceHeight_ - 1);
        // The two source rows, scaled along x once each and kept while the
        // destination rows below still use them.
        const uint16_t* rows[2];
        const int want[2] = {top, bottom};
        int used = -1;
        for (int k = 0; k < 2; ++k) {
            int slot = cache.of[0] == want[k] ? 0 : cache.of[1] == want[k] ? 1 : -1;
            if (slot < 0) {
                slot = used == 0 ? 1 : used == 1 ? 0 : (cache.of[0] == want[1 - k] ? 1 : 0);
                ScaleRow(job.source + size_t(want[k]) * job.sourcePitch, cache.row[slot].data(), job.left, job.right);
                cache.of[slot] = want[k];
            }
            used = slot;
            rows[k] = cache.row[slot].data();
        }
        uint8_t* out = job.destination + size_t(y) * job.pitch;
        // Each channel: (top * (256 - w) + bottom * w) / 65536, rounded; with the
        // weights as 8.8 multipliers, (r * (w << 8)) >> 16 is r * w / 256 truncated.
        const unsigned wTop = unsigned(256 - weight) << 8, wBottom = unsigned(weight) << 8;
        size_t i = size_t(job.left) * 4;
#if defined(__SSE2__)
        const __m128i half = _mm_set1_epi16(128);
        const __m128i mt = _mm_set1_epi16(short(wTop));
        const __m128i mb = _mm_set1_epi16(short(wBottom));
        for (; i + 16 <= n; i += 16) {
            __m128i v[2];
            for (int k = 0; k < 2; ++k) {
                const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + i + size_t(k) * 8));
                if (weight == 0) {
                    v[k] = _mm_srli_epi16(_mm_add_epi16(t, half), 8);
                } else {
                    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + i + size_t(k) * 8));
                    v[k] = _mm_srli_epi16(
                        _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epu16(t, mt), _mm_mulhi_epu16(b, mb)), half), 8);
                }
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v[0], v[1]));
        }
#endif
        for (; i < n; ++i) {
            const unsigned t = rows[0][i];
            const unsigned v = weight == 0 ? t : ((t * wTop) >> 16) + ((unsigned(rows[1][i]) * wBottom) >> 16);
            out[i] = uint8_t((v + 128) >> 8);
        }
    }
}

}  // namespace d3d9
