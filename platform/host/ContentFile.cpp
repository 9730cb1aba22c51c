#include "platform/host/ContentFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

thread_local std::string lastError;
NoteSink noteSink = nullptr;

// Each path is noted once, however often it is opened (a song is tried as a
// module, then as a stream).
void Note(const std::string& path, const std::string& line)
{
    static std::mutex mutex;
    static std::set<std::string> noted;
    std::lock_guard<std::mutex> lock(mutex);
    if (!noteSink || !noted.insert(path).second) return;
    noteSink(line);
}

bool Exists(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// A name as a sequence of lower-cased code points; bytes that are not UTF-8
// stand for themselves (above the Unicode range, so they never meet a letter).
std::u32string Folded(const std::string& name)
{
    static locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    std::u32string out;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* end = p + name.size();
    while (p < end) {
        unsigned char lead = *p;
        int extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t c = extra ? lead & (0x3F >> extra) : lead;
        bool valid = lead < 0x80 || (extra > 0 && end - p > extra);
        for (int i = 1; valid && i <= extra; ++i) {
            valid = (p[i] & 0xC0) == 0x80;
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (!valid) {
            out += char32_t(0x110000 + lead);
            ++p;
            continue;
        }
        p += extra + 1;
        if (c < 0x80) c = (c >= 'A' && c <= 'Z') ? c + 32 : c;
        else if (utf8) c = char32_t(::towlower_l(wint_t(c), utf8));
        out += c;
    }
    return out;
}

// The one entry of folder whose name equals name ignoring case; empty when
// there is none or more than one.
std::string UniqueCaseMatch(const std::string& folder, const std::string& name)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    const std::u32string wanted = Folded(name);
    std::string found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (Folded(entry->d_name) != wanted) continue;
        found = entry->d_name;
        ++matches;
    }
    ::closedir(dir);
    return matches == 1 ? found : std::string();
}

// A disk holds its own files: a path that is absolute, climbs out of the
// disk folder with "..", or reaches a link to somewhere outside it is still
// opened (the format allows it) but noted once, so that the disk's maker can
// copy the file in.
std::string diskFolder;  // real path ending in '/'; empty: nothing is noted

void NoteIfOutside(const std::string& written, const std::string& resolved)
{
    if (diskFolder.empty()) return;
    char* real = ::realpath(resolved.c_str(), nullptr);
    if (!real) return;
    const std::string file = real;
    std::free(real);
    if (file.compare(0, diskFolder.size(), diskFolder) == 0) return;
    const char* how = resolved[0] == '/'                         ? "an absolute path"
                      : resolved.find("..") != std::string::npos ? "it climbs out with \"..\""
                                                                 : "a link leads out";
    Note("outside:" + written, "\"" + written + "\" lies outside the disk folder (" + how + ", to \"" + file +
                                   "\"): a disk should hold its own files\n");
}

}  // namespace

std::string ResolveContentPath(const std::string& path)
{
    std::string slashed = path;
    for (char& c : slashed)
        if (c == '\\') c = '/';
    if (slashed.empty() || Exists(slashed)) return slashed;

    // Walk the components, keeping those that exist and replacing the others
    // by their unique case-insensitive match.
    std::string resolved = slashed[0] == '/' ? "/" : "";
    size_t at = resolved.size();
    bool changed = false;
    while (at <= slashed.size()) {
        size_t next = slashed.find('/', at);
        if (next == std::string::npos) next = slashed.size();
        std::string part = slashed.substr(at, next - at);
        at = next + 1;
        if (part.empty()) continue;
        std::string candidate = resolved + part;
        if (part != "." && part != ".." && !Exists(candidate)) {
            std::string match = UniqueCaseMatch(resolved, part);
            if (match.empty()) return slashed;
            candidate = resolved + match;
            changed = true;
        }
        resolved = candidate;
        if (next < slashed.size()) resolved += '/';
    }
    if (changed) Note(path, "Opening \"" + resolved + "\" for \"" + path + "\" (letter case differs)\n");
    return changed ? resolved : slashed;
}

int OpenRegularFile(const std::string& path, uint64_t maxBytes, uint64_t* size)
{
    if (size) *size = 0;
    if (path.empty()) {
        lastError = "no path";
        return -1;
    }
    const std::string resolved = ResolveContentPath(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    int fd = ::open(resolved.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        lastError = std::strerror(errno);
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        lastError = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        lastError = "not a regular file";
        ::close(fd);
        return -1;
    }
    NoteIfOutside(path, resolved);
    if (info.st_size < 0 || uint64_t(info.st_size) > maxBytes) {
        lastError = "too large (" + std::to_string(info.st_size) + " bytes)";
        ::close(fd);
        return -1;
    }
    // Reads of a regular file never block anyway; callers get a plain descriptor.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (size) *size = uint64_t(info.st_size);
    return fd;
}

namespace {

// Reads until the end of the file or until buffer is full; -1 on an error.
ssize_t ReadUpTo(int fd, uint8_t* buffer, size_t length)
{
    size_t filled = 0;
    while (filled < length) {
        ssize_t n = ::read(fd, buffer + filled, length - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        filled += size_t(n);
    }
    return ssize_t(filled);
}

}  // namespace

bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    uint64_t size = 0;
    int fd = OpenRegularFile(path, maxBytes, &size);
    if (fd < 0) return false;
    bytes.resize(size_t(size));
    ssize_t got = ReadUpTo(fd, bytes.data(), bytes.size());
    bool ok = got >= 0;
    bool atEnd = ok && size_t(got) < bytes.size();
    if (ok) bytes.resize(size_t(got));
    // A file longer than its size said (it grew, or the system gives no size)
    // is read on, but never past the cap.
    uint8_t chunk[65536];
    while (ok && !atEnd) {
        got = ReadUpTo(fd, chunk, sizeof chunk);
        if (got < 0) {
            ok = false;
        } else if (bytes.size() + size_t(got) > maxBytes) {
            lastError = "too large (more than " + std::to_string(maxBytes) + " bytes)";
            ::close(fd);
            bytes.clear();
            return false;
        } else {
            bytes.insert(bytes.end(), chunk, chunk + got);
            atEnd = size_t(got) < sizeof chunk;
        }
    }
    if (!ok) lastError = std::strerror(errno);
    ::close(fd);
    if (!ok) bytes.clear();
    return ok;
}

const std::string& LastFileError()
{
    return lastError;
}

void SetLastFileError(const std::string& reason)
{
    lastError = reason;
}

void SetNoteSink(NoteSink sink)
{
    noteSink = sink;
}

void SetDiskFolder(const std::string& folder)
{
    diskFolder.clear();
    if (folder.empty()) return;
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real) return;
    diskFolder = real;
    std::free(real);
    if (diskFolder.back() != '/') diskFolder += '/';
}

}  // namespace host
