#pragma once
// INI ("profile") files with the behaviour of the Windows profile calls:
// sections and keys match without regard to case, values are trimmed and
// lose one pair of enclosing quotes, and every call opens the file anew so
// that another process's changes are seen at once. Writes take an advisory
// lock and replace the file atomically, so concurrent writers never tear the
// file or lose each other's keys.

#include <string>
#include <string_view>
#include <vector>

// The value, or `defaultValue` when the file, section or key is missing.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& file);

// The value's leading integer (optional sign, then digits; nothing numeric
// gives 0), or `defaultValue` when the key is missing.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& file);

// Sets section/key to value. A null `value` deletes the key, a null `key`
// deletes the whole section. Missing folders are created. True on success.
bool WritePrivateProfileString(std::string_view section, const char* key, const char* value,
                               const std::string& file);

// Names of the keys of a section, in file order (empty when missing).
std::vector<std::string> GetPrivateProfileKeys(std::string_view section, const std::string& file);
