#pragma once
// Where the configuration files of the given name lie. Stands in for the base
// library's configuration-folder lookup until that is available; every
// caller in this library goes through this one function.

#include <string>
#include <string_view>

// The full UTF-8 path of `fileName` in the configuration folder: the folder
// named by BREVIO_CONFIG_DIR when set, else the installed "share/brevio"
// beside the program, else the source tree's data folder.
std::string SettoraConfigPath(std::u16string_view fileName);
