#pragma once
// The upgrade descriptor: per product component its version and the names
// of the upgrade archive and the upgrade program.

#include <string>

#include "config/xml_config_doc.h"

class CUpgradeMgr : public CXmlConfigDoc {
 public:
  // Loads the descriptor; 0 when it cannot be read (there is no fallback).
  int Load(const std::string& path);

  // For every entry whose "name" equals `name` exactly, in document order:
  // `ver` from its "ver", `zipFile` from its "FileZIP" child and `upgradeApp`
  // from its "UpgradeAPP" child; later matches overwrite earlier ones and
  // outputs nothing sets keep their values. 0 for a null name, else 1.
  int ReadUpgrade(const char16_t* name, std::u16string& ver, std::u16string& zipFile,
                  std::u16string& upgradeApp);
};
