#include "media/avhelpers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kinora {

AVSampleFormat MonoSampleFormat(const AVCodec* codec) {
  if (!codec) return AV_SAMPLE_FMT_NONE;
  if (!codec->sample_fmts) return AV_SAMPLE_FMT_S16;
  AVSampleFormat other = AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == AV_SAMPLE_FMT_S16) return AV_SAMPLE_FMT_S16;
    if (other == AV_SAMPLE_FMT_NONE &&
        (*f == AV_SAMPLE_FMT_S16P || *f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT)) {
      other = *f;
    }
  }
  return other;
}

void FillMonoFrame(AVFrame* frame, const unsigned char* pcm, int samples) {
  const int total = frame->nb_samples;
  samples = std::clamp(samples, 0, total);
  const auto format = static_cast<AVSampleFormat>(frame->format);
  if (format == AV_SAMPLE_FMT_S16 || format == AV_SAMPLE_FMT_S16P) {
    std::memcpy(frame->data[0], pcm, static_cast<std::size_t>(samples) * 2);
    std::memset(frame->data[0] + samples * 2, 0, static_cast<std::size_t>(total - samples) * 2);
    return;
  }
  // One channel: planar and interleaved floats have the same layout.
  auto* out = reinterpret_cast<float*>(frame->data[0]);
  for (int i = 0; i < samples; ++i) {
    std::int16_t s;
    std::memcpy(&s, pcm + 2 * i, 2);
    out[i] = static_cast<float>(s) / 32768.0f;
  }
  std::fill(out + samples, out + total, 0.0f);
}

}  // namespace kinora
