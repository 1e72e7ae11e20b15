#pragma once
// Microphone capture for the recorders: the default input device in one
// fixed format (PCM, mono, 44100 Hz, 16-bit), two buffers of 16384 bytes in
// rotation. Every filled buffer reaches the owner window as MM_WIM_DATA
// (wParam the device, lParam the WAVEHDR); the window hands the samples to
// its recorder and gives the buffer back with AddBuffer. All calls come from
// the owner window's thread.

#include <memory>

#include "media/wavein.h"

// The capture volume control of the sound card (one channel, raw units).
class CWaveMixer {
 public:
  virtual ~CWaveMixer() = default;
  virtual bool Read(long& value) = 0;
  virtual bool Write(long value) = 0;
};

class CWave {
 public:
  static constexpr int kBufferBytes = 2 * 8192;  // block align × 8192 samples

  CWave() = default;
  CWave(const CWave&) = delete;
  CWave& operator=(const CWave&) = delete;
  ~CWave();

  // Opens the default input device with `window` as the receiver of its
  // notices, and the default card's capture volume control when there is
  // one. 1 when the device is open; 0 without an input device.
  int OpenWave(HWND window);
  // Gives both buffers (allocated anew) to the device and starts it.
  int StartWave();
  // Gives a filled buffer back to the device.
  int AddBuffer(HWAVEIN device, WAVEHDR* header);
  int StopWave();
  // Closes the mixer and the device; the buffers stay allocated.
  int CloseWave();
  void DelBuffer();

  // The capture volume in percent of the control's range; -1 without a control.
  int GetMixerVolume();
  // Sets the capture volume (percent, clamped to 0..100); 0 without a control.
  int SetMixerVolume(int percent);

  // Uses `mixer` as the capture volume control with the given range (a
  // stand-in for a sound card's control where there is none).
  void AttachMixer(std::unique_ptr<CWaveMixer> mixer, long minimum, long maximum);

  HWAVEIN GetDevice() const { return m_device; }
  const WAVEFORMATEX& GetFormat() const { return m_format; }

 private:
  WAVEFORMATEX m_format;
  HWAVEIN m_device = nullptr;
  WAVEHDR m_header1;
  WAVEHDR m_header2;
  unsigned char* m_buffer1 = nullptr;
  unsigned char* m_buffer2 = nullptr;
  std::unique_ptr<CWaveMixer> m_mixer;
  unsigned m_volumeControlId = 0;
  long m_volumeMax = 0;
  long m_volumeMin = 0;
};
