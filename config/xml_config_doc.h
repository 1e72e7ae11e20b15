#pragma once
// The document handling every configuration reader shares: one XML
// document per object, loaded from a UTF-8 path with an optional built-in
// fallback text, saved back on request. Copies share the document.

#include <string>
#include <string_view>

#include "contracts/fundara/xml_wrapper.h"

class CXmlConfigDoc {
 public:
  // Writes the current document to `path`; non-zero on success.
  int Save(const std::string& path) const { return m_doc.Save(path, m_saveMode); }

 protected:
  // `saveMode`: permission bits of saved files (before the umask).
  explicit CXmlConfigDoc(unsigned saveMode = 0644) : m_saveMode(saveMode) {}
  ~CXmlConfigDoc() = default;
  CXmlConfigDoc(const CXmlConfigDoc&) = default;
  CXmlConfigDoc& operator=(const CXmlConfigDoc&) = default;

  // Loads the file; when it is missing or not well-formed, loads `fallback`
  // instead. Non-zero when a document is present.
  int LoadOr(const std::string& path, std::string_view fallback) {
    if (m_doc.Load(path)) return 1;
    return m_doc.LoadXML(fallback);
  }

  CXmlNodeWrapper Root() const { return m_doc.AsNode(); }

  CXmlDocumentWrapper m_doc;

 private:
  unsigned m_saveMode;
};
