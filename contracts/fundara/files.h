#pragma once
// File and folder services. Every operation reports failure by its result
// and never throws; paths are UTF-8.

#include <list>
#include <string>
#include <string_view>

// Creates the folder and every missing parent. 1 when the folder exists
// afterwards, 0 otherwise (e.g. a file stands in the way).
int CreateDir(std::string_view path);
// Deletes one file (or link). 1 when it was deleted, 0 when missing or refused.
int DelFile(std::string_view path);
// Deletes a folder with everything in it (links are removed, never
// followed). 1 when it was deleted, 0 when missing, not a folder, the file
// system root or the user's home folder, or when something could not be removed.
int DelPath(std::string_view path);

// Copies a file or a folder with its contents.
//   destination "folder/*" (or "folder\*"): into that folder under the source's
//     own name, the folder being created when missing;
//   an existing folder: into it under the source's own name;
//   anything else: to exactly that path.
// A source whose last part holds '*' or '?' ("folder/*", "folder\*",
// "folder/*.jpg") copies every match into the destination folder. Existing files are replaced (each one atomically) and
// folders merged; links are copied as links. Refused (0) when the source is
// missing, when a copy would land on its own source or inside it, or when any
// file fails; non-zero on success.
int CopyFiles(std::string_view source, std::string_view destination);

// `path` itself when something exists there, or for a last part with '*' or
// '?' the first match (sorted by name, case ignored); empty when nothing exists.
std::string SearchFile(std::string_view path);
// Appends to `found` the full paths of the regular files in `folder` whose
// names match `pattern` ("*.jpg"; case ignored), sorted by name. Returns how
// many were appended (0 when the folder is missing).
int SearchFileList(std::string_view folder, std::string_view pattern, std::list<std::string>& found);
// The same with folder and pattern in one path ("/data/bind/*.jpg").
int SearchFileList(std::string_view pathPattern, std::list<std::string>& found);
