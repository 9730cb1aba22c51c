// Catalogue files from arbitrary bytes: parsing, the songs and interface
// sections, every layer class's Load, then releasing it all. The document is
// read twice, as "art.xml" and as "interface.xml" are, so a second section of
// each kind is exercised too.
#include "data/ArtshowData.h"
#include "data/Catalogue.h"
#include "data/XmlAccess.h"
#include "layers/LayerTypes.h"
#include "platform/host/Host.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::wstring TempFile()
{
    char name[] = "/tmp/fuzz-catalogue-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    std::string narrow = name;
    return std::wstring(narrow.begin(), narrow.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static const std::wstring path = [] {
        host::SetRunMode(host::RunMode::Virtual);
        SetLogSink([](const std::string&) {}, false);
        return TempFile();
    }();
    std::string narrow(path.begin(), path.end());
    std::FILE* file = std::fopen(narrow.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(bytes, 1, size, file);
    std::fclose(file);

    IXMLDOMDocument* document = nullptr;
    if (!XmlLoadDocument(document, path.c_str())) return 0;
    ReadCatalogue(data, XmlDocumentNode(document), L"art.xml", CreateLayer);
    std::wstring settingsError;
    ReadRenderSettings(data, XmlDocumentNode(document), L"art.xml", settingsError);
    ReadCatalogue(data, XmlDocumentNode(document), L"interface.xml", CreateLayer);
    XmlRelease(document);
    ClearCatalogue(data);
    return 0;
}
