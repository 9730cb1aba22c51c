// Compressed video through FFmpeg's libraries: the container follows the file's
// extension (.mp4: H.264 and AAC, .webm: VP9 and Opus, .mkv: H.264 and FLAC, or
// for an archive FFV1 and FLAC), the codec settings follow the video's purpose.
// Frames and sound are handed over from the capture's thread and encoded on a
// thread of the encoder's own, through a bounded queue: a full queue makes the
// caller wait, so memory stays flat however long the run.
#pragma once

#include "tools/capture/Chapters.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class VideoEncoder {
public:
    // What the video is made for. Plain: the extension's codecs at their defaults.
    // YouTube: .mp4 as video sites ask for uploads (H.264 High, closed GOPs of
    // half a second, 2 B-frames, BT.709, AAC-LC 48 kHz 384 kb/s). Web: .webm
    // small enough for a page. Archive: .mkv, lossless (H.264 in RGB, FLAC at
    // the show's own rate): it decodes back to the show's pixels and samples.
    enum class Target { Plain, YouTube, Web, Archive };

    struct Settings {
        std::string path;
        int width = 0;  // picture size in the file
        int height = 0;
        unsigned fps = 60;   // frame n is shown at n / fps seconds
        int crf = -1;        // quality; -1: the target's own (H.264 20, VP9 32 when plain)
        std::string preset;  // H.264 preset; empty: "fast"
        bool sound = true;   // an audio stream

        Target target = Target::Plain;
        bool chapters = false;  // a chapter list (given to Close)
    };

    // True for the extensions this encoder writes.
    static bool Handles(const std::string& path);
    // The target named NAME (youtube, web, archive); false if none is.
    static bool TargetNamed(const std::string& name, Target& target);
    // The extension a target writes (".mp4", ...), empty for Plain.
    static const char* ExtensionOf(Target target);
    // Whether the file's video codec takes a preset (H.264), and whether it knows this one.
    static bool TakesPreset(const std::string& path);
    static bool KnownPreset(const std::string& preset);

    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Creates the file, the streams and the encoder thread. False with Error() set.
    bool Open(const Settings& settings);

    // Queues frame n (RGBA, rows top first), scaled to the file's size: by
    // repeating each pixel when the file's size is a whole multiple of the
    // frame's (sharp pixel art at 2560x1440 or 3840x2160), else with a Lanczos
    // filter. Frames must come in order of n. False once encoding failed.
    bool AddFrame(uint64_t n, const uint8_t* rgba, int width, int height, size_t stride);
    // Queues interleaved 16-bit stereo at 44.1 kHz that starts at sample `first`
    // of the run; a gap before it is silence. False once encoding failed.
    bool AddSound(uint64_t first, const int16_t* samples, size_t frames);

    // Drains the queue, pads the sound to the picture's length, writes the
    // chapters (with Settings::chapters; each ends where the next begins, the
    // last at the end), finishes the file and closes it. False with Error() set
    // if anything failed.
    bool Close(const std::vector<Chapters::Chapter>& chapters = {});

    const std::string& Error() const { return error_; }
    uint64_t Frames() const { return frames_; }

private:
    struct Item {
        bool picture = true;
        uint64_t at = 0;  // frame number, or first sample
        int width = 0, height = 0;
        std::vector<uint8_t> bytes;
    };
    struct Codec;  // FFmpeg state, used by the worker thread only

    void Push(Item item);
    void Run();
    std::vector<uint8_t> TakeBuffer();
    void Fail(const std::string& error);
    bool Failed();

    std::unique_ptr<Codec> codec_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    std::vector<std::vector<uint8_t>> spare_;  // buffers handed back by the worker
    bool closing_ = false;
    bool open_ = false;
    std::string error_;
    uint64_t frames_ = 0;
};
