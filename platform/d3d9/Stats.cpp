#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/StatsInternal.h"

namespace d3d9 {
namespace {
Stats stats;
bool failHardware = false;
bool multisampleEverything = false;
bool redrawEverything = false;
uint64_t memoryLimit = 0;  // 0: no limit
uint64_t memoryUsed = 0;
}  // namespace

const Stats& GetStats()
{
    return stats;
}
void ResetStats()
{
    stats = Stats{};
}
void SetFailHardwareVertexProcessing(bool fail)
{
    failHardware = fail;
}
void SetMultisampleEverything(bool on)
{
    multisampleEverything = on;
}
bool MultisampleEverything()
{
    return multisampleEverything;
}
void SetRedrawEverything(bool on)
{
    redrawEverything = on;
}
bool RedrawEverything()
{
    return redrawEverything;
}
void SetTextureMemoryLimit(uint64_t bytes)
{
    memoryLimit = bytes;
}

void CountShaderCompile()
{
    ++stats.shaderCompiles;
}
void CountGlObject(uint64_t n)
{
    stats.glObjectsCreated += n;
}
void CountAllocation()
{
    ++stats.allocations;
}
void CountDraw()
{
    ++stats.drawCalls;
}
void CountUniform()
{
    ++stats.uniformUploads;
}
void CountPresent()
{
    ++stats.presents;
}
void CountMultisampledPixels(uint64_t n)
{
    stats.multisampledPixels += n;
}
bool FailHardwareVertexProcessing()
{
    return failHardware;
}

bool ReserveTextureMemory(uint64_t bytes)
{
    if (memoryLimit && memoryUsed + bytes > memoryLimit) return false;
    memoryUsed += bytes;
    return true;
}
void ReleaseTextureMemory(uint64_t bytes)
{
    memoryUsed = bytes > memoryUsed ? 0 : memoryUsed - bytes;
}

}  // namespace d3d9
