// Scroller font files from arbitrary bytes: the file is installed as the
// scroller's font file is, and the glyph atlas is laid out and drawn with it
// at a size taken from the first byte (up to sizes far beyond the atlas). The
// seed fonts name their family "Fuzz Sans", as the face asked for here.
#include "layers/TextAtlas.h"
#include "platform/gdi/gdi.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static const std::wstring path = [] {
        host::SetRunMode(host::RunMode::Virtual);
        SetLogSink([](const std::string&) {}, false);
        char name[] = "/tmp/fuzz-font-XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) std::abort();
        close(fd);
        std::string narrow = name;
        return std::wstring(narrow.begin(), narrow.end());
    }();
    if (size < 1) return 0;
    const std::string narrow(path.begin(), path.end());
    std::FILE* file = std::fopen(narrow.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(bytes + 1, 1, size - 1, file);
    std::fclose(file);

    // 0 to 254: sizes 1 to 509 (some beyond the atlas); 255: a size that
    // overflows any arithmetic in pixels of 1/256.
    const int32_t fontSize = bytes[0] == 255 ? 9000000 : 1 + bytes[0] * 2;
    const bool added = AddFontResourceW(path.c_str()) > 0;
    static std::vector<uint32_t> coverage(size_t(TextAtlas::kSize) * TextAtlas::kSize);
    auto atlas = std::make_unique<TextAtlas>();
    RasterizeTextAtlas(*atlas, L"Fuzz Sans", fontSize, coverage.data(), L"A\u00e9\u20ac\u0416 Zz");
    for (int i = 0; i < 256; ++i)
        if (atlas->glyphTop[i] < 0 || atlas->glyphBottom[i] > TextAtlas::kSize ||
            atlas->glyphTop[i] > atlas->glyphBottom[i])
            std::abort();  // a cell reaches outside the atlas
    if (added) RemoveFontResourceW(path.c_str());
    return 0;
}
