#include "contracts/fundara/xml_wrapper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

fs::path ScratchDir() {
  const char* base = std::getenv("BREVIO_TEST_TMP");
  fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "xml_wrapper";
  fs::create_directories(dir);
  return dir;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(XmlWrapper, ChildrenAreElementsInDocumentOrder) {
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.LoadXML("<Root> text <!-- note --><a id='1'/><?pi x?><b/>tail<c/></Root>"), 1);
  CXmlNodeWrapper root = doc.AsNode();
  ASSERT_TRUE(root.IsValid());
  EXPECT_EQ(root.GetName(), "Root");
  EXPECT_EQ(root.NumNodes(), 3);
  EXPECT_EQ(root.GetNode(0).GetName(), "a");
  EXPECT_EQ(root.GetNode(2).GetName(), "c");
  EXPECT_FALSE(root.GetNode(3).IsValid());
  EXPECT_FALSE(root.GetNode(-1).IsValid());

  const CXmlNodeListWrapper list = root.GetChildNodes();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.GetNode(1).GetName(), "b");
  EXPECT_FALSE(list.GetNode(3).IsValid());
  EXPECT_EQ(list.GetNode(0).GetValue("id"), "1");
}

TEST(XmlWrapper, AttributesReadEmptyWhenAbsentAndAreReplacedInPlace) {
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.LoadXML("<Root a=\"x\" b=\"y\"/>"), 1);
  CXmlNodeWrapper root = doc.AsNode();
  EXPECT_EQ(root.GetValue("missing"), "");
  EXPECT_EQ(root.SetValue("a", std::string_view("new")), 1);
  EXPECT_EQ(root.SetValue("n", -42LL), 1);
  EXPECT_EQ(root.GetValue("a"), "new");
  EXPECT_EQ(root.GetValue("n"), "-42");
  EXPECT_EQ(root.SetValue("", std::string_view("v")), 0);

  CXmlNodeWrapper invalid;
  EXPECT_EQ(invalid.GetValue("a"), "");
  EXPECT_EQ(invalid.SetValue("a", 1LL), 0);
  EXPECT_EQ(invalid.NumNodes(), 0);
  EXPECT_FALSE(invalid.InsertNode(0, "x").IsValid());
  EXPECT_EQ(invalid.RemoveNode(0), 0);
}

TEST(XmlWrapper, InsertAndRemoveByElementIndex) {
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.LoadXML("<Root><a/><!-- c --><b/><!-- trailing --></Root>"), 1);
  CXmlNodeWrapper root = doc.AsNode();
  EXPECT_EQ(root.InsertNode(0, "first").GetName(), "first");
  EXPECT_TRUE(root.InsertNode(2, "middle").IsValid());
  EXPECT_TRUE(root.InsertNode(99, "last").IsValid());
  EXPECT_FALSE(root.InsertNode(-1, "bad").IsValid());
  EXPECT_FALSE(root.InsertNode(0, "").IsValid());
  std::string names;
  for (int i = 0; i < root.NumNodes(); ++i) names += root.GetNode(i).GetName() + " ";
  EXPECT_EQ(names, "first a middle b last ");

  EXPECT_EQ(root.RemoveNode(1), 1);
  EXPECT_EQ(root.RemoveNode(4), 0);
  EXPECT_EQ(root.NumNodes(), 4);
  EXPECT_EQ(root.GetNode(1).GetName(), "middle");

  // An inserted element keeps its place after a save and load.
  const fs::path file = ScratchDir() / "insert.xml";
  ASSERT_EQ(doc.Save(file.string()), 1);
  CXmlDocumentWrapper again;
  ASSERT_EQ(again.Load(file.string()), 1);
  EXPECT_EQ(again.AsNode().GetNode(3).GetName(), "last");
}

TEST(XmlWrapper, ElementText) {
  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.LoadXML("<Root><u>plain</u><c><![CDATA[a<b]]></c><e/><s> </s></Root>"), 1);
  CXmlNodeWrapper root = doc.AsNode();
  EXPECT_EQ(root.GetNode(0).GetText(), "plain");
  EXPECT_EQ(root.GetNode(1).GetText(), "a<b");
  EXPECT_EQ(root.GetNode(2).GetText(), "");
  EXPECT_EQ(root.GetNode(3).GetText(), " ");  // a lone blank text is kept
  CXmlNodeWrapper e = root.GetNode(2);
  EXPECT_EQ(e.SetText("set"), 1);
  EXPECT_EQ(e.GetText(), "set");
  EXPECT_EQ(e.SetText("again"), 1);
  EXPECT_EQ(e.GetText(), "again");
}

