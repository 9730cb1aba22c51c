// Helpers of the reader tests: loading bytes written by Writer3ds.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "scene3ds/C3ds.h"
#include "tools/writers/Writer3ds.h"

struct SceneDeleter {
    void operator()(Scene3ds* root) const { Free3ds(root); }
};
using ScenePtr = std::unique_ptr<Scene3ds, SceneDeleter>;

struct Loaded {
    int result = 0;
    LoadError error = LoadErrorNone;
    ScenePtr root;
};

// Loads from a copy that ends exactly at the end of its allocation, so that a read
// past the file leaves the allocation (and AddressSanitizer sees it).
inline Loaded LoadBytes(const std::vector<uint8_t>& bytes)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    C3ds reader;
    Scene3ds* root = nullptr;
    Loaded loaded;
    loaded.result = reader.Load3dsMemory(exact.get(), bytes.size(), &root);
    loaded.error = reader.Error();
    loaded.root.reset(root);
    return loaded;
}

// Closes the chunks still open and loads the bytes.
inline Loaded Load(Writer3ds& w)
{
    return LoadBytes(w.Finish());
}
