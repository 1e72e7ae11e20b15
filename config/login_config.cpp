#include "config/login_config.h"

#include "config/text_codec.h"

const char kEmptyUserStoreXml[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><MicroClass/></Root>";

namespace {
std::string PasswordText(const char16_t* password) {
  return password ? Utf16ToUtf8(password) : std::string();
}
}  // namespace

int CMicroClassLoginConfig::Load(const std::string& path) {
  return LoadOr(path, kEmptyUserStoreXml);
}

CXmlNodeWrapper CMicroClassLoginConfig::Container() const { return Root().GetNode(0); }

int CMicroClassLoginConfig::IndexOf(const CXmlNodeListWrapper& users, std::u16string_view name) {
  for (int i = 0; i < users.Count(); ++i)
    if (Utf8ToUtf16(users.GetNode(i).GetText()) == name) return i;
  return -1;
}

int CMicroClassLoginConfig::ReadUserCount() const {
  const CXmlNodeWrapper container = Container();
  if (!container.IsValid()) return -1;
  return container.NumNodes();
}

int CMicroClassLoginConfig::ReadAllUser(UserList& out) const {
  out.clear();
  const CXmlNodeWrapper container = Container();
  if (!container.IsValid()) return -1;
  const CXmlNodeListWrapper users = container.GetChildNodes();
  for (int i = 0; i < users.Count(); ++i) {
    const CXmlNodeWrapper user = users.GetNode(i);
    out.push_back({Utf8ToUtf16(user.GetText()), Utf8ToUtf16(user.GetValue("passWord"))});
  }
  return users.Count();
}

int CMicroClassLoginConfig::AddUser(const char16_t* name, const char16_t* password) {
  if (!name) return -1;
  CXmlNodeWrapper container = Container();
  if (!container.IsValid()) return -1;
  const CXmlNodeListWrapper users = container.GetChildNodes();
  if (IndexOf(users, name) >= 0) return 0;
  CXmlNodeWrapper user = container.InsertNode(0, "UserName");
  if (!user.IsValid()) return -1;
  user.SetValue("passWord", PasswordText(password));
  user.SetText(Utf16ToUtf8(name));
  return users.Count() + 1;
}

int CMicroClassLoginConfig::UpdataUser(const char16_t* name, const char16_t* password) {
  if (!name) return -1;
  const CXmlNodeListWrapper users = Container().GetChildNodes();
  const int index = IndexOf(users, name);
  if (index >= 0) users.GetNode(index).SetValue("passWord", PasswordText(password));
  return index;
}

int CMicroClassLoginConfig::FindUser(const char16_t* name, std::u16string& password) const {
  if (!name) return -1;
  const CXmlNodeListWrapper users = Container().GetChildNodes();
  const int index = IndexOf(users, name);
  if (index >= 0) password = Utf8ToUtf16(users.GetNode(index).GetValue("passWord"));
  return index;
}

int CMicroClassLoginConfig::FindUser(int index, std::u16string& name,
                                     std::u16string& password) const {
  const CXmlNodeWrapper user = Container().GetNode(index);
  if (!user.IsValid()) return -1;
  name = Utf8ToUtf16(user.GetText());
  password = Utf8ToUtf16(user.GetValue("passWord"));
  return index;
}

int CMicroClassLoginConfig::DelUser(const char16_t* name) {
  if (!name) return -1;
  CXmlNodeWrapper container = Container();
  const int index = IndexOf(container.GetChildNodes(), name);
  if (index >= 0) container.RemoveNode(index);
  return index;
}

int CMicroClassLoginConfig::DelUser(int index) {
  CXmlNodeWrapper container = Container();
  return container.RemoveNode(index) ? index : -1;
}

int CMicroClassLoginConfig::DelAllUser() {
  CXmlNodeWrapper container = Container();
  if (!container.IsValid()) return -1;
  const int count = container.NumNodes();
  for (int i = count - 1; i >= 0; --i) container.RemoveNode(i);
  return count;
}
