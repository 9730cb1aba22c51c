// One frame's operations on the back buffer (clears and draws), each as the
// bytes of everything it depends on and the pixels it can change. Two frames
// that start from the same clear give the same pixel wherever the operations
// that reach it are the same, in the same order: only the pixels of
// operations that one frame has and the other lacks can differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d9/TileCoverage.h"

namespace d3d9 {

class FrameRecord {
public:
    using Rect = TileCoverage::Rect;

    void Clear();
    // Starts an operation that can change `bounds`; its key is the bytes put
    // in with Key until the next Begin.
    void Begin(const Rect& bounds);
    void Key(const void* bytes, size_t size);
    size_t Size() const { return ops_.size(); }
    const Rect& Bounds(size_t op) const { return ops_[op].bounds; }
    // Whether an operation has the same key as one of another record.
    bool SameOp(size_t op, const FrameRecord& other, size_t otherOp) const
    {
        return Same(ops_[op], other, other.ops_[otherOp]);
    }

    // The pixels where this frame can differ from `before`, as rectangles
    // apart: the bounds of the operations left over when the two frames'
    // operations are matched in order (equal keys, a later one of `before`
    // skipping the ones in between).
    std::vector<Rect> Damage(const FrameRecord& before) const;

private:
    struct Op {
        size_t key, size;  // the key's bytes in keys_
        uint64_t hash;
        Rect bounds;
    };
    bool Same(const Op& a, const FrameRecord& other, const Op& b) const;
    std::vector<Op> ops_;
    std::vector<uint8_t> keys_;
};

}  // namespace d3d9
