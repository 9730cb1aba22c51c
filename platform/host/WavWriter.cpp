#include "platform/host/WavWriter.h"

#include "platform/host/Host.h"

#include <cerrno>
#include <memory>
#include <vector>

namespace host {
namespace {

constexpr uint32_t kRate = 44100;
constexpr uint16_t kChannels = 2;
constexpr uint16_t kBits = 16;
constexpr uint32_t kFrameBytes = kChannels * kBits / 8;
// A RIFF size is 32 bits: past this the file is cut off, not corrupted.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36 - 3;

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::vector<uint8_t> Header(uint32_t dataBytes)
{
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    Put32(h, 36 + dataBytes);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(h, 16);
    Put16(h, 1);  // PCM
    Put16(h, kChannels);
    Put32(h, kRate);
    Put32(h, kRate * kFrameBytes);
    Put16(h, kFrameBytes);
    Put16(h, kBits);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    Put32(h, dataBytes);
    return h;
}

std::unique_ptr<WavWriter>& CaptureWriter()
{
    static std::unique_ptr<WavWriter> writer;
    return writer;
}

}  // namespace

void WavWriter::MarkFailed()
{
    if (!failed_) errorNumber_ = errno;
    failed_ = true;
}

WavWriter::~WavWriter()
{
    Close();
}

bool WavWriter::Open(const std::string& path)
{
    Close();
    frames_ = 0;
    failed_ = false;
    errorNumber_ = 0;
    errno = 0;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        MarkFailed();
        return false;
    }
    std::vector<uint8_t> h = Header(0);
    if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) MarkFailed();
    return !failed_;
}

bool WavWriter::Write(const int16_t* samples, size_t frames)
{
    if (!file_ || failed_) return false;
    uint64_t room = kMaxDataBytes / kFrameBytes - frames_;
    size_t take = frames > room ? static_cast<size_t>(room) : frames;
    // WAV is little-endian, like every machine this builds for.
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
    errno = 0;
    if (take && std::fwrite(samples, kFrameBytes, take, file_) != take) MarkFailed();
    else frames_ += take;
    return !failed_ && take == frames;
}

bool WavWriter::Close()
{
    if (!file_) return !failed_;
    std::vector<uint8_t> h = Header(static_cast<uint32_t>(frames_ * kFrameBytes));
    errno = 0;
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h.data(), 1, h.size(), file_) != h.size())
        MarkFailed();
    if (std::fclose(file_) != 0) MarkFailed();
    file_ = nullptr;
    return !failed_;
}

bool CaptureSoundToWav(const std::string& path)
{
    auto& writer = CaptureWriter();
    if (!writer) {
        writer = std::make_unique<WavWriter>();
        AddExitHook([] {
            if (CaptureWriter()) CaptureWriter()->Close();
        });
    }
    if (!writer->Open(path)) return false;
    SetSoundSink([](const int16_t* samples, size_t frames) {
        if (CaptureWriter()) CaptureWriter()->Write(samples, frames);
    });
    return true;
}

}  // namespace host
