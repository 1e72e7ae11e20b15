#pragma once
// The three layout records of the description files: a control's layout
// (_MYCONTROL), a text (_MYLANGUAGE) and a font (_MYFONT). The
// configuration library reads and writes them; the control library draws
// from them. The header has no code of its own, so both can include it
// without linking each other.
//
// Colours ("maskColor", "color") are colour references: red in the low
// byte, then green, then blue (0x00BBGGRR).

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/records.h"

// One text placed on a control: the language entry it shows and the
// rectangle it is drawn in. A languageId of -1 marks an unused entry.
struct _MYCTRLTEXT {
  std::int32_t languageId = -1;
  CRect rect;
};
static_assert(sizeof(_MYCTRLTEXT) == 20);

// A control's text table: always four entries, used from the front; the
// first entry with languageId -1 ends the used part.
using MyCtrlTextTable = std::array<_MYCTRLTEXT, 4>;
static_assert(sizeof(MyCtrlTextTable) == 80);

// One control of a window.
struct _MYCONTROL {
  std::int32_t id = 0;
  std::u16string type;
  std::u16string bgImg;
  std::u16string tip;
  CRect rect;
  std::u16string normalImg;
  std::u16string overImg;
  std::u16string selectImg;
  CRect imgRect;
  CRect clickRect;
  std::uint32_t maskColor = 0;
  std::unique_ptr<MyCtrlTextTable> textTable;
};

// One text of a window.
struct _MYLANGUAGE {
  std::int32_t id = 0;
  std::u16string value;
  std::int32_t logfontId = 0;  // id of the _MYFONT to draw it with
  std::uint32_t color = 0;
  std::uint32_t format = 0;  // text-layout flags of the text drawing call
};

// One font.
struct _MYFONT {
  std::int32_t id = 0;
  std::unique_ptr<LOGFONTW> logfont;
};

// The lists the readers append to. Records belong to the list.
using MyControlList = std::list<std::unique_ptr<_MYCONTROL>>;
using MyLanguageList = std::list<std::unique_ptr<_MYLANGUAGE>>;
using MyFontList = std::list<std::unique_ptr<_MYFONT>>;
