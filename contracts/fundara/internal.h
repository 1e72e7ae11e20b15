#pragma once
// Helpers shared by the Fundara sources; not part of the library's interface.

#include <filesystem>
#include <string>
#include <string_view>

namespace fundara_internal {

namespace fs = std::filesystem;

// ASCII lower case; other bytes (UTF-8 sequences) stay as they are.
std::string AsciiLower(std::string_view s);

// Shell-style match of one name against a pattern with '*' and '?',
// ignoring ASCII case as the original file system did.
bool WildcardMatch(std::string_view pattern, std::string_view name);
bool HasWildcard(std::string_view s);

// An environment variable, or empty when unset or empty.
std::string Env(const char* name);

// The file's path as a file:// URI with every byte outside the unreserved
// set percent-encoded (upper-case hex), as desktop programs spell it.
std::string FileUri(const fs::path& absolutePath);

// Writes `size` bytes to a fresh temporary file beside `target` and renames
// it over `target`, so readers never see half a file. Mode of the new file
// is `mode` (before the umask). True on success; nothing is left behind on failure.
bool WriteFileAtomically(const fs::path& target, const void* data, std::size_t size,
                         unsigned mode = 0644);

// The n-th free-name candidate of a file or folder name: the name itself for
// 0, else "name(n).ext" (the number before the last dot; at the end for a
// name without one or with only a leading dot).
std::string NumberedName(std::string_view name, int n);

// Flushes a file's data, or a folder's entries, to disk (through the
// file_fault seam). True on success.
bool SyncToDisk(const fs::path& path);

// Lower-case extension without the dot ("" when there is none).
std::string ExtensionLower(const fs::path& p);

}  // namespace fundara_internal
