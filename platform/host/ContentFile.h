// Opening the files a content folder names (pictures, songs, XML, fonts, scenes)
// safely: only regular files, without blocking on a FIFO, and never reading
// more than a stated size. Paths written on Windows are read the Windows way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// The largest content file that is read: 512 MiB. The largest picture the
// device takes (8192 x 8192, 32 bits, uncompressed) is 256 MiB; the longest
// songs are far below this. Anything larger is refused as "too large" before
// a byte of it is read.
constexpr uint64_t kMaxContentFileBytes = uint64_t(512) << 20;

// The path a content file is opened by: every '\' reads as '/', and where no
// file has the exact name, the one entry of its folder that matches it when
// letter case is ignored (a disk made on Windows). With no such entry, or with
// several, the path is returned unchanged and opening it fails. A case match
// is reported through the note sink.
std::string ResolveContentPath(const std::string& path);

// Opens path (resolved as above) for reading when it is a regular file of at
// most maxBytes. The type is checked on the opened descriptor, and the open
// never waits for a FIFO's writer. Returns the descriptor, which the caller
// closes, and its size; -1 on failure, with LastFileError() set.
int OpenRegularFile(const std::string& path, uint64_t maxBytes, uint64_t* size = nullptr);

// The whole of such a file. A file that grows past maxBytes while it is read
// is refused too.
bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes);

// Why the last failing open or read of this thread failed, in a few words:
// "not a regular file", "too large (N bytes)", the system's reason ("No such
// file or directory"). Decoders that reject a file's contents set their own
// reason, so that the caller can name it.
const std::string& LastFileError();
void SetLastFileError(const std::string& reason);

// The folder of the disk being shown. A file opened outside it (an absolute
// path, one that climbs out with "..", a link that leads out) is still opened
// but noted once. Empty (the default): nothing is noted.
void SetDiskFolder(const std::string& folder);

// Where notes about file lookups go (the log); null drops them.
using NoteSink = void (*)(const std::string& line);
void SetNoteSink(NoteSink sink);

}  // namespace host
