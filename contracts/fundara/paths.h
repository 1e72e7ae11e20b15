#pragma once
// Where Brevio keeps its files. Every function returns a full path without a
// trailing separator, in UTF-8. Folders are not created here (CreateDir does
// that); only the temporary folder is made on first use because it must be
// private to the user.
//
// Roots follow the XDG base directories, so every one can be moved by the
// environment (tests run in scratch folders this way):
//   settings           $XDG_CONFIG_HOME/Brevio          (~/.config/Brevio)
//   application data   $XDG_DATA_HOME/Brevio            (~/.local/share/Brevio)
//   output data root   "output" "dataPath" of the camera configuration, else
//                      $XDG_PICTURES_DIR/Brevio (user-dirs.dirs, else ~/Pictures)
//   thumbnails         $XDG_CACHE_HOME/thumbnails       (shared with file managers)
//   temporary files    $XDG_RUNTIME_DIR/Brevio, else $TMPDIR or /tmp: Brevio-<uid>
//   shipped data       $BREVIO_DATA_DIR, else <program>/../share/brevio, else the
//                      source tree's data/ folder, else $XDG_DATA_DIRS/brevio
// Shipped data holds config/ (description files), images/ (interface
// pictures) and lang/ (language texts).
//
// Below the output data root, the library folder is named with the language
// text "ziliaoku"; pictures and videos lie inside it, so a picture folder can
// be moved to a new root by cutting it at that name.

#include <string>
#include <string_view>

// Application data folder ($XDG_DATA_HOME/Brevio).
std::string GetAppData();
// Folder of the settings files and of the user's own description files.
std::string GetSettingsPath();
// Shipped read-only data (description files, images, language texts).
std::string GetShareDataPath();

// Output data root: "output" "dataPath" of the camera configuration when set.
std::string GetDataPathEx();
std::string GetDataLibPath();       // root of the picture library tree
std::string GetDataPicPath();       // photographs
std::string GetDataVideoPath();     // recordings (one sub-folder per day, made by callers)
std::string GetDataAbstractPath();  // course abstracts
std::string GetBindPath();          // pictures waiting to be bound into one archive
std::string GetCoursePath();        // files handed out by the quick capture window
std::string GetTempDataPath();      // private temporary folder, created 0700 on first use
std::string GetThumbsPath();        // the shared thumbnail folder

// Folder of the interface pictures; callers append "/" and a file name.
std::string GetImagePath();
// Full path of a description file: the user's own copy in the settings folder
// when there is one, else the shipped file of the current language
// (config/<language>/name), else the shipped file, else the settings-folder path
// (where a new file would be saved). Empty for an empty or unsafe name.
std::string GetConfigPath(std::string_view fileName);
// Where a description file is saved: always the user's own copy in the
// settings folder (Save creates the folder), never the shipped file that
// GetConfigPath may have read. Empty for an empty or unsafe name.
std::string GetConfigSavePath(std::string_view fileName);
// True when writing `path` would change shipped data: a file inside the
// shipped data folder, the installed one beside the program or the source
// tree's data/ folder (its folder's links resolved). Saves refuse such paths.
bool IsShippedDataPath(std::string_view path);

std::string GetCameraConfig();          // camera configuration INI file
std::string GetUISetConfig();           // interface settings INI file
std::string GetMicroClassLoginConfig(); // micro-class user store (XML)

// Programs started by the main program, next to the running program.
std::string GetUpgradeAppPath();
std::string GetVideoRecordPath();
// Folder of the running program.
std::string GetProgramPath();
