#include "media/wave.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>

#include "contracts/fundara/memory.h"

namespace {

// The capture volume of the default card through ALSA's simple mixer: the
// element named "Capture" when there is one, else the first element that
// has a capture volume.
class CAlsaCaptureMixer : public CWaveMixer {
 public:
  ~CAlsaCaptureMixer() override {
    if (m_mixer) snd_mixer_close(m_mixer);
  }

  bool Open(long& minimum, long& maximum) {
    if (snd_mixer_open(&m_mixer, 0) < 0) {
      m_mixer = nullptr;
      return false;
    }
    if (snd_mixer_attach(m_mixer, "default") < 0 || snd_mixer_selem_register(m_mixer, nullptr, nullptr) < 0 ||
        snd_mixer_load(m_mixer) < 0) {
      return false;
    }
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(m_mixer); e; e = snd_mixer_elem_next(e)) {
      if (!snd_mixer_selem_is_active(e) || !snd_mixer_selem_has_capture_volume(e)) continue;
      if (!m_elem) m_elem = e;
      if (std::strcmp(snd_mixer_selem_get_name(e), "Capture") == 0) {
        m_elem = e;
        break;
      }
    }
    if (!m_elem) return false;
    return snd_mixer_selem_get_capture_volume_range(m_elem, &minimum, &maximum) == 0;
  }

  bool Read(long& value) override {
    snd_mixer_handle_events(m_mixer);
    return snd_mixer_selem_get_capture_volume(m_elem, SND_MIXER_SCHN_MONO, &value) == 0;
  }

  bool Write(long value) override { return snd_mixer_selem_set_capture_volume_all(m_elem, value) == 0; }

 private:
  snd_mixer_t* m_mixer = nullptr;
  snd_mixer_elem_t* m_elem = nullptr;
};

}  // namespace

CWave::~CWave() {
  // No notice may carry a header of this object once it is gone.
  if (m_device) WaveInDiscard(m_device);
  CloseWave();
  DelBuffer();
}

int CWave::OpenWave(HWND window) {
  m_format = WAVEFORMATEX{};
  m_format.wFormatTag = WAVE_FORMAT_PCM;
  m_format.nChannels = 1;
  m_format.nSamplesPerSec = 44100;
  m_format.wBitsPerSample = 16;
  m_format.nBlockAlign = 2;
  m_format.nAvgBytesPerSec = 88200;
  m_format.cbSize = 0;
  if (m_device) return 0;  // already open: CloseWave first
  m_device = WaveInOpen(m_format, window);
  if (!m_device) return 0;
  // The volume control is optional: without one the capture still runs and
  // the volume reads as -1.
  if (!m_mixer) {
    auto mixer = std::make_unique<CAlsaCaptureMixer>();
    long minimum = 0, maximum = 0;
    if (mixer->Open(minimum, maximum)) AttachMixer(std::move(mixer), minimum, maximum);
  }
  return 1;
}

int CWave::StartWave() {
  if (!m_device) return 0;
  // Buffers of a previous run may still be in the device's queue after a stop.
  WaveInDiscard(m_device);
  DelBuffer();
  WAVEHDR* headers[2] = {&m_header1, &m_header2};
  unsigned char** buffers[2] = {&m_buffer1, &m_buffer2};
  for (int i = 0; i < 2; ++i) {
    *headers[i] = WAVEHDR{};
    *buffers[i] = NewMem(kBufferBytes);
    if (!*buffers[i]) return 0;
    headers[i]->lpData = reinterpret_cast<char*>(*buffers[i]);
    headers[i]->dwBufferLength = kBufferBytes;
    headers[i]->dwLoops = 1;
    if (!WaveInPrepareHeader(m_device, headers[i])) return 0;
    if (!WaveInAddBuffer(m_device, headers[i])) return 0;
  }
  return WaveInStart(m_device);
}

int CWave::AddBuffer(HWAVEIN device, WAVEHDR* header) {
  // A buffer of a device that has been closed meanwhile is not given back.
  if (!device || device != m_device || !header) return 0;
  if (!WaveInPrepareHeader(device, header)) return 0;
  return WaveInAddBuffer(device, header);
}

int CWave::StopWave() {
  if (m_device) WaveInStop(m_device);
  return 1;
}

int CWave::CloseWave() {
  m_mixer.reset();
  if (m_device) {
    WaveInReset(m_device);
    WaveInClose(m_device);
    m_device = nullptr;
  }
  return 1;
}

void CWave::DelBuffer() {
  // Headers keep no pointer into freed memory: a data notice still on its
  // way then finds an empty buffer.
  if (m_device) WaveInDiscard(m_device);
  DelMem(m_buffer1);
  DelMem(m_buffer2);
  m_buffer1 = nullptr;
  m_buffer2 = nullptr;
  m_header1 = WAVEHDR{};
  m_header2 = WAVEHDR{};
}

void CWave::AttachMixer(std::unique_ptr<CWaveMixer> mixer, long minimum, long maximum) {
  m_mixer = std::move(mixer);
  m_volumeControlId = m_mixer ? 1 : 0;
  m_volumeMin = minimum;
  m_volumeMax = maximum;
}

int CWave::GetMixerVolume() {
  if (!m_mixer) return -1;
  long value = 0;
  if (!m_mixer->Read(value)) return -1;
  const long step = (m_volumeMax - m_volumeMin) / 100;
  if (step <= 0) return -1;
  return static_cast<int>((value - m_volumeMin) / step);
}

int CWave::SetMixerVolume(int percent) {
  if (!m_mixer) return 0;
  percent = std::clamp(percent, 0, 100);
  const double step = static_cast<double>(m_volumeMax - m_volumeMin) / 100.0;
  if (step <= 0) return 0;
  const long value = m_volumeMin + static_cast<long>(step * percent);
  return m_mixer->Write(value) ? 1 : 0;
}
