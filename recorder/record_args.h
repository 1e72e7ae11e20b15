#pragma once
// The recorder's command line and what the output path tells.
//
// The one argument is the output path, optionally followed by "|" and the
// recording area as four decimal numbers "left,top,right,bottom". It may be
// wrapped in double quotes and preceded by blanks. A path may itself hold
// "|": only a last "|" followed by exactly four numbers separates an area.

#include <string>
#include <string_view>

#include "platform/geometry.h"

struct CRecordArgument {
  std::string path;  // empty: nothing to record
  CRect area;        // the requested area; empty when none was given
};

CRecordArgument ParseRecordArgument(std::string_view argument);

// Containers, from the path's last three characters (case ignored).
enum RecordFileType { kRecordMp4 = 0, kRecordFlv = 1, kRecordAvi = 2 };

// The container of `path`; anything but "MP4", "FLV" or "AVI" records MP4
// and gets ".mp4" appended.
int RecordFileTypeOf(std::string& path);
