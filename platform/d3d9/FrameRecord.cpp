#include "platform/d3d9/FrameRecord.h"

#include <algorithm>
#include <cstring>

namespace d3d9 {

namespace {

// How far ahead in the earlier frame a match is looked for: operations that
// went missing (a picture no longer drawn) are skipped up to this many.
constexpr size_t kLookAhead = 64;

}  // namespace

void FrameRecord::Clear()
{
    ops_.clear();
    keys_.clear();
}

void FrameRecord::Begin(const Rect& bounds)
{
    ops_.push_back(Op{keys_.size(), 0, 14695981039346656037ull, bounds});
}

void FrameRecord::Key(const void* bytes, size_t size)
{
    Op& op = ops_.back();
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    keys_.insert(keys_.end(), b, b + size);
    op.size += size;
    // Eight bytes at a time: keys are a few kilobytes, and every frame's are hashed.
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, b + i, 8);
        op.hash = (op.hash ^ word) * 0x9E3779B97F4A7C15ull;
        op.hash ^= op.hash >> 29;
    }
    for (; i < size; ++i) op.hash = (op.hash ^ b[i]) * 1099511628211ull;
}

bool FrameRecord::Same(const Op& a, const FrameRecord& other, const Op& b) const
{
    return a.hash == b.hash && a.size == b.size &&
           (a.size == 0 || std::memcmp(&keys_[a.key], &other.keys_[b.key], a.size) == 0);
}

std::vector<FrameRecord::Rect> FrameRecord::Damage(const FrameRecord& before) const
{
    std::vector<Rect> damage;
    size_t next = 0;  // the first operation of `before` not matched or skipped
    for (const Op& op : ops_) {
        size_t match = next;
        const size_t end = std::min(before.ops_.size(), next + kLookAhead);
        while (match < end && !Same(op, before, before.ops_[match])) ++match;
        if (match == end) {
            TileCoverage::AddApart(damage, op.bounds);
            continue;
        }
        for (; next < match; ++next) TileCoverage::AddApart(damage, before.ops_[next].bounds);
        next = match + 1;
    }
    for (; next < before.ops_.size(); ++next) TileCoverage::AddApart(damage, before.ops_[next].bounds);
    return damage;
}

}  // namespace d3d9
