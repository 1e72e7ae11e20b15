#pragma once
// The three description files that lay out every owner-drawn window: the
// control file (where each control sits and what it draws), the language
// file (texts with colour and layout flags) and the font file. Each manager
// is one XML document; its readers append heap records to a list the caller
// owns, its writers change only the document until Save.

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "config/xml_config_doc.h"
#include "contracts/widgetta/ui_records.h"
#include "platform/geometry.h"
#include "platform/records.h"

// "<?xml version="1.0" encoding="UTF-8"?><Root/>": what a missing or broken
// description file reads as.
extern const char kEmptyDescriptionXml[];

class CControlMgr : public CXmlConfigDoc {
 public:
  // Loads the control file, or the empty description when it cannot be read.
  int Load(const std::string& path);

  // Appends one record per control of the first window block whose "id" is
  // `window`; returns the number appended (0 when there is no such block).
  std::uint32_t ReadControl(MyControlList& out, int window);

  // Adds `control` as the last "Ctrl" of window block `window`. 1 on success
  // and when a control with that id is already there (nothing changes then);
  // 0 for a null record, one without text table, or a missing window block.
  int WriteControl(const _MYCONTROL* control, int window);

  // A rectangle text "left,top,right,bottom"; each field read like atoi,
  // blanks after the commas allowed. A null text gives an empty rectangle.
  static CRect SubRect(const char16_t* text);
  static CRect SubRect(std::u16string_view text);
};

class CLanguageMgr : public CXmlConfigDoc {
 public:
  int Load(const std::string& path);

  // Appends one record per text of the first window block whose "id" is
  // `window`; returns the number appended.
  std::uint32_t ReadLanguage(MyLanguageList& out, int window);

  // Among the root's direct children: rewrites the first element whose "id"
  // equals the record's id, or appends a "Text" element. Colour and format
  // are written in hexadecimal so that they read back unchanged. 1 on
  // success, 0 for a null record or a document without root.
  int WriteLanguage(const _MYLANGUAGE* language);
};

class CLogfontMgr : public CXmlConfigDoc {
 public:
  int Load(const std::string& path);

  // Appends one record per child of the root; returns the number appended.
  // Face names longer than 31 characters are cut to 31.
  std::uint32_t ReadLogfont(MyFontList& out);

  // Rewrites the first root child whose "id" equals the record's id, or
  // appends a "LogFont" element. 1 on success, 0 for a null record, a record
  // without LOGFONTW or a document without root.
  int WriteLogfont(const _MYFONT* font);
};
