#include "media/mp4finish.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace kinora {

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof text);
  return text;
}

// fsync of a file or folder by name; false when it cannot be opened or synced.
bool SyncPath(const std::string& path, bool folder) {
  const int fd = open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

// The stream copy from `in` to a new file at `temp`; false with *error set.
bool CopyStreams(AVFormatContext* in, const std::string& temp, std::string* error) {
  AVFormatContext* out = nullptr;
  int r = avformat_alloc_output_context2(&out, nullptr, "mp4", temp.c_str());
  if (r < 0 || !out) {
    *error = "no MP4 writer: " + AvError(r);
    return false;
  }
  bool ok = true;
  for (unsigned i = 0; ok && i < in->nb_streams; ++i) {
    AVStream* s = avformat_new_stream(out, nullptr);
    ok = s && avcodec_parameters_copy(s->codecpar, in->streams[i]->codecpar) >= 0;
    if (ok) {
      s->codecpar->codec_tag = 0;
      s->time_base = in->streams[i]->time_base;
    }
  }
  if (!ok) *error = "cannot set up the streams";
  if (ok && (r = avio_open(&out->pb, temp.c_str(), AVIO_FLAG_WRITE)) < 0) {
    *error = "cannot create \"" + temp + "\": " + AvError(r);
    ok = false;
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "movflags", "faststart", 0);
  if (ok && (r = avformat_write_header(out, &options)) < 0) {
    *error = "cannot write the header: " + AvError(r);
    ok = false;
  }
  av_dict_free(&options);
  AVPacket* packet = av_packet_alloc();
  while (ok && packet) {
    r = av_read_frame(in, packet);
    if (r == AVERROR_EOF) break;
    if (r < 0) {
      *error = "cannot read the recording: " + AvError(r);
      ok = false;
      break;
    }
    const int index = packet->stream_index;
    av_packet_rescale_ts(packet, in->streams[index]->time_base, out->streams[index]->time_base);
    if ((r = av_interleaved_write_frame(out, packet)) < 0) {
      *error = "cannot write: " + AvError(r);
      ok = false;
    }
    av_packet_unref(packet);
  }
  if (!packet) ok = false;
  av_packet_free(&packet);
  if (ok && (r = av_write_trailer(out)) < 0) {
    *error = "cannot finish: " + AvError(r);
    ok = false;
  }
  if (out->pb) {
    if (out->pb->error < 0 && ok) {
      *error = "cannot write: " + AvError(out->pb->error);
      ok = false;
    }
    avio_closep(&out->pb);
  }
  avformat_free_context(out);
  return ok;
}

}  // namespace

int MakeFaststartMp4(const std::string& path, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  AVFormatContext* in = nullptr;
  int r = avformat_open_input(&in, path.c_str(), nullptr, nullptr);
  if (r < 0) {
    *error = "cannot open \"" + path + "\": " + AvError(r);
    return 0;
  }
  // Beside the recording, so that the rename stays on one file system; the
  // name is unique and hidden until it becomes the recording.
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string pattern = folder + "/." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    avformat_close_input(&in);
    *error = "cannot create a temporary file in \"" + folder + "\"";
    return 0;
  }
  // The finished file keeps the recording's permissions.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  close(fd);
  const std::string temp(name.data());
  bool ok = CopyStreams(in, temp, error);
  avformat_close_input(&in);
  if (ok && !SyncPath(temp, false)) {
    *error = "cannot sync \"" + temp + "\" to disk";
    ok = false;
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot rename \"" + temp + "\" to \"" + path + "\"";
    ok = false;
  }
  if (!ok) {
    std::remove(temp.c_str());
    return 0;
  }
  SyncPath(folder, true);  // the rename itself reaches the disk
  return 1;
}

}  // namespace kinora
