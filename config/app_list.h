#pragma once
// The application list: numbered entries with a name, a path and a version.

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "config/xml_config_doc.h"

struct tgAPP {
  std::int32_t appId = 0;
  std::u16string name;
  std::u16string path;
  std::u16string ver;
};

// Entries belong to the list.
using AppList = std::list<std::unique_ptr<tgAPP>>;

class CAppMgr : public CXmlConfigDoc {
 public:
  // Loads the list, or an empty "AppList" document when it cannot be read.
  int Load(const std::string& path);
  // Appends one entry per child of the root in document order; returns the
  // number appended.
  std::uint32_t ReadAppList(AppList& out);
};

// An application list together with the entries read from it.
class CAppListMgr {
 public:
  CAppListMgr() = default;
  ~CAppListMgr() { AppRelease(); }
  CAppListMgr(const CAppListMgr&) = delete;
  CAppListMgr& operator=(const CAppListMgr&) = delete;

  // Drops the current entries, loads the file of that name from the
  // configuration folder (an empty list when it cannot be read) and reads
  // every entry.
  void LoadAppList(std::u16string_view fileName);
  // The first entry with that appId, or null. Valid until the next load or
  // release.
  tgAPP* GetMyAPP(int appId);
  // Frees every entry.
  void AppRelease() { m_apps.clear(); }
  void Release() { AppRelease(); }

  const AppList& Apps() const { return m_apps; }

 private:
  AppList m_apps;
  CAppMgr m_doc;
};
