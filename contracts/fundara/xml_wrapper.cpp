#include "contracts/fundara/xml_wrapper.h"

#include "contracts/fundara/paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <pugixml.hpp>
#include <system_error>

struct CXmlDocData {
  pugi::xml_document doc;
};

struct CXmlDocumentWrapper::Shared {
  std::shared_ptr<CXmlDocData> data = std::make_shared<CXmlDocData>();
};

namespace {

// Whitespace-only text that is an element's only content (a user name of
// blanks) is kept; layout whitespace between elements is dropped.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

pugi::xml_node Node(void* p) { return pugi::xml_node(static_cast<pugi::xml_node_struct*>(p)); }

// pugixml wants terminated names; string_views from callers need not be.
std::string Terminated(std::string_view s) { return std::string(s); }

pugi::xml_node ElementChild(pugi::xml_node parent, int index) {
  if (index < 0) return {};
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (index-- == 0) return child;
  }
  return {};
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<unsigned long long>(size) > CXmlDocumentWrapper::kMaxFileSize)
    return false;
  in.seekg(0, std::ios::beg);
  out.resize(static_cast<std::size_t>(size));
  if (size > 0 && !in.read(out.data(), size)) return false;
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// Document

CXmlDocumentWrapper::CXmlDocumentWrapper() : m_shared(std::make_shared<Shared>()) {}

int CXmlDocumentWrapper::Load(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    m_shared->data = std::make_shared<CXmlDocData>();
    return 0;
  }
  return LoadXML(bytes);
}

int CXmlDocumentWrapper::LoadXML(std::string_view text) {
  // A fresh document, so that nodes handed out earlier keep the old one.
  auto data = std::make_shared<CXmlDocData>();
  const pugi::xml_parse_result result =
      data->doc.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
  if (!result || !data->doc.document_element()) {
    m_shared->data = std::make_shared<CXmlDocData>();
    return 0;
  }
  m_shared->data = std::move(data);
  return 1;
}

int CXmlDocumentWrapper::Save(const std::string& path, unsigned mode) const {
  // Shipped files are read-only data: settings go to the user's own copy.
  if (path.empty() || IsShippedDataPath(path)) return 0;
  // The declaration is always ours: the text is written as UTF-8 whatever
  // the loaded file declared.
  StringWriter writer;
  writer.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  m_shared->data->doc.save(writer, "\t", pugi::format_default | pugi::format_no_declaration,
                           pugi::encoding_utf8);

  namespace fs = std::filesystem;
  const fs::path target(path);
  std::error_code ec;
  const fs::path folder = target.parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);

  // A unique name beside the target, so the rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (fd < 0 && errno != EEXIST) return 0;
  }
  if (fd < 0) return 0;
  const bool written = WriteAll(fd, writer.text) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return 0;
  }
  return 1;
}

CXmlNodeWrapper CXmlDocumentWrapper::AsNode() const {
  pugi::xml_node root = m_shared->data->doc.document_element();
  if (!root) return {};
  return CXmlNodeWrapper(m_shared->data, root.internal_object());
}

// ---------------------------------------------------------------------------
// Node

std::string CXmlNodeWrapper::GetName() const {
  if (!m_node) return {};
  return Node(m_node).name();
}

std::string CXmlNodeWrapper::GetText() const {
  if (!m_node) return {};
  return Node(m_node).text().get();
}

int CXmlNodeWrapper::SetText(std::string_view text) {
  if (!m_node) return 0;
  return Node(m_node).text().set(Terminated(text).c_str()) ? 1 : 0;
}

std::string CXmlNodeWrapper::GetValue(std::string_view name) const {
  if (!m_node) return {};
  return Node(m_node).attribute(Terminated(name).c_str()).value();
}

int CXmlNodeWrapper::SetValue(std::string_view name, std::string_view value) {
  if (!m_node || name.empty()) return 0;
  const std::string key = Terminated(name);
  pugi::xml_node node = Node(m_node);
  pugi::xml_attribute attr = node.attribute(key.c_str());
  if (!attr) attr = node.append_attribute(key.c_str());
  if (!attr) return 0;
  return attr.set_value(Terminated(value).c_str()) ? 1 : 0;
}

int CXmlNodeWrapper::SetValue(std::string_view name, long long value) {
  return SetValue(name, std::string_view(std::to_string(value)));
}

int CXmlNodeWrapper::NumNodes() const {
  if (!m_node) return 0;
  int count = 0;
  for (pugi::xml_node child = Node(m_node).first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element) ++count;
  return count;
}

CXmlNodeWrapper CXmlNodeWrapper::GetNode(int index) const {
  if (!m_node) return {};
  pugi::xml_node child = ElementChild(Node(m_node), index);
  if (!child) return {};
  return CXmlNodeWrapper(m_doc, child.internal_object());
}

CXmlNodeListWrapper CXmlNodeWrapper::GetChildNodes() const {
  CXmlNodeListWrapper list;
  if (!m_node) return list;
  list.m_doc = m_doc;
  try {
    for (pugi::xml_node child = Node(m_node).first_child(); child; child = child.next_sibling())
      if (child.type() == pugi::node_element) list.m_nodes.push_back(child.internal_object());
  } catch (const std::bad_alloc&) {
    // Out of memory: the list holds the children gathered so far.
  }
  return list;
}

CXmlNodeWrapper CXmlNodeWrapper::InsertNode(int index, std::string_view name) {
  if (!m_node || index < 0 || name.empty()) return {};
  pugi::xml_node parent = Node(m_node);
  const std::string tag = Terminated(name);
  pugi::xml_node before = ElementChild(parent, index);
  pugi::xml_node added;
  if (before) {
    added = parent.insert_child_before(tag.c_str(), before);
  } else {
    // After the last element child, so that the new element follows every
    // existing element even when comments or text trail them.
    pugi::xml_node last;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
      if (child.type() == pugi::node_element) last = child;
    added = last ? parent.insert_child_after(tag.c_str(), last) : parent.append_child(tag.c_str());
  }
  if (!added) return {};
  return CXmlNodeWrapper(m_doc, added.internal_object());
}

int CXmlNodeWrapper::RemoveNode(int index) {
  if (!m_node) return 0;
  pugi::xml_node parent = Node(m_node);
  pugi::xml_node child = ElementChild(parent, index);
  if (!child) return 0;
  return parent.remove_child(child) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Node list

CXmlNodeWrapper CXmlNodeListWrapper::GetNode(int index) const {
  if (index < 0 || index >= Count()) return {};
  return CXmlNodeWrapper(m_doc, m_nodes[static_cast<std::size_t>(index)]);
}
