/* The C interface of libbass.so, Vorel's audio library.
 *
 * The library decodes local files and http(s) streams, plays them on the sound device and
 * reports positions, state and a spectrum of what is playing. Its functions keep the names,
 * C signatures and calling rules of the widely used BASS audio library, so a program written
 * against this header can load either this library or a compatible build of that one by name
 * (dlopen("libbass.so") + dlsym) without changes.
 *
 * Conventions that hold for every function:
 * - Every function is thread-safe and may be called from any thread. Decoding and output run
 *   on threads of their own; no call blocks longer than opening a stream takes (a network open
 *   waits at most 10 s for the server).
 * - A handle of 0, a handle that was freed or a handle that was never issued is harmless: the
 *   call does nothing and returns its failure value (FALSE, 0, (QWORD)-1, -1.0 or (DWORD)-1).
 *   Handles are never reused within a process.
 * - After a failure BASS_ErrorGetCode() tells why (one code per calling thread).
 * - Text arguments (paths, addresses) are UTF-8, or UTF-16 with BASS_UNICODE.
 * - Positions and lengths count bytes of interleaved 16-bit PCM at the stream's own sample
 *   rate and channel count, whatever the output device uses. An unknown length is (QWORD)-1.
 *
 * Output device: BASS_Init opens the desktop's sound server (the PulseAudio protocol, which
 * PipeWire serves too) when one answers, else the system's default sound card through SDL2
 * (ALSA). The environment variable VOREL_AUDIO chooses instead: "pulse" or "sdl" only that
 * output, "null" a silent output clocked in real time (tests, machines without sound),
 * "wav:/path/file.wav" writes what would be heard to a 16-bit stereo WAV file, also clocked in
 * real time. Through the sound server the stream is named after the playing stream's title tag
 * (else its file name); when the server goes away, playing streams report BASS_ACTIVE_STALLED
 * and go on once it is back, and new streams fail with BASS_ERROR_DEVICE meanwhile.
 */
#ifndef VOREL_PLATFORM_AUDIO_BASS_H_
#define VOREL_PLATFORM_AUDIO_BASS_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef DWORD HSTREAM;  /* a stream handle; 0 is none */
typedef DWORD HCHANNEL; /* any channel handle (streams are channels) */

/* Receives the raw bytes of a network stream as they arrive (buffer NULL at the end). */
typedef void DOWNLOADPROC(const void* buffer, DWORD length, void* user);

#define BASSAPI __attribute__((visibility("default")))

/* Error codes (BASS_ErrorGetCode). */
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_POSITION 7
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_NOTAUDIO 17
#define BASS_ERROR_ILLTYPE 19
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_FREQ 25
#define BASS_ERROR_NOPLAY 24
#define BASS_ERROR_NOTFILE 27
#define BASS_ERROR_NONET 32
#define BASS_ERROR_NOTAVAIL 37
#define BASS_ERROR_DECODE 38
#define BASS_ERROR_TIMEOUT 40
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_CODEC 44
#define BASS_ERROR_ENDED 45
#define BASS_ERROR_PROTOCOL 48
#define BASS_ERROR_UNKNOWN -1

/* Stream creation flags. */
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_FX 0x80
#define BASS_SAMPLE_FLOAT 0x100
#define BASS_STREAM_PRESCAN 0x20000
#define BASS_STREAM_AUTOFREE 0x40000
#define BASS_STREAM_RESTRATE 0x80000
#define BASS_STREAM_BLOCK 0x100000
#define BASS_STREAM_DECODE 0x200000
#define BASS_STREAM_STATUS 0x800000
#define BASS_UNICODE 0x80000000u

/* BASS_ChannelIsActive results. */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

/* Position modes. */
#define BASS_POS_BYTE 0

/* Channel attributes. */
#define BASS_ATTRIB_FREQ 1
#define BASS_ATTRIB_VOL 2
#define BASS_ATTRIB_PAN 3

/* BASS_ChannelGetData length flags. FFTn returns n/2 floats: magnitudes of an n-point FFT of
 * the sound being played, mixed to mono, Hann-windowed, lowest band first (band k is centred
 * on k * 44100 / n Hz at the default device rate); a full-scale sine gives about 1.0. */
