// Running the built programs from a test: a shell command's output and exit
// status, files read and written whole, a fresh scratch folder, and where the
// capture tool and the generated test disk are.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace support {

// What a command printed and how it ended; status -1 when it did not exit.
struct CommandResult {
    int status = -1;
    std::string out;
    bool Has(const std::string& text) const { return out.find(text) != std::string::npos; }
};

// Runs `command` through the shell and reads its standard output (add " 2>&1"
// for its errors too).
inline CommandResult RunCommand(const std::string& command)
{
    CommandResult r;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// `text` as one shell word, whatever it holds.
inline std::string Quote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteText(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// An empty folder named after `name` and this process, under the system's temp folder.
inline std::filesystem::path FreshDir(const std::string& name)
{
    const auto dir =
        std::filesystem::temp_directory_path() / ("mivola-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

#ifdef MIVOLA_BINARY_DIR
inline const std::filesystem::path kCaptureTool =
    std::filesystem::path(MIVOLA_BINARY_DIR) / "tools/capture/mivola-capture";
inline const std::filesystem::path kTestContent = std::filesystem::path(MIVOLA_BINARY_DIR) / "content/test";
#endif

}  // namespace support
