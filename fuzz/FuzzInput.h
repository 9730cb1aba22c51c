// What the fuzz targets that read files share: one scratch file per process,
// rewritten with each input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzz {

// A new empty file /tmp/fuzz-<stem>-XXXXXX; aborts when none can be made.
inline std::string ScratchFile(const std::string& stem)
{
    std::string name = "/tmp/fuzz-" + stem + "-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) std::abort();
    close(fd);
    return name;
}

// The file holds exactly these bytes afterwards; false when it cannot be written.
inline bool WriteInput(const std::string& path, const uint8_t* bytes, size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fwrite(bytes, 1, size, file);
    std::fclose(file);
    return true;
}

}  // namespace fuzz
