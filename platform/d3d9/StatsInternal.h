// Counting hooks used inside the Direct3D 9 stand-in.
#pragma once

#include <cstdint>

namespace d3d9 {

void CountShaderCompile();
void CountGlObject(uint64_t n = 1);
void CountAllocation();
void CountDraw();
void CountUniform();
void CountPresent();
void CountMultisampledPixels(uint64_t n);
bool FailHardwareVertexProcessing();
// Bytes of texture memory the device may still hand out (test limit).
bool ReserveTextureMemory(uint64_t bytes);
void ReleaseTextureMemory(uint64_t bytes);

}  // namespace d3d9
