// User stores: read all users, then exercise every operation on what was
// read and check the answers agree with each other.
#include "config/login_config.h"
#include "tests/fuzz/targets/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CMicroClassLoginConfig store;
  if (!store.Load(fuzz::InputFile(data, size))) __builtin_trap();
  UserList users;
  const int count = store.ReadAllUser(users);
  if (count != store.ReadUserCount()) __builtin_trap();
  if (count >= 0 && static_cast<std::size_t>(count) != users.size()) __builtin_trap();

  std::u16string name, password;
  if (!users.empty()) {
    const _USER first = users.front();
    if (store.FindUser(first.userName.c_str(), password) < 0) __builtin_trap();
    if (store.AddUser(first.userName.c_str(), u"x") != 0) __builtin_trap();
    store.UpdataUser(first.userName.c_str(), nullptr);
    store.FindUser(count - 1, name, password);
    store.DelUser(first.userName.c_str());
  }
  const int added = store.AddUser(u"fuzz-user", nullptr);
  if (count >= 0 && added < 0) __builtin_trap();
  store.DelUser(0);
  store.DelAllUser();
  return 0;
}
