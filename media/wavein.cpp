#include "media/wavein.h"

#include "media/sdl_audio.h"

#include <SDL2/SDL.h>
#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <set>

class CWaveInDevice {
 public:
  SDL_AudioDeviceID id = 0;
  HWND window = nullptr;
  int rate = 44100;
  int frameBytes = 2;          // bytes of one sample of every channel
  std::mutex lock;             // the queue, the headers in it and the sample clock
  std::deque<WAVEHDR*> queue;  // headers waiting to be filled, oldest first
  DWORD handedBack = 0;

  // On SDL's audio thread: fills the oldest header; a full one goes to the
  // window. Sound arriving while no header is queued is lost, as with a
  // device that has run out of buffers, and counted for the next header.
  void Capture(const unsigned char* data, int length) {
    std::lock_guard guard(lock);
    const std::int64_t samples = length / frameBytes;
    Clock(samples);
    std::int64_t at = position;
    while (length > 0) {
      if (queue.empty()) {
        pendingLost += static_cast<DWORD>(length / frameBytes);
        break;
      }
      WAVEHDR* h = queue.front();
      if (h->dwBytesRecorded == 0) {
        h->captureUs = TimeOf(at);
        h->lostSamples = pendingLost;
        pendingLost = 0;
      }
      const DWORD room = h->dwBufferLength - h->dwBytesRecorded;
      const DWORD n = std::min<DWORD>(room, static_cast<DWORD>(length));
      std::memcpy(h->lpData + h->dwBytesRecorded, data, n);
      h->dwBytesRecorded += n;
      data += n;
      length -= static_cast<int>(n);
      at += n / frameBytes;
      if (h->dwBytesRecorded == h->dwBufferLength) HandBack();
    }
    position += samples;
  }

  // Hands the oldest header back to the window (under the lock).
  void HandBack() {
    WAVEHDR* h = queue.front();
    queue.pop_front();
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    h->reserved = ++handedBack;
    PostMessage(window, MM_WIM_DATA, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(h));
  }

  // A new run starts a new sample clock (under the lock).
  void RestartClock() {
    anchorUs = -1;
    pendingLost = 0;
  }

 private:
  // Samples arriving late (callbacks delayed by the scheduler) do not move
  // the clock; a delay that lasts this long over a whole window of
  // callbacks is sound the device never delivered.
  static constexpr std::int64_t kLossUs = 20000;
  static constexpr std::int64_t kWindowUs = 500000;
  static constexpr std::int64_t kNoLate = std::numeric_limits<std::int64_t>::max();

  // The capture time of sample `n`: the sample clock runs at the nominal
  // rate from its anchor.
  std::int64_t TimeOf(std::int64_t n) const { return anchorUs + (n - anchorSample) * 1000000 / rate; }

  // Follows the device with the sample clock for a chunk of `samples` that
  // has just arrived: its first sample was taken `samples` before now.
  // The clock follows the earliest arrivals, since a chunk is never handed
  // over before it was captured; when every chunk of a window came late by
  // more than kLossUs, that time is counted as lost samples.
  void Clock(std::int64_t samples) {
    const std::int64_t first = MonotonicUs() - samples * 1000000 / rate;
    if (anchorUs < 0) {
      anchorUs = first;
      anchorSample = position;
      windowStart = position;
      windowLateUs = kNoLate;
      return;
    }
    const std::int64_t late = first - TimeOf(position);
    if (late < 0) {
      anchorUs = first;
      anchorSample = position;
    } else {
      windowLateUs = std::min(windowLateUs, late);
    }
    if ((position - windowStart) * 1000000 / rate < kWindowUs) return;
    if (windowLateUs != kNoLate && windowLateUs > kLossUs) {
      const std::int64_t lost = windowLateUs * rate / 1000000;
      pendingLost += static_cast<DWORD>(lost);
      position += lost;
    }
    windowStart = position;
    windowLateUs = kNoLate;
  }

  std::int64_t position = 0;  // samples the device has delivered or lost so far
  std::int64_t anchorUs = -1;  // -1 until the first chunk of a run
  std::int64_t anchorSample = 0;
  std::int64_t windowStart = 0;
  std::int64_t windowLateUs = kNoLate;
  DWORD pendingLost = 0;  // lost since the last header began
};

namespace {

std::mutex g_devicesLock;
std::set<CWaveInDevice*> g_devices;  // open devices: a closed handle is refused

bool IsOpen(HWAVEIN device) {
  std::lock_guard lock(g_devicesLock);
  return device && g_devices.count(device) > 0;
}

void SDLCALL CaptureCallback(void* user, Uint8* stream, int length) {
  static_cast<CWaveInDevice*>(user)->Capture(stream, length);
}

}  // namespace