#define BASS_DATA_AVAILABLE 0
#define BASS_DATA_FLOAT 0x40000000
#define BASS_DATA_FFT256 0x80000000u
#define BASS_DATA_FFT512 0x80000001u
#define BASS_DATA_FFT1024 0x80000002u
#define BASS_DATA_FFT2048 0x80000003u
#define BASS_DATA_FFT4096 0x80000004u
#define BASS_DATA_FFT8192 0x80000005u

/* Opens the output device. device -1 or 1 is the default output (the sound server, else SDL's
 * default device), 0 the silent output, n >= 2 the (n-2)th device SDL lists. freq is the output
 * rate (0 means 44100). win and dsguid are ignored. FALSE with BASS_ERROR_DEVICE/BASS_ERROR_DRIVER
 * when there is no usable device, BASS_ERROR_ALREADY when already open. */
BASSAPI BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid);

/* Frees every stream and closes the output device; BASS_Init may then run again. */
BASSAPI BOOL BASS_Free(void);

/* The error code of the last failed call on this thread (BASS_OK after a success). */
BASSAPI int BASS_ErrorGetCode(void);

/* A stream over a local file (mem FALSE: file is a path; offset/length select a part of the
 * file, length 0 = to its end) or over memory (mem TRUE: file points to length bytes that
 * stay valid until the stream is freed). flags: BASS_STREAM_DECODE makes a channel that is
 * not played but read with BASS_ChannelGetData (16-bit PCM, or float with
 * BASS_SAMPLE_FLOAT, and then positions count 32-bit samples); BASS_UNICODE marks a UTF-16
 * path. Other flags are accepted and have no effect. 0 on failure. */
BASSAPI HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                      DWORD flags);

/* A stream over an http or https address, starting at byte offset. Opening waits for the
 * server (at most 10 s without progress); reading goes on in the background, and when the
 * data runs dry the stream reports BASS_ACTIVE_STALLED until more arrives. proc, when not
 * NULL, receives each byte of the file once, in order, as it is downloaded (on the thread that
 * decodes); such a stream cannot seek. 0 on failure. */
BASSAPI HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc,
                                     void* user);

/* Stops and releases the stream; the handle becomes invalid for good. */
BASSAPI BOOL BASS_StreamFree(HSTREAM handle);

/* Starts the channel, or resumes it where it was paused or stopped. restart TRUE, or a
 * stream that has played to its end, starts again from the beginning. */
BASSAPI BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);

/* Pauses, keeping the position. FALSE with BASS_ERROR_NOPLAY when not playing. */
BASSAPI BOOL BASS_ChannelPause(DWORD handle);

/* Stops; the position stays where it was. */
BASSAPI BOOL BASS_ChannelStop(DWORD handle);

/* BASS_ACTIVE_STOPPED (also for a stream at its end and for invalid handles), _PLAYING,
 * _STALLED (a network stream waiting for data) or _PAUSED. */
BASSAPI DWORD BASS_ChannelIsActive(DWORD handle);

/* Length in bytes (mode BASS_POS_BYTE); (QWORD)-1 when unknown or on failure. */
BASSAPI QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);

/* Position in bytes of what is being heard now; (QWORD)-1 on failure. */
BASSAPI QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);

/* Moves to a byte position (rounded down to a whole sample frame). FALSE with
 * BASS_ERROR_POSITION for a position beyond the known length. */
BASSAPI BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);

/* Bytes to seconds and back at the stream's rate and channel count; seconds to bytes rounds
 * down to a whole frame. -1.0 and (QWORD)-1 on failure (and for the unknown length). */
BASSAPI double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
BASSAPI QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);

/* Attribute BASS_ATTRIB_VOL: linear volume from 0.0 (silent) to 1.0 (full, the default);
 * values outside are clamped. Other attributes fail with BASS_ERROR_ILLTYPE. */
BASSAPI BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BASSAPI BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value);

/* With a BASS_DATA_FFTn flag (no modifier flags): fills buffer with n/2 spectrum magnitudes of
 * what is playing (see above) and returns the number of sample bytes analysed; -1 (as DWORD) when
 * the stream is stopped. On a BASS_STREAM_DECODE channel a plain byte count reads that many bytes
 * of decoded sample data (BASS_DATA_AVAILABLE: how many are decoded and waiting); -1 with
 * BASS_ERROR_ENDED at its end. */
BASSAPI DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);

#ifdef __cplusplus
}
#endif

#endif /* VOREL_PLATFORM_AUDIO_BASS_H_ */
