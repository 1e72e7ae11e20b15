#include "config/login_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/config/test_files.h"

using config_test::Read;
using config_test::Write;

namespace {

class UserStore : public ::testing::Test {
 protected:
  std::filesystem::path dir = config_test::Scratch("login");
  CMicroClassLoginConfig store;
  void SetUp() override { ASSERT_EQ(store.Load((dir / "absent.xml").string()), 1); }
};

std::vector<std::u16string> Names(const CMicroClassLoginConfig& store) {
  UserList users;
  store.ReadAllUser(users);
  std::vector<std::u16string> names;
  for (const _USER& u : users) names.push_back(u.userName);
  return names;
}

}  // namespace

TEST_F(UserStore, NewestUserComesFirst) {
  EXPECT_EQ(store.ReadUserCount(), 0);
  EXPECT_EQ(store.AddUser(u"A", u"pa"), 1);
  EXPECT_EQ(store.AddUser(u"B", nullptr), 2);
  EXPECT_EQ(store.AddUser(u"C", u""), 3);
  EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"C", u"B", u"A"}));

  std::u16string password = u"unchanged";
  EXPECT_EQ(store.FindUser(u"A", password), 2);
  EXPECT_EQ(password, u"pa");
  EXPECT_EQ(store.FindUser(u"B", password), 1);
  EXPECT_EQ(password, u"");
  password = u"unchanged";
  EXPECT_EQ(store.FindUser(u"a", password), -1);  // names are case-sensitive
  EXPECT_EQ(store.FindUser(u"", password), -1);
  EXPECT_EQ(store.FindUser(static_cast<const char16_t*>(nullptr), password), -1);
  EXPECT_EQ(password, u"unchanged");

  std::u16string name;
  EXPECT_EQ(store.FindUser(0, name, password), 0);
  EXPECT_EQ(name, u"C");
  EXPECT_EQ(store.FindUser(3, name, password), -1);
  EXPECT_EQ(store.FindUser(-1, name, password), -1);
}

TEST_F(UserStore, AddingAnExistingUserKeepsItsPassword) {
  ASSERT_EQ(store.AddUser(u"teacher", u"secret"), 1);
  EXPECT_EQ(store.AddUser(u"teacher", u"other"), 0);
  EXPECT_EQ(store.AddUser(nullptr, u"x"), -1);
  EXPECT_EQ(store.ReadUserCount(), 1);
  std::u16string password;
  store.FindUser(u"teacher", password);
  EXPECT_EQ(password, u"secret");

  EXPECT_EQ(store.UpdataUser(u"teacher", nullptr), 0);
  store.FindUser(u"teacher", password);
  EXPECT_EQ(password, u"");
  EXPECT_EQ(store.UpdataUser(u"teacher", u"new"), 0);
  EXPECT_EQ(store.UpdataUser(u"nobody", u"new"), -1);
  EXPECT_EQ(store.UpdataUser(nullptr, u"new"), -1);
  store.FindUser(u"teacher", password);
  EXPECT_EQ(password, u"new");
}

TEST_F(UserStore, DeletingByNameIndexAndAll) {
  for (const char16_t* n : {u"A", u"B", u"C", u"D"}) store.AddUser(n, nullptr);  // D C B A
  EXPECT_EQ(store.DelUser(u"C"), 1);
  EXPECT_EQ(store.DelUser(u"C"), -1);
  EXPECT_EQ(store.DelUser(static_cast<const char16_t*>(nullptr)), -1);
  EXPECT_EQ(store.DelUser(2), 2);  // A
  EXPECT_EQ(store.DelUser(2), -1);
  EXPECT_EQ(store.DelUser(-1), -1);
  EXPECT_EQ(Names(store), (std::vector<std::u16string>{u"D", u"B"}));
  EXPECT_EQ(store.DelAllUser(), 2);
  EXPECT_EQ(store.ReadUserCount(), 0);
  EXPECT_EQ(store.DelAllUser(), 0);

  store.AddUser(u"only", nullptr);
  EXPECT_EQ(store.DelUser(0), 0);
  EXPECT_EQ(store.ReadUserCount(), 0);
}

TEST_F(UserStore, SavedStoreIsPrivateAndReadsBack) {
  const std::filesystem::path path = dir / "sub" / "login.xml";
  ASSERT_EQ(store.AddUser(u"张老师", u"p\"&<>\n"), 1);
  ASSERT_EQ(store.AddUser(u"second", nullptr), 2);
  ASSERT_EQ(store.Save(path.string()), 1);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // An existing file readable by others becomes private when saved over.
  Write(dir / "open.xml", "<Root><MicroClass/></Root>");
  std::filesystem::permissions(dir / "open.xml", std::filesystem::perms(0644));
  ASSERT_EQ(store.Save((dir / "open.xml").string()), 1);
  ASSERT_EQ(::stat((dir / "open.xml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const std::string text = Read(path);
  EXPECT_NE(text.find("<UserName passWord=\"\">second</UserName>"), std::string::npos) << text;

  CMicroClassLoginConfig again;
  ASSERT_EQ(again.Load(path.string()), 1);
  UserList users = {{u"stale", u"entry"}};
  ASSERT_EQ(again.ReadAllUser(users), 2);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users.front().userName, u"second");
  EXPECT_EQ(users.back().userName, u"张老师");
  EXPECT_EQ(users.back().passWord, u"p\"&<>\n");
}

TEST_F(UserStore, RootWithoutChildAnswersMinusOne) {
  CMicroClassLoginConfig bare;
  ASSERT_EQ(bare.Load(Write(dir / "bare.xml", "<Root><!-- nothing --></Root>")), 1);
  UserList users = {{u"x", u"y"}};
  std::u16string s;
  EXPECT_EQ(bare.ReadUserCount(), -1);
  EXPECT_EQ(bare.ReadAllUser(users), -1);
  EXPECT_TRUE(users.empty());
  EXPECT_EQ(bare.AddUser(u"a", nullptr), -1);
  EXPECT_EQ(bare.UpdataUser(u"a", nullptr), -1);
  EXPECT_EQ(bare.FindUser(u"a", s), -1);
  EXPECT_EQ(bare.FindUser(0, s, s), -1);
  EXPECT_EQ(bare.DelUser(u"a"), -1);
  EXPECT_EQ(bare.DelUser(0), -1);
  EXPECT_EQ(bare.DelAllUser(), -1);

  // A broken file reads as the empty store; the container's name is not read.
  CMicroClassLoginConfig broken;
  ASSERT_EQ(broken.Load(Write(dir / "broken.xml", "<Root><MicroClass>")), 1);
  EXPECT_EQ(broken.ReadUserCount(), 0);
  CMicroClassLoginConfig renamed;
  ASSERT_EQ(renamed.Load(Write(dir / "renamed.xml",
                               "<Root><Users><UserName passWord='p'>n</UserName></Users><X/></Root>")),
            1);
  EXPECT_EQ(renamed.ReadUserCount(), 1);
  EXPECT_EQ(renamed.FindUser(u"n", s), 0);
  EXPECT_EQ(s, u"p");
}
