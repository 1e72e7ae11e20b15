#pragma once
// Sound helpers shared by the encoders of the media library (FFmpeg types).

extern "C" {
#include <libavcodec/avcodec.h>
}


namespace kinora {

// The sample format in which `codec` takes 16-bit mono samples: S16 itself
// when the encoder accepts it, else a float or planar format this library
// converts to; AV_SAMPLE_FMT_NONE when none fits.
AVSampleFormat MonoSampleFormat(const AVCodec* codec);

// Fills frame->nb_samples samples of `frame` (mono, in its format) from
// `samples` 16-bit little-endian samples, padding the rest with silence.
void FillMonoFrame(AVFrame* frame, const unsigned char* pcm, int samples);

}  // namespace kinora
