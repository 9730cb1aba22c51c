#include "tools/capture/VideoEncoder.h"
#include "tools/capture/Yuv709.h"

extern "C" {
#include <libavutil/log.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr int kSoundRate = 44100;  // what the capture hands over
constexpr size_t kQueueItems = 8;  // pictures and sound blocks waiting for the worker

enum class Kind { None, Mp4, WebM, Mkv };

Kind KindOf(const std::string& path)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos) return Kind::None;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "mp4") return Kind::Mp4;
    if (ext == "webm") return Kind::WebM;
    if (ext == "mkv") return Kind::Mkv;
    return Kind::None;
}

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

struct VideoEncoder::Codec {
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;
    uint64_t soundIn = 0;  // 44.1 kHz samples taken in, silence included
    int64_t soundOut = 0;  // samples at the encoder's rate sent to it
    std::vector<uint8_t> converted;
    std::string error;

    ~Codec()
    {
        sws_freeContext(scaler);
        swr_free(&resampler);
        if (fifo) av_audio_fifo_free(fifo);
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
    }

    bool Check(int code, const char* what)
    {
        if (code >= 0) return true;
        if (error.empty()) error = std::string(what) + ": " + AvError(code);
        return false;
    }

    bool WriteFile()
    {
        if (format->pb && format->pb->error < 0) return Check(format->pb->error, "write");
        return true;
    }

    // Sends a frame (null: flush) and writes every packet the encoder has ready.
    bool Encode(AVCodecContext* context, AVStream* stream, AVFrame* frame)
    {
        int code = avcodec_send_frame(context, frame);
        if (!Check(code, "encode")) return false;
        for (;;) {
            code = avcodec_receive_packet(context, packet);
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
            if (!Check(code, "encode")) return false;
            av_packet_rescale_ts(packet, context->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (!Check(av_interleaved_write_frame(format, packet), "write") || !WriteFile()) return false;
        }
    }

    bool Picture(uint64_t n, const uint8_t* rgba, int width, int height)
    {
        if (width == video->width && height == video->height) {
            // At its own size the picture needs no scaler, only the colour conversion.
            if (!Check(av_frame_make_writable(picture), "frame")) return false;
            RgbaToYuv709(rgba, width, height, size_t(width) * 4, picture->data, picture->linesize);
            picture->pts = static_cast<int64_t>(n);
            return Encode(video, videoStream, picture);
        }
        SwsContext* next =
            sws_getCachedContext(scaler, width, height, AV_PIX_FMT_RGBA, video->width, video->height,
                                 AV_PIX_FMT_YUV420P, SWS_LANCZOS, nullptr, nullptr, nullptr);
        if (!next) {
            error = "cannot scale the picture";
            return false;
        }
        if (next != scaler) {
            // Full-range RGB to studio-range BT.709, as the stream is tagged.
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(next, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
            scaler = next;
        }
        if (!Check(av_frame_make_writable(picture), "frame")) return false;
        const uint8_t* source[1] = {rgba};
        const int sourceStride[1] = {width * 4};
        sws_scale(scaler, source, sourceStride, 0, height, picture->data, picture->linesize);
        picture->pts = static_cast<int64_t>(n);
        return Encode(video, videoStream, picture);
    }

    // Sends whole encoder frames from the FIFO; with `last`, the rest too.
    bool DrainSound(bool last)
    {
        int size = audio->frame_size > 0 ? audio->frame_size : 1024;
        while (av_audio_fifo_size(fifo) >= size || (last && av_audio_fifo_size(fifo) > 0)) {
            int take = std::min(size, av_audio_fifo_size(fifo));
            av_frame_unref(sound);
            sound->nb_samples = take;
            sound->format = audio->sample_fmt;
            sound->sample_rate = audio->sample_rate;
            if (!Check(av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout), "sound") ||
                !Check(av_frame_get_buffer(sound, 0), "sound"))
                return false;
            if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), take) != take) {
                error = "sound buffer";
                return false;
            }
            sound->pts = soundOut;
            soundOut += take;
            if (!Encode(audio, audioStream, sound)) return false;
        }
        return true;
    }

    // Resamples interleaved 44.1 kHz stereo (null: the resampler's tail) into the FIFO.
    bool Resample(const int16_t* samples, int count)
    {
        int room = swr_get_out_samples(resampler, count);
        if (room < 0) return Check(room, "resample");
        uint8_t** planes = nullptr;
        int lines = 0;
        if (!Check(av_samples_alloc_array_and_samples(&planes, &lines, 2, room + 1, audio->sample_fmt, 0),
                   "resample"))
            return false;
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
        int made = swr_convert(resampler, planes, room + 1, samples ? in : nullptr, count);
        bool ok = Check(made, "resample");
        if (ok && made > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(planes), made) != made) {
            error = "sound buffer";
            ok = false;
        }
        av_freep(&planes[0]);
        av_freep(&planes);
        return ok && DrainSound(false);
    }

    bool Silence(uint64_t until)
    {
        static const int16_t zeros[2 * 4096] = {};
        while (soundIn < until) {
            int count = static_cast<int>(std::min<uint64_t>(4096, until - soundIn));
            if (!Resample(zeros, count)) return false;
            soundIn += static_cast<uint64_t>(count);
        }
        return true;
    }

    bool Sound(uint64_t first, const int16_t* samples, size_t frames)
    {
        if (!Silence(first)) return false;
        // Sound that overlaps what was taken already is dropped (it never does).
        size_t skip = soundIn > first ? static_cast<size_t>(std::min<uint64_t>(soundIn - first, frames)) : 0;
        samples += skip * 2;
        frames -= skip;
        while (frames > 0) {
            int count = static_cast<int>(std::min<size_t>(frames, 1 << 16));
            if (!Resample(samples, count)) return false;
            samples += static_cast<size_t>(count) * 2;
            frames -= static_cast<size_t>(count);
            soundIn += static_cast<uint64_t>(count);
        }
        return true;
    }
};

