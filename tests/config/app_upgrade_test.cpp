#include <gtest/gtest.h>
#include <stdlib.h>

#include "config/app_list.h"
#include "contracts/fundara/paths.h"
#include "config/upgrade_mgr.h"
#include "tests/config/test_files.h"

using config_test::Write;

namespace {

const char kAppList[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<AppList>
  <App appId="1" name="白板" path="/opt/board" ver="1.2"/>
  <Anything appId="2" name="second" path="p2" ver="2.0"/>
  <App appId="1" name="duplicate" path="p3" ver="3.0"/>
  <App name="no id"/>
</AppList>)";

const char kUpgrade[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Upgrade>
  <Item name="Brevio" ver="2.1.0"><FileZIP>brevio.zip</FileZIP><Note>x</Note><UpgradeAPP>up.exe</UpgradeAPP></Item>
  <Item name="brevio" ver="9.9"><FileZIP>wrong-case.zip</FileZIP></Item>
  <Item name="Capturo" ver="1.0"><FileZIP>first.zip</FileZIP></Item>
  <Item name="Capturo" ver="1.1"><UpgradeAPP>second.exe</UpgradeAPP></Item>
</Upgrade>)";

class AppAndUpgrade : public ::testing::Test {
 protected:
  std::filesystem::path dir = config_test::Scratch("app_upgrade");
};

}  // namespace

TEST_F(AppAndUpgrade, ReadAppListAppendsEveryEntryInOrder) {
  CAppMgr mgr;
  ASSERT_EQ(mgr.Load(Write(dir / "apps.xml", kAppList)), 1);
  AppList list;
  ASSERT_EQ(mgr.ReadAppList(list), 4u);
  EXPECT_EQ(list.front()->appId, 1);
  EXPECT_EQ(list.front()->name, u"白板");
  EXPECT_EQ(list.front()->path, u"/opt/board");
  EXPECT_EQ(list.front()->ver, u"1.2");
  EXPECT_EQ(list.back()->appId, 0);
  EXPECT_EQ(list.back()->path, u"");

  CAppMgr missing;
  EXPECT_EQ(missing.Load((dir / "none.xml").string()), 1);
  EXPECT_EQ(missing.ReadAppList(list), 0u);
  ASSERT_EQ(missing.Save((dir / "created.xml").string()), 1);
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.Load((dir / "created.xml").string()), 1);
  EXPECT_EQ(doc.AsNode().GetName(), "AppList");
}

TEST_F(AppAndUpgrade, AppListManagerFindsTheFirstEntryAndReloadsCleanly) {
  Write(dir / "apps.xml", kAppList);
  // The user's own copy in the settings folder is what GetConfigPath finds first.
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", dir.c_str(), 1), 0);
  std::filesystem::create_directories(dir / "Brevio");
  Write(dir / "Brevio" / "apps.xml", kAppList);
  EXPECT_EQ(GetConfigPath("apps.xml"), (dir / "Brevio" / "apps.xml").string());

  CAppListMgr mgr;
  mgr.LoadAppList(u"apps.xml");
  EXPECT_EQ(mgr.Apps().size(), 4u);
  ASSERT_NE(mgr.GetMyAPP(1), nullptr);
  EXPECT_EQ(mgr.GetMyAPP(1)->name, u"白板");  // listed twice: the first wins
  EXPECT_EQ(mgr.GetMyAPP(2)->ver, u"2.0");
  EXPECT_EQ(mgr.GetMyAPP(5), nullptr);

  mgr.LoadAppList(u"apps.xml");  // a reload replaces, it does not add
  EXPECT_EQ(mgr.Apps().size(), 4u);
  mgr.LoadAppList(u"missing.xml");
  EXPECT_TRUE(mgr.Apps().empty());
  mgr.LoadAppList(u"apps.xml");
  mgr.Release();
  EXPECT_EQ(mgr.GetMyAPP(1), nullptr);
  unsetenv("BREVIO_CONFIG_DIR");
}

TEST_F(AppAndUpgrade, ReadUpgradeMatchesNamesExactlyAndLaterEntriesWin) {
  CUpgradeMgr mgr;
  EXPECT_EQ(mgr.Load((dir / "none.xml").string()), 0);  // no fallback
  std::u16string ver = u"keep-v", zip = u"keep-z", app = u"keep-a";
  EXPECT_EQ(mgr.ReadUpgrade(u"Brevio", ver, zip, app), 1);
  EXPECT_EQ(ver, u"keep-v");

  ASSERT_EQ(mgr.Load(Write(dir / "Upgrade.xml", kUpgrade)), 1);
  EXPECT_EQ(mgr.ReadUpgrade(nullptr, ver, zip, app), 0);
  EXPECT_EQ(mgr.ReadUpgrade(u"Nothing", ver, zip, app), 1);
  EXPECT_EQ(ver, u"keep-v");
  EXPECT_EQ(zip, u"keep-z");
  EXPECT_EQ(app, u"keep-a");

  EXPECT_EQ(mgr.ReadUpgrade(u"Brevio", ver, zip, app), 1);
  EXPECT_EQ(ver, u"2.1.0");
  EXPECT_EQ(zip, u"brevio.zip");
  EXPECT_EQ(app, u"up.exe");

  // Two entries: the version of the last, the archive from the first, the
  // program from the second.
  std::u16string v2, z2, a2 = u"untouched";
  ASSERT_EQ(mgr.ReadUpgrade(u"Capturo", v2, z2, a2), 1);
  EXPECT_EQ(v2, u"1.1");
  EXPECT_EQ(z2, u"first.zip");
  EXPECT_EQ(a2, u"second.exe");

  // A broken descriptor does not load, and a later read finds nothing of
  // the earlier one.
  EXPECT_EQ(mgr.Load(Write(dir / "bad.xml", "<Upgrade><Item name='Brevio'")), 0);
  std::u16string v3 = u"same";
  EXPECT_EQ(mgr.ReadUpgrade(u"Brevio", v3, z2, a2), 1);
  EXPECT_EQ(v3, u"same");
}
