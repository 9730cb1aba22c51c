#include "tools/contentart/Encoders.h"

#include <lame/lame.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

int16_t ToPcm16(float v)
{
    return int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
}

bool WriteAll(FILE* f, const void* data, size_t n)
{
    return n == 0 || std::fwrite(data, 1, n, f) == n;
}

// An ID3v2.4 tag with UTF-8 text frames for the non-empty values; empty without any.
std::vector<unsigned char> Id3Tag(const std::string& title, const std::string& artist)
{
    std::vector<unsigned char> frames;
    auto syncsafe = [](std::vector<unsigned char>& out, size_t v) {
        for (int shift = 21; shift >= 0; shift -= 7)
            out.push_back(static_cast<unsigned char>((v >> shift) & 0x7F));
    };
    auto frame = [&](const char* id, const std::string& text) {
        if (text.empty()) return;
        frames.insert(frames.end(), id, id + 4);
        syncsafe(frames, text.size() + 1);
        frames.push_back(0);
        frames.push_back(0);
        frames.push_back(3);  // UTF-8
        frames.insert(frames.end(), text.begin(), text.end());
    };
    frame("TIT2", title);
    frame("TPE1", artist);
    if (frames.empty()) return {};
    std::vector<unsigned char> tag = {'I', 'D', '3', 4, 0, 0};
    syncsafe(tag, frames.size());
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

}  // namespace

bool WriteOgg(const std::string& path, const Stereo& pcm, int rate, float quality, int serial,
              const std::string& title, const std::string& artist)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, rate, quality) != 0) {
        std::fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", title.c_str());
    if (!artist.empty()) vorbis_comment_add_tag(&vc, "ARTIST", artist.c_str());
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    ogg_packet h0, h1, h2;
    vorbis_analysis_headerout(&vd, &vc, &h0, &h1, &h2);
    ogg_stream_packetin(&os, &h0);
    ogg_stream_packetin(&os, &h1);
    ogg_stream_packetin(&os, &h2);
    bool ok = true;
    ogg_page og;
    while (ogg_stream_flush(&os, &og))
        ok = ok && WriteAll(f, og.header, size_t(og.header_len)) && WriteAll(f, og.body, size_t(og.body_len));

    const size_t chunk = 4096;
    size_t pos = 0;
    bool eos = false;
    while (!eos) {
        size_t n = std::min(chunk, pcm.Frames() - pos);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buf = vorbis_analysis_buffer(&vd, int(n));
            for (size_t i = 0; i < n; ++i) {
                buf[0][i] = pcm.l[pos + i];
                buf[1][i] = pcm.r[pos + i];
            }
            vorbis_analysis_wrote(&vd, int(n));
            pos += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (ogg_stream_pageout(&os, &og)) {
                    ok = ok && WriteAll(f, og.header, size_t(og.header_len)) &&
                         WriteAll(f, og.body, size_t(og.body_len));
                    if (ogg_page_eos(&og)) eos = true;
                }
            }
        }
        if (n == 0 && !eos) {
            while (ogg_stream_flush(&os, &og)) {
                ok = ok && WriteAll(f, og.header, size_t(og.header_len)) &&
                     WriteAll(f, og.body, size_t(og.body_len));
                if (ogg_page_eos(&og)) eos = true;
            }
            eos = true;
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return std::fclose(f) == 0 && ok;
}

bool WriteMp3(const std::string& path, const Stereo& pcm, int rate, int kbps, const std::string& title,
              const std::string& artist)
{
    lame_global_flags* gf = lame_init();
    if (!gf) return false;
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_brate(gf, kbps);
    lame_set_quality(gf, 5);
    lame_set_bWriteVbrTag(gf, 1);  // info frame with encoder delay and padding: exact length
    lame_set_write_id3tag_automatic(gf, 0);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return false;
    }

    std::vector<unsigned char> out;
    std::vector<short> l(8192), r(8192);
    std::vector<unsigned char> buf(size_t(1.25 * 8192 + 7200));
    for (size_t pos = 0; pos < pcm.Frames(); pos += 8192) {
        size_t n = std::min<size_t>(8192, pcm.Frames() - pos);
        for (size_t i = 0; i < n; ++i) {
            l[i] = ToPcm16(pcm.l[pos + i]);
            r[i] = ToPcm16(pcm.r[pos + i]);
        }
        int got = lame_encode_buffer(gf, l.data(), r.data(), int(n), buf.data(), int(buf.size()));
        if (got < 0) {
            lame_close(gf);
            return false;
        }
        out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    int got = lame_encode_flush(gf, buf.data(), int(buf.size()));
    if (got < 0) {
        lame_close(gf);
        return false;
    }
    out.insert(out.end(), buf.begin(), buf.begin() + got);
    // The first frame was reserved for the info frame; fill it in now.
    std::vector<unsigned char> tag(4096);
    size_t tagSize = lame_get_lametag_frame(gf, tag.data(), tag.size());
    if (tagSize > 0 && tagSize <= out.size())
        std::copy(tag.begin(), tag.begin() + long(tagSize), out.begin());
    lame_close(gf);

    const std::vector<unsigned char> id3 = Id3Tag(title, artist);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = WriteAll(f, id3.data(), id3.size()) && WriteAll(f, out.data(), out.size());
    return std::fclose(f) == 0 && ok;
}

bool WriteWav(const std::string& path, const Stereo& pcm, int rate)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    auto u32 = [&](uint32_t v) {
        unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        WriteAll(f, b, 4);
    };
    auto u16 = [&](uint32_t v) {
        unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
        WriteAll(f, b, 2);
    };
    uint32_t bytes = uint32_t(pcm.Frames() * 4);
    WriteAll(f, "RIFF", 4);
    u32(36 + bytes);
    WriteAll(f, "WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(uint32_t(rate));
    u32(uint32_t(rate) * 4);
    u16(4);
    u16(16);
    WriteAll(f, "data", 4);
    u32(bytes);
    std::vector<int16_t> frame(2);
    bool ok = true;
    for (size_t i = 0; i < pcm.Frames(); ++i) {
        frame[0] = ToPcm16(pcm.l[i]);
        frame[1] = ToPcm16(pcm.r[i]);
        ok = ok && WriteAll(f, frame.data(), 4);
    }
    return std::fclose(f) == 0 && ok;
}
