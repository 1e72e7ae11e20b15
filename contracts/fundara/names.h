#pragma once
// New file names and date texts.
//
// The camera configuration's "output" "imageNameType" chooses the pattern:
// 0 names by local time ("20261207_134501", then "20261207_134501_1", … when
// several files come in one second); 1 (and any other value) uses the
// "imageName" prefix (default "VELTRA", letters, digits and '_' only) with a
// number one above the highest such number already in the folder
// ("VELTRA0001", "VELTRA0002", …).
//
// A returned name is reserved by creating it as an empty file exclusively, so
// no other thread or process can get the same path; the caller writes over it
// (ask for the extension the file will really have) or gives it back with
// ReleaseFileName when it writes nothing.

#include <string>
#include <string_view>

// A new path in `folder` (created when missing) with extension `ext` ("jpg"
// or ".jpg"). Empty when the folder cannot be made or written.
std::string NewFileName(std::string_view folder, std::string_view ext);
// A new picture path; an empty folder means the picture folder (GetDataPicPath).
std::string GetJpgNamePath(std::string_view folder, std::string_view ext);
// A new file path; an empty folder means the output data root (GetDataPathEx).
std::string GetFileNamePath(std::string_view folder, std::string_view ext);

// Gives back a name from NewFileName that was not used after all: deletes
// the file only while it is still empty. 1 when deleted, 0 otherwise.
int ReleaseFileName(std::string_view path);

// Today's date "YYYY-MM-DD" (local time).
std::string GetDay();
// Now as "YYYY-MM-DD_hh-mm-ss" (local time): the first 10 characters are
// GetDay's text, and the whole text can be used in a file name.
std::string GetSysTime();