HWAVEIN WaveInOpen(const WAVEFORMATEX& format, HWND window) {
  if (format.wFormatTag != WAVE_FORMAT_PCM || format.wBitsPerSample != 16 || format.nChannels < 1 ||
      format.nChannels > 2 || format.nSamplesPerSec == 0) {
    return nullptr;
  }
  if (!kinora::AcquireSdlAudio()) return nullptr;
  auto* device = new CWaveInDevice;
  device->window = window;
  device->rate = static_cast<int>(format.nSamplesPerSec);
  device->frameBytes = 2 * format.nChannels;
  SDL_AudioSpec want{};
  want.freq = static_cast<int>(format.nSamplesPerSec);
  want.format = AUDIO_S16LSB;
  want.channels = static_cast<Uint8>(format.nChannels);
  want.samples = static_cast<Uint16>(format.nSamplesPerSec / 100);  // 10 ms per callback
  want.callback = CaptureCallback;
  want.userdata = device;
  SDL_AudioSpec have{};
  // No changes allowed: SDL converts from whatever the device delivers.
  device->id = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
  if (device->id == 0) {
    delete device;
    kinora::ReleaseSdlAudio();
    return nullptr;
  }
  {
    std::lock_guard lock(g_devicesLock);
    g_devices.insert(device);
  }
  PostMessage(window, MM_WIM_OPEN, reinterpret_cast<WPARAM>(device), 0);
  return device;
}

int WaveInPrepareHeader(HWAVEIN device, WAVEHDR* header) {
  if (!IsOpen(device) || !header || !header->lpData || header->dwBufferLength == 0) return 0;
  header->dwFlags |= WHDR_PREPARED;
  return 1;
}

int WaveInUnprepareHeader(HWAVEIN device, WAVEHDR* header) {
  if (!IsOpen(device) || !header) return 0;
  std::lock_guard lock(device->lock);
  if (header->dwFlags & WHDR_INQUEUE) return 0;
  header->dwFlags &= ~WHDR_PREPARED;
  return 1;
}

int WaveInAddBuffer(HWAVEIN device, WAVEHDR* header) {
  if (!IsOpen(device) || !header || !(header->dwFlags & WHDR_PREPARED)) return 0;
  std::lock_guard lock(device->lock);
  if (header->dwFlags & WHDR_INQUEUE) return 0;
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  header->dwBytesRecorded = 0;
  header->captureUs = 0;
  header->lostSamples = 0;
  device->queue.push_back(header);
  return 1;
}

int WaveInStart(HWAVEIN device) {
  if (!IsOpen(device)) return 0;
  {
    // The time between a stop and this start is no loss.
    std::lock_guard lock(device->lock);
    device->RestartClock();
  }
  SDL_PauseAudioDevice(device->id, 0);
  return 1;
}

int WaveInStop(HWAVEIN device) {
  if (!IsOpen(device)) return 0;
  // Once paused, SDL runs no more callbacks for the device.
  SDL_PauseAudioDevice(device->id, 1);
  std::lock_guard lock(device->lock);
  if (!device->queue.empty() && device->queue.front()->dwBytesRecorded > 0) device->HandBack();
  return 1;
}

int WaveInReset(HWAVEIN device) {
  if (!IsOpen(device)) return 0;
  SDL_PauseAudioDevice(device->id, 1);
  std::lock_guard lock(device->lock);
  while (!device->queue.empty()) device->HandBack();
  return 1;
}

int WaveInDiscard(HWAVEIN device) {
  if (!IsOpen(device)) return 0;
  SDL_PauseAudioDevice(device->id, 1);
  std::lock_guard lock(device->lock);
  for (WAVEHDR* h : device->queue) h->dwFlags &= ~WHDR_INQUEUE;
  device->queue.clear();
  return 1;
}

int WaveInClose(HWAVEIN device) {
  if (!IsOpen(device)) return 0;
  {
    std::lock_guard lock(g_devicesLock);
    g_devices.erase(device);
  }
  // Closing waits for a running callback to end; headers still queued are
  // handed back first so that none stays marked as in the queue.
  SDL_CloseAudioDevice(device->id);
  {
    std::lock_guard lock(device->lock);
    while (!device->queue.empty()) device->HandBack();
  }
  PostMessage(device->window, MM_WIM_CLOSE, reinterpret_cast<WPARAM>(device), 0);
  delete device;
  kinora::ReleaseSdlAudio();
  return 1;
}
