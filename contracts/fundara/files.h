#pragma once
// File and folder services. Every operation reports failure by its result
// and never throws; paths are UTF-8.

#include <list>
#include <string>
#include <string_view>

// ------------------------------------------------------------ literal moves
// The helpers below never replace, merge or expand anything: a path is taken
// as it is spelled, and nothing may exist at the target beforehand. None of
// them can lose a file: on any failure the source is as it was and nothing
// of theirs is left at the target (what they write goes to hidden names
// beginning with "." and ending in ".part" until it is complete).

// `folder`, "/" and the first name of `name`, "name(1).ext", "name(2).ext",
// … under which nothing exists yet (archives are unpacked by the same rule).
// Empty for an empty name or folder, or when every candidate is taken.
std::string FreePath(std::string_view folder, std::string_view name);

// Renames `from` to `to` on one file system unless something exists at
// `to`. 1 on success; 0 otherwise, with errno telling why (EEXIST when the
// name is taken, EXDEV when the two lie on different file systems).
int RenameNoReplace(std::string_view from, std::string_view to);

// Moves a file, link or folder to the new path `to` (its folder must
// exist). On one file system this is one no-replace rename; otherwise a
// literal copy is made (each file flushed to disk and its size checked),
// put in place under its final name in one step, and only then is the
// source removed. 1 on success. 0 when `from` is missing, something exists
// at `to`, a folder would go into itself, or any step fails: the source is
// then untouched and nothing is left at `to`.
int MovePath(std::string_view from, std::string_view to);

// Copies a file, link (as a link) or folder with everything in it to the
// new path `to`, literally and flushed, appearing at `to` in one step. 1 on
// success; 0 when `from` is missing, something exists at `to`, a folder
// would go into itself, or any step fails, leaving nothing behind.
int CopyPath(std::string_view from, std::string_view to);

// Test seam for the no-loss rules. While armed, the n-th file system call
// (1 = the first after arming) made by the helpers above, CreateDir, DelFile
// and DelPath fails with `error`, once; with kill set, the process is
// killed with SIGKILL at that call instead, as a crash would. Calls()
// counts the calls since arming (n = 0 arms nothing and only counts).
namespace file_fault {
void Arm(int n, int error, bool kill = false);
void Disarm();
int Calls();
// True when the armed call has failed (or been reached) since arming.
bool Hit();
}  // namespace file_fault

// ------------------------------------------------------------ other services
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