bool VideoEncoder::Handles(const std::string& path)
{
    return KindOf(path) != Kind::None;
}

bool VideoEncoder::TakesPreset(const std::string& path)
{
    Kind kind = KindOf(path);
    return kind == Kind::Mp4 || kind == Kind::Mkv;
}

bool VideoEncoder::KnownPreset(const std::string& preset)
{
    for (const char* known : {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow",
                              "slower", "veryslow", "placebo"})
        if (preset == known) return true;
    return false;
}

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder()
{
    if (worker_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
}

bool VideoEncoder::Open(const Settings& settings)
{
    // Failures come back as messages of our own; FFmpeg's chatter stays off.
    av_log_set_level(AV_LOG_FATAL);
    auto codec = std::make_unique<Codec>();
    Codec& c = *codec;
    Kind kind = KindOf(settings.path);
    if (kind == Kind::None) {
        error_ = "not a .mp4, .webm or .mkv file";
        return false;
    }
    const char* formatName = kind == Kind::Mp4 ? "mp4" : kind == Kind::WebM ? "webm" : "matroska";
    if (!c.Check(avformat_alloc_output_context2(&c.format, nullptr, formatName, settings.path.c_str()),
                 "container")) {
        error_ = c.error;
        return false;
    }
    bool globalHeader = (c.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    unsigned cores = std::max(1u, std::min(16u, std::thread::hardware_concurrency()));

    // Picture.
    const char* videoName = kind == Kind::WebM ? "libvpx-vp9" : "libx264";
    const AVCodec* videoCodec = avcodec_find_encoder_by_name(videoName);
    if (!videoCodec) {
        error_ = std::string("no ") + videoName + " encoder in this FFmpeg";
        return false;
    }
    c.video = avcodec_alloc_context3(videoCodec);
    AVCodecContext* v = c.video;
    v->width = settings.width;
    v->height = settings.height;
    v->pix_fmt = AV_PIX_FMT_YUV420P;
    v->time_base = AVRational{1, static_cast<int>(settings.fps)};
    v->framerate = AVRational{static_cast<int>(settings.fps), 1};
    v->gop_size = static_cast<int>(settings.fps) * 4;
    v->color_range = AVCOL_RANGE_MPEG;
    v->colorspace = AVCOL_SPC_BT709;
    v->color_primaries = AVCOL_PRI_BT709;
    v->color_trc = AVCOL_TRC_BT709;
    if (globalHeader) v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (kind == Kind::WebM) {
        // Constant quality: a CRF with no target bit rate; row threads keep all cores busy.
        v->bit_rate = 0;
        v->thread_count = static_cast<int>(cores);
        av_opt_set_int(v->priv_data, "crf", settings.crf >= 0 ? settings.crf : 32, 0);
        av_opt_set_int(v->priv_data, "row-mt", 1, 0);
        av_opt_set(v->priv_data, "deadline", "good", 0);
        av_opt_set_int(v->priv_data, "cpu-used", 4, 0);
        av_opt_set_int(v->priv_data, "tile-columns", 2, 0);
    } else {
        av_opt_set_double(v->priv_data, "crf", settings.crf >= 0 ? settings.crf : 20, 0);
        if (av_opt_set(v->priv_data, "preset", settings.preset.empty() ? "fast" : settings.preset.c_str(),
                       0) < 0) {
            error_ = "unknown H.264 preset \"" + settings.preset + "\"";
            return false;
        }
    }
    if (!c.Check(avcodec_open2(v, videoCodec, nullptr), videoName)) {
        error_ = c.error;
        return false;
    }
    c.videoStream = avformat_new_stream(c.format, nullptr);
    if (!c.videoStream || !c.Check(avcodec_parameters_from_context(c.videoStream->codecpar, v), "stream")) {
        error_ = c.error.empty() ? "stream" : c.error;
        return false;
    }
    c.videoStream->time_base = v->time_base;
    c.videoStream->avg_frame_rate = v->framerate;

    // Sound.
    if (settings.sound) {
        const char* audioName = kind == Kind::Mp4 ? "aac" : kind == Kind::WebM ? "libopus" : "flac";
        const AVCodec* audioCodec = avcodec_find_encoder_by_name(audioName);
        if (!audioCodec) {
            error_ = std::string("no ") + audioName + " encoder in this FFmpeg";
            return false;
        }
        c.audio = avcodec_alloc_context3(audioCodec);
        AVCodecContext* a = c.audio;
        a->sample_fmt = audioCodec->sample_fmts ? audioCodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        a->sample_rate = kind == Kind::WebM ? 48000 : kSoundRate;  // Opus runs at 48 kHz
        av_channel_layout_default(&a->ch_layout, 2);
        a->time_base = AVRational{1, a->sample_rate};
        if (kind == Kind::Mp4) a->bit_rate = 192000;
        if (kind == Kind::WebM) a->bit_rate = 160000;
        if (globalHeader) a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (!c.Check(avcodec_open2(a, audioCodec, nullptr), audioName)) {
            error_ = c.error;
            return false;
        }
        c.audioStream = avformat_new_stream(c.format, nullptr);
        if (!c.audioStream ||
            !c.Check(avcodec_parameters_from_context(c.audioStream->codecpar, a), "stream")) {
            error_ = c.error.empty() ? "stream" : c.error;
            return false;
        }
        c.audioStream->time_base = a->time_base;
        AVChannelLayout stereo{};
        av_channel_layout_default(&stereo, 2);
        if (!c.Check(swr_alloc_set_opts2(&c.resampler, &a->ch_layout, a->sample_fmt, a->sample_rate, &stereo,
                                         AV_SAMPLE_FMT_S16, kSoundRate, 0, nullptr),
                     "resample") ||
            !c.Check(swr_init(c.resampler), "resample")) {
            error_ = c.error;
            return false;
        }
        c.fifo = av_audio_fifo_alloc(a->sample_fmt, 2, a->frame_size > 0 ? a->frame_size * 2 : 2048);
        c.sound = av_frame_alloc();
        if (!c.fifo || !c.sound) {
            error_ = "out of memory";
            return false;
        }
    }

    c.picture = av_frame_alloc();
    c.packet = av_packet_alloc();
    if (!c.picture || !c.packet) {
        error_ = "out of memory";
        return false;
    }
    c.picture->format = v->pix_fmt;
    c.picture->width = v->width;
    c.picture->height = v->height;
    if (!c.Check(av_frame_get_buffer(c.picture, 0), "frame")) {
        error_ = c.error;
        return false;
    }

    int code = avio_open(&c.format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
    if (code < 0) {
        error_ = AvError(code);
        return false;
    }
    AVDictionary* options = nullptr;
    // MP4: the index goes to the front, so a player can start before the whole file is in.
    if (kind == Kind::Mp4) av_dict_set(&options, "movflags", "+faststart", 0);
    code = avformat_write_header(c.format, &options);
    av_dict_free(&options);
    if (!c.Check(code, "write") || !c.WriteFile()) {
        error_ = c.error;
        return false;
    }
    c.headerWritten = true;

    codec_ = std::move(codec);
    open_ = true;
    worker_ = std::thread([this] { Run(); });
    return true;
}

std::vector<uint8_t> VideoEncoder::TakeBuffer()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.empty()) return {};
    std::vector<uint8_t> buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
}

void VideoEncoder::Push(Item item)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kQueueItems; });
    queue_.push_back(std::move(item));
    changed_.notify_all();
}

