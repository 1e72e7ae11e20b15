#include "config/upgrade_mgr.h"

#include "config/text_codec.h"

int CUpgradeMgr::Load(const std::string& path) { return m_doc.Load(path); }

int CUpgradeMgr::ReadUpgrade(const char16_t* name, std::u16string& ver, std::u16string& zipFile,
                             std::u16string& upgradeApp) {
  if (!name) return 0;
  const std::u16string_view wanted(name);
  const CXmlNodeListWrapper entries = Root().GetChildNodes();
  for (int i = 0; i < entries.Count(); ++i) {
    const CXmlNodeWrapper entry = entries.GetNode(i);
    if (Utf8ToUtf16(entry.GetValue("name")) != wanted) continue;
    ver = Utf8ToUtf16(entry.GetValue("ver"));
    const CXmlNodeListWrapper parts = entry.GetChildNodes();
    for (int k = 0; k < parts.Count(); ++k) {
      const CXmlNodeWrapper part = parts.GetNode(k);
      const std::string element = part.GetName();
      if (element == "FileZIP")
        zipFile = Utf8ToUtf16(part.GetText());
      else if (element == "UpgradeAPP")
        upgradeApp = Utf8ToUtf16(part.GetText());
    }
  }
  return 1;
}
