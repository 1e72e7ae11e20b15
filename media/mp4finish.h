#pragma once
// The last step of an MP4 recording: the fragmented file written while
// recording (it survives a kill) becomes an ordinary MP4 with its index in
// front, which every player opens.

#include <string>

namespace kinora {

// Copies the streams of `path` unchanged into a temporary file beside it
// with the index ("moov") in front of the data, syncs that file to disk and
// renames it over `path`. 1 on success; 0 on any failure, with `path` left
// as it was, the temporary file removed and the reason in *error.
int MakeFaststartMp4(const std::string& path, std::string* error);

}  // namespace kinora
