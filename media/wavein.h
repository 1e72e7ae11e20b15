#pragma once
// Wave-in capture on SDL2: the default input device opened in one PCM
// format, buffers given to the device one after the other and every filled
// buffer posted back to a window as MM_WIM_DATA (wParam the device, lParam
// the buffer header). MM_WIM_OPEN and MM_WIM_CLOSE are posted when the
// device opens and closes. The sound microphone capture (CWave) and the AVI
// writer (CAviFile) both capture through these calls.
//
// Every filled buffer carries the monotonic time at which its first sample
// was taken and the number of samples the device lost just before it, so
// that a recorder can place the sound where it was captured however late
// the buffer reaches it.
//
// Tests run without hardware through SDL's "disk" driver
// (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILEIN=<raw samples>).

#include <chrono>
#include <cstdint>

#include "platform/messages.h"
#include "platform/records.h"

constexpr UINT MM_WIM_OPEN = 0x3BE;
constexpr UINT MM_WIM_CLOSE = 0x3BF;
constexpr UINT MM_WIM_DATA = 0x3C0;

constexpr WORD WAVE_FORMAT_PCM = 1;

struct WAVEFORMATEX {
  WORD wFormatTag = 0;
  WORD nChannels = 0;
  DWORD nSamplesPerSec = 0;
  DWORD nAvgBytesPerSec = 0;
  WORD nBlockAlign = 0;
  WORD wBitsPerSample = 0;
  WORD cbSize = 0;
};

// Header flags.
constexpr DWORD WHDR_DONE = 0x1;      // filled and handed back to the window
constexpr DWORD WHDR_PREPARED = 0x2;  // prepared for the device
constexpr DWORD WHDR_INQUEUE = 0x10;  // waiting in the device's queue

struct WAVEHDR {
  char* lpData = nullptr;
  DWORD dwBufferLength = 0;
  DWORD dwBytesRecorded = 0;
  std::uintptr_t dwUser = 0;
  DWORD dwFlags = 0;
  DWORD dwLoops = 0;
  DWORD reserved = 0;  // the device's count of buffers handed back, at this one's return
  std::int64_t captureUs = 0;  // MonotonicUs at which the first sample was taken
  DWORD lostSamples = 0;       // samples lost just before this buffer (overrun, no buffer queued)
};

// Microseconds of the monotonic clock that GetTickCount also reads.
inline std::int64_t MonotonicUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

class CWaveInDevice;
using HWAVEIN = CWaveInDevice*;

// Opens the default input device in `format` (PCM, 16-bit) with `window` as
// the receiver of the device's notices. Null when there is no input device
// or the format is not 16-bit PCM.
HWAVEIN WaveInOpen(const WAVEFORMATEX& format, HWND window);
// Marks a header as usable by the device: 1 on success.
int WaveInPrepareHeader(HWAVEIN device, WAVEHDR* header);
// Takes a header back from the device; 0 while the device still holds it.
int WaveInUnprepareHeader(HWAVEIN device, WAVEHDR* header);
// Queues a prepared header for filling: 1 on success.
int WaveInAddBuffer(HWAVEIN device, WAVEHDR* header);
int WaveInStart(HWAVEIN device);
// Stops filling; the partly filled buffer is handed back as done.
int WaveInStop(HWAVEIN device);
// Stops and hands every queued header back as done (with what it holds).
int WaveInReset(HWAVEIN device);
// Takes every queued header back without a notice (a new run reuses them).
int WaveInDiscard(HWAVEIN device);
// Closes the device (after a reset) and posts MM_WIM_CLOSE; the handle is invalid afterwards.
int WaveInClose(HWAVEIN device);
