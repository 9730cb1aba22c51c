// Files the tests make: a temporary folder of the process, the folder for
// pictures to look at, and small picture and XML files written from code.
#pragma once

#include "data/XmlAccess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// A path in a folder of this process under the system's temp folder, removed at exit.
std::string TempPath(const std::string& name);
// Where tests leave pictures to look at: <build>/tests/out.
std::string OutputDir();

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::wstring Wide(const std::string& text);  // ASCII paths for the wide calls

// An uncompressed 24-bit bottom-up BMP of w x h in one colour.
std::vector<uint8_t> BmpBytes(int w, int h, uint8_t r, uint8_t g, uint8_t b);

// The first element of a document written from text (kept loaded for the
// whole run: nodes point into it).
XmlNode ElementFromText(const std::wstring& xml);

}  // namespace support
