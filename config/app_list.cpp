#include "config/app_list.h"

#include <new>

#include "contracts/fundara/paths.h"
#include "config/text_codec.h"

namespace {
constexpr char kEmptyAppListXml[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><AppList/>";
}

int CAppMgr::Load(const std::string& path) { return LoadOr(path, kEmptyAppListXml); }

std::uint32_t CAppMgr::ReadAppList(AppList& out) {
  const CXmlNodeListWrapper entries = Root().GetChildNodes();
  std::uint32_t appended = 0;
  for (int i = 0; i < entries.Count(); ++i) {
    const CXmlNodeWrapper node = entries.GetNode(i);
    try {
      auto app = std::make_unique<tgAPP>();
      app->appId = ParseDecimal(node.GetValue("appId"));
      app->name = Utf8ToUtf16(node.GetValue("name"));
      app->path = Utf8ToUtf16(node.GetValue("path"));
      app->ver = Utf8ToUtf16(node.GetValue("ver"));
      out.push_back(std::move(app));
      ++appended;
    } catch (const std::bad_alloc&) {
      break;  // out of memory: the entries so far stay with the caller
    }
  }
  return appended;
}

void CAppListMgr::LoadAppList(std::u16string_view fileName) {
  AppRelease();
  m_doc.Load(GetConfigPath(Utf16ToUtf8(fileName)));
  m_doc.ReadAppList(m_apps);
}

tgAPP* CAppListMgr::GetMyAPP(int appId) {
  for (const auto& app : m_apps)
    if (app->appId == appId) return app.get();
  return nullptr;
}
