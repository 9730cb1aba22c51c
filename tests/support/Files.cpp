#include "tests/support/Files.h"

#include "platform/win32/Utf8.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace support {
namespace {

struct ProcessFolder {
    std::filesystem::path path;
    ProcessFolder()
    {
        path = std::filesystem::temp_directory_path() / ("mivola-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~ProcessFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

std::string TempPath(const std::string& name)
{
    static ProcessFolder folder;
    return (folder.path / name).string();
}

std::string OutputDir()
{
    const std::string dir = std::string(MIVOLA_BINARY_DIR) + "/tests/out";
    std::filesystem::create_directories(dir);
    return dir;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::vector<uint8_t> BmpBytes(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    const int row = (w * 3 + 3) & ~3;
    const uint32_t size = uint32_t(54 + row * h);
    std::vector<uint8_t> f(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    f[26] = 1;   // planes
    f[28] = 24;  // bits per pixel
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f[size_t(54 + y * row + x * 3)];
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return f;
}

XmlNode ElementFromText(const std::wstring& xml)
{
    static int count = 0;
    const std::string text = Utf8FromWide(xml.c_str());
    const std::string path = TempPath("element" + std::to_string(count++) + ".xml");
    EXPECT_TRUE(WriteFile(path, std::vector<uint8_t>(text.begin(), text.end())));
    IXMLDOMDocument* document = nullptr;
    EXPECT_TRUE(XmlLoadDocument(document, Wide(path).c_str()));
    XmlNode element = nullptr;
    XmlFirstChild(XmlDocumentNode(document), element, L"element");
    return element;
}

}  // namespace support
