#pragma once
// Writes an AVI file: one video stream compressed on the fly (Microsoft
// Video 1, handler "MSVC") from 24-bit bottom-up pictures, and one PCM sound
// stream (mono, 22050 Hz, 16-bit) that the writer captures itself from the
// default input device. Pictures are written at once by the caller's thread
// (WriteData); sound by the thread of the window that receives the capture
// notices (WriteAudioBuffer for every MM_WIM_DATA). Results are 0 for
// success and non-zero for failure unless stated otherwise.

#include <mutex>

#include "media/wavein.h"
#include "platform/records.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

class CAviFile {
 public:
  CAviFile() = default;
  CAviFile(const CAviFile&) = delete;
  CAviFile& operator=(const CAviFile&) = delete;
  ~CAviFile();

  // Fills the default sound format.
  void Init();
  void Close();

  // Creates path (UTF-8) with a video stream of the header's picture size
  // at framesPerSecond, compressed with the "MSVC" handler.
  int CreateAvi(const char* path, const BITMAPINFOHEADER* header, int framesPerSecond);
  int CreateVideoStream(int rate, DWORD bufferSize, int width, int height);
  // Opens the default input device with `window` as the receiver of its
  // notices and adds the sound stream.
  int CreateAudio(HWND window);
  int CreateAudioStream(int scale, int rate, int sampleSize, DWORD bufferSize);
  // Gives the device two buffers of `samples` samples and starts it: 1 when
  // it runs, else 0.
  int CreateAudioBuffer(int samples);
  // Writes a filled buffer and gives it back to the device: 1 on success,
  // 0 on failure. A failed write stops the sound for the rest of the file.
  int WriteAudioBuffer(HWAVEIN device, WAVEHDR* header);
  int DeleteAudioBuffer();
  // Writes one picture (bottom-up rows padded to 4 bytes) at frameIndex.
  int WriteData(int frameIndex, const unsigned char* data, int length);
  // Finishes and closes the file and the device; safe to call twice.
  int CloseAviFile();

  const WAVEFORMATEX& GetSoundFormat() const { return m_format; }
  HWAVEIN GetDevice() const { return m_device; }

 private:
  int WriteHeaderOnce();
  int WritePacket(AVPacket* packet);
  int WriteSound(const WAVEHDR& header);
  void WriteCapturedSound();

  AVFormatContext* m_file = nullptr;
  AVStream* m_videoStream = nullptr;
  AVCodecContext* m_compressor = nullptr;  // pictures are written through it
  AVStream* m_audioStream = nullptr;
  WAVEFORMATEX m_format;
  HWAVEIN m_device = nullptr;
  WAVEHDR m_headers[2];
  DWORD m_soundPosition = 0;  // bytes of sound written so far

  std::mutex m_fileLock;  // pictures and sound are written from two threads
  bool m_headerWritten = false;
  bool m_soundFailed = false;
  int m_width = 0;   // of the caller's pictures
  int m_height = 0;
  int m_stride = 0;  // bytes per row, padded to 4
  SwsContext* m_sws = nullptr;
  AVFrame* m_picture = nullptr;  // the compressor's input
  AVPacket* m_packet = nullptr;
};
