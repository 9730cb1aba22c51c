// The audio library's calls, in its own names, values and argument order (the
// generation with 32-bit file offsets and BASS_ChannelSetAttributes), over
// libopenmpt (modules), libmpg123 and libsndfile (streams), and PulseAudio,
// SDL2 audio or a silent clock for output (see README.md beside this file).
//
// Positions and lengths are bytes of 16-bit stereo (4 bytes a frame) and tell
// what is being heard. In virtual runs the mix is made offline, one frame
// interval at a time, into the host's sound sink.
#pragma once

#include "platform/win32/win32.h"

#include <cstdint>

typedef uint64_t QWORD;
typedef DWORD HMUSIC;    // module channel
typedef DWORD HSTREAM;   // sample stream channel
typedef DWORD HCHANNEL;  // any channel
typedef DWORD HSYNC;     // a sync set on a channel

// Called once the channel's last sample has been heard: on the library's own
// sync thread in live runs, at the frame boundary in virtual runs; never while
// the library holds its lock, so it may call back into the library.
typedef void SYNCPROC(HSYNC handle, DWORD channel, DWORD data, void* user);

// Error codes (BASS_ErrorGetCode)
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_NOPLAY 24
#define BASS_ERROR_ILLTYPE 32
#define BASS_ERROR_NOTAVAIL 37
#define BASS_ERROR_DECODE 38
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_CODEC 44
#define BASS_ERROR_UNKNOWN (-1)

// Load and create flags
#define BASS_MUSIC_PRESCAN 0x20000
#define BASS_STREAM_PRESCAN 0x20000
#define BASS_UNICODE 0x80000000u
// A channel that is never played: its decoded sound is read with
// BASS_ChannelGetData (BASS_DATA_FLOAT), from the start, through the same
// decoder, resampler and gain as a played one.
#define BASS_MUSIC_DECODE 0x200000
#define BASS_STREAM_DECODE 0x200000

// Sync types
#define BASS_SYNC_END 2
#define BASS_SYNC_ONETIME 0x80000000u

// BASS_ChannelGetData requests: N/2 float magnitudes of an N-sample FFT
#define BASS_DATA_FFT256 0x80000000u
#define BASS_DATA_FFT512 0x80000001u
// A decode channel's next sound: length bytes of 32-bit float stereo frames.
#define BASS_DATA_FLOAT 0x40000000u

// Channel attributes (BASS_ChannelSetAttribute). The MUSIC ones are render
// settings of modules, refused for streams with BASS_ERROR_ILLTYPE; set them
// before the channel first plays. In order: stereo separation in percent
// (0..200); interpolation taps (1, 2, 4 or 8); volume ramping (-1 for the
// decoder's default, 0..10); the Amiga resampler emulation (0 or 1,
// BASS_ERROR_NOTAVAIL where the decoder has none). GAIN: decibels (-60..+24)
// added to the channel's sound, which its level and FFT data include.
#define BASS_ATTRIB_MUSIC_PANSEP 0x100
#define BASS_ATTRIB_MUSIC_INTERP 0x101
#define BASS_ATTRIB_MUSIC_RAMPING 0x102
#define BASS_ATTRIB_MUSIC_AMIGA 0x103
#define BASS_ATTRIB_GAIN 0x110

// Library lifetime. device -1 or 1 and up: the default output; 0: no sound.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid);
BOOL BASS_Start();
BOOL BASS_Stop();
BOOL BASS_Free();
int BASS_ErrorGetCode();

// Channels. file is a wide path with BASS_UNICODE, UTF-8 otherwise; loading from
// memory is not supported (BASS_ERROR_NOTAVAIL).
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags, DWORD freq);
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
BOOL BASS_MusicFree(HMUSIC handle);
BOOL BASS_StreamFree(HSTREAM handle);

QWORD BASS_ChannelGetLength(DWORD handle);
float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelGetPosition(DWORD handle);

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelStop(DWORD handle);

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user);
BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);
// freq -1: unchanged; volume 0..100 (linear), -1: unchanged; pan -101: unchanged.
BOOL BASS_ChannelSetAttributes(DWORD handle, int freq, int volume, int pan);

// One attribute above; values out of range are refused with BASS_ERROR_ILLPARAM.
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);

// Peak of the last 20 ms heard, before the volume: left low word, right high
// word, 0..32768. 0 for a channel that is not playing.
DWORD BASS_ChannelGetLevel(DWORD handle);
// FFT requests fill length's N/2 floats (0..1) and return the bytes written.
// A decode channel takes BASS_DATA_FLOAT | bytes and returns the bytes decoded,
// fewer at its end and 0 after it. Any other request fails with (DWORD)-1.
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