bool VideoEncoder::Failed()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !error_.empty();
}

void VideoEncoder::Fail(const std::string& error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_.empty()) error_ = error;
}

bool VideoEncoder::AddFrame(uint64_t n, const uint8_t* rgba, int width, int height, size_t stride)
{
    if (!open_ || Failed()) return false;
    if (!rgba || width <= 0 || height <= 0) return true;
    Item item;
    item.picture = true;
    item.at = n;
    item.width = width;
    item.height = height;
    item.bytes = TakeBuffer();
    size_t row = static_cast<size_t>(width) * 4;
    item.bytes.resize(row * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(item.bytes.data() + row * static_cast<size_t>(y), rgba + stride * static_cast<size_t>(y),
                    row);
    Push(std::move(item));
    ++frames_;
    return true;
}

bool VideoEncoder::AddSound(uint64_t first, const int16_t* samples, size_t frames)
{
    if (!open_ || Failed()) return false;
    if (!codec_->audio || frames == 0) return true;
    Item item;
    item.picture = false;
    item.at = first;
    item.bytes.resize(frames * 4);
    std::memcpy(item.bytes.data(), samples, frames * 4);
    Push(std::move(item));
    return true;
}

void VideoEncoder::Run()
{
    Codec& c = *codec_;
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
            if (queue_.empty()) return;
            item = std::move(queue_.front());
            queue_.pop_front();
            changed_.notify_all();
        }
        // After a failure the queue is still emptied, so the capture never waits forever.
        if (c.error.empty()) {
            bool ok = item.picture ? c.Picture(item.at, item.bytes.data(), item.width, item.height)
                                   : c.Sound(item.at, reinterpret_cast<const int16_t*>(item.bytes.data()),
                                             item.bytes.size() / 4);
            if (!ok) Fail(c.error);
        }
        if (item.picture) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (spare_.size() < kQueueItems) spare_.push_back(std::move(item.bytes));
        }
    }
}

bool VideoEncoder::Close()
{
    if (!open_) return error_.empty();
    open_ = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    worker_.join();

    Codec& c = *codec_;
    bool ok = c.error.empty();
    if (ok && c.audio) {
        // The sound runs exactly as long as the picture.
        uint64_t end = frames_ * static_cast<uint64_t>(kSoundRate) / c.video->time_base.den;
        ok = c.Silence(end) && c.Resample(nullptr, 0) && c.DrainSound(true) &&
             c.Encode(c.audio, c.audioStream, nullptr);
    }
    ok = ok && c.Encode(c.video, c.videoStream, nullptr);
    if (ok) ok = c.Check(av_write_trailer(c.format), "write") && c.WriteFile();
    int code = avio_closep(&c.format->pb);
    if (ok) ok = c.Check(code, "close");
    if (!ok) Fail(c.error);
    codec_.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    return error_.empty();
}
