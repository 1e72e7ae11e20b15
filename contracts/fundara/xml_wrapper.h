#pragma once
// XML documents for the configuration files: a document object, element
// nodes and lists of child elements. Texts are 8-bit (UTF-8) strings.
//
// Copies of a CXmlDocumentWrapper share one document; loading replaces the
// shared document for every copy. A node keeps the document it came from
// alive, so a node stays usable after its document object is gone or has
// loaded another file. A node that has been removed from its parent must not
// be used again. Children, counts and indices always mean element children:
// text, comments and processing instructions are not counted.
//
// Nothing here throws; failures are reported by the results.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct CXmlDocData;
class CXmlNodeWrapper;
class CXmlNodeListWrapper;

class CXmlDocumentWrapper {
 public:
  // Files larger than this are refused by Load: configuration documents are
  // small, and a runaway file must not exhaust memory.
  static constexpr std::size_t kMaxFileSize = 4u << 20;

  CXmlDocumentWrapper();  // an empty document without a root element

  // Loads the file at `path`; 1 when it is well-formed XML, 0 otherwise (the
  // document is then empty).
  int Load(const std::string& path);
  // Loads a document from text; 1 when it is well-formed, 0 otherwise (the
  // document is then empty).
  int LoadXML(std::string_view text);
  // Writes the document as UTF-8 with an XML declaration. The file is
  // replaced atomically (written beside it, then renamed) and created with
  // the permission bits `mode` (before the umask); missing folders are
  // created. 1 on success, 0 on failure; a path inside the shipped data
  // (IsShippedDataPath) is refused.
  int Save(const std::string& path, unsigned mode = 0644) const;

  // The root element; an invalid node when the document has none.
  CXmlNodeWrapper AsNode() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> m_shared;
};

class CXmlNodeWrapper {
 public:
  CXmlNodeWrapper() = default;  // an invalid node

  bool IsValid() const { return m_node != nullptr; }

  // The element name; empty for an invalid node.
  std::string GetName() const;
  // The text of the element (its first text or CDATA child); empty when none.
  std::string GetText() const;
  // Replaces the element's text. 1 on success.
  int SetText(std::string_view text);

  // The attribute's value; empty when the attribute is absent.
  std::string GetValue(std::string_view name) const;
  // Sets (adds or replaces) an attribute. 1 on success.
  int SetValue(std::string_view name, std::string_view value);
  // Sets an attribute to a decimal integer. 1 on success.
  int SetValue(std::string_view name, long long value);

  // Number of child elements.
  int NumNodes() const;
  // The child element at `index` in document order; invalid when out of range.
  CXmlNodeWrapper GetNode(int index) const;
  // All child elements, for indexed access in constant time.
  CXmlNodeListWrapper GetChildNodes() const;

  // Inserts a new element `name` so that it becomes child element `index`
  // (an index at or beyond the end appends it). Returns the new element, or
  // an invalid node on failure (invalid node, negative index, bad name).
  CXmlNodeWrapper InsertNode(int index, std::string_view name);
  // Removes child element `index` with everything below it. 1 on success,
  // 0 when the index is out of range.
  int RemoveNode(int index);

 private:
  friend class CXmlDocumentWrapper;
  friend class CXmlNodeListWrapper;
  CXmlNodeWrapper(std::shared_ptr<CXmlDocData> doc, void* node)
      : m_doc(std::move(doc)), m_node(node) {}

  std::shared_ptr<CXmlDocData> m_doc;
  void* m_node = nullptr;  // the parser's node record inside *m_doc
};

class CXmlNodeListWrapper {
 public:
  CXmlNodeListWrapper() = default;  // an empty list

  int Count() const { return static_cast<int>(m_nodes.size()); }
  // The element at `index`; invalid when out of range.
  CXmlNodeWrapper GetNode(int index) const;

 private:
  friend class CXmlNodeWrapper;
  std::shared_ptr<CXmlDocData> m_doc;
  std::vector<void*> m_nodes;
};