TEST(XmlWrapper, CopiesShareTheDocumentAndNodesKeepTheirs) {
  CXmlDocumentWrapper a;
  ASSERT_EQ(a.LoadXML("<One x='1'/>"), 1);
  CXmlDocumentWrapper b = a;
  b.AsNode().SetValue("x", 2LL);
  EXPECT_EQ(a.AsNode().GetValue("x"), "2");

  CXmlNodeWrapper old = a.AsNode();
  ASSERT_EQ(b.LoadXML("<Two/>"), 1);
  EXPECT_EQ(a.AsNode().GetName(), "Two");  // loading replaces it for every copy
  EXPECT_EQ(old.GetName(), "One");         // an earlier node still sees its own document

  CXmlNodeWrapper survivor;
  {
    CXmlDocumentWrapper temporary;
    ASSERT_EQ(temporary.LoadXML("<Gone><child/></Gone>"), 1);
    survivor = temporary.AsNode().GetNode(0);
  }
  EXPECT_EQ(survivor.GetName(), "child");
}

TEST(XmlWrapper, BadInputLeavesAnEmptyDocument) {
  CXmlDocumentWrapper doc;
  EXPECT_FALSE(doc.AsNode().IsValid());
  ASSERT_EQ(doc.LoadXML("<Root/>"), 1);
  EXPECT_EQ(doc.LoadXML("<Root><unclosed></Root>"), 0);
  EXPECT_FALSE(doc.AsNode().IsValid());
  EXPECT_EQ(doc.LoadXML(""), 0);
  EXPECT_EQ(doc.LoadXML("<?xml version=\"1.0\"?>"), 0);
  EXPECT_EQ(doc.Load((ScratchDir() / "does-not-exist.xml").string()), 0);
  EXPECT_EQ(doc.Load(ScratchDir().string()), 0);  // a folder

  // A file beyond the size limit is refused before it is read.
  const fs::path huge = ScratchDir() / "huge.xml";
  WriteAll(huge, "<Root/>");
  fs::resize_file(huge, CXmlDocumentWrapper::kMaxFileSize + 1);
  EXPECT_EQ(doc.Load(huge.string()), 0);
  fs::remove(huge);

  // Deep nesting is parsed and released without recursion trouble.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  for (int i = 0; i < 200000; ++i) deep += "</a>";
  EXPECT_EQ(doc.LoadXML(deep), 1);
}

TEST(XmlWrapper, SaveWritesUtf8AtomicallyWithTheRequestedMode) {
  const fs::path dir = ScratchDir() / "save" / "nested";
  fs::remove_all(ScratchDir() / "save");
  const fs::path file = dir / "doc.xml";

  CXmlDocumentWrapper doc;
  ASSERT_EQ(doc.LoadXML("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Root/>"), 1);
  CXmlNodeWrapper root = doc.AsNode();
  const std::string tricky = "\xE4\xBF\x9D\xE5\xAD\x98 \"q\" & <a>\n\tline\xF0\x9F\x98\x80";
  root.SetValue("v", tricky);
  root.InsertNode(0, "t").SetText(tricky);
  ASSERT_EQ(doc.Save(file.string(), 0600), 1);  // the folders are created

  const std::string bytes = ReadAll(file);
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << bytes;
  EXPECT_EQ(bytes.find("ISO-8859-1"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  CXmlDocumentWrapper again;
  ASSERT_EQ(again.Load(file.string()), 1);
  EXPECT_EQ(again.AsNode().GetValue("v"), tricky);
  EXPECT_EQ(again.AsNode().GetNode(0).GetText(), tricky);

  // A target that cannot be replaced fails and leaves no temporary behind.
  EXPECT_EQ(doc.Save(dir.string()), 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_EQ(doc.Save(""), 0);
}
