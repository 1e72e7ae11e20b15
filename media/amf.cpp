#include "media/amf.h"

#include <cstring>

namespace Flash {

namespace {

void PutU16(unsigned char*& p, unsigned v) {
  *p++ = static_cast<unsigned char>(v >> 8);
  *p++ = static_cast<unsigned char>(v);
}
void PutU32(unsigned char*& p, std::uint32_t v) {
  *p++ = static_cast<unsigned char>(v >> 24);
  *p++ = static_cast<unsigned char>(v >> 16);
  *p++ = static_cast<unsigned char>(v >> 8);
  *p++ = static_cast<unsigned char>(v);
}
void PutText(unsigned char*& p, const std::string& s) {
  if (!s.empty()) std::memcpy(p, s.data(), s.size());
  p += s.size();
}

bool Has(const unsigned char* p, const unsigned char* end, std::size_t n) {
  return p <= end && static_cast<std::size_t>(end - p) >= n;
}
unsigned GetU16(const unsigned char*& p) {
  unsigned v = (unsigned(p[0]) << 8) | p[1];
  p += 2;
  return v;
}
std::uint32_t GetU32(const unsigned char*& p) {
  std::uint32_t v = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) |
                    (std::uint32_t(p[2]) << 8) | p[3];
  p += 4;
  return v;
}
// Reads a marker byte and checks it against the expected one.
bool TakeMarker(const unsigned char*& p, const unsigned char* end, int marker) {
  if (!Has(p, end, 1) || *p != marker) return false;
  ++p;
  return true;
}
bool ReadText(const unsigned char*& p, const unsigned char* end, std::size_t len, std::string& out) {
  if (!Has(p, end, len)) return false;
  out.assign(reinterpret_cast<const char*>(p), len);
  p += len;
  return true;
}
bool AtObjectEnd(const unsigned char* p, const unsigned char* end) {
  return Has(p, end, 3) && p[0] == 0 && p[1] == 0 && p[2] == 9;
}

}  // namespace

AS_Value* NewValueForMarker(int marker) {
  switch (marker) {
    case 0x00: return new AS_Double();
    case 0x01: return new AS_UInt8();
    case 0x02: return new AS_String();
    case 0x03: return new AS_Object();
    case 0x04: return new AS_String();
    case 0x05: return new AS_NullType();
    case 0x07: return new AS_UInt16();
    case 0x08: return new AS_ECMA_Array();
    case 0x0A: return new AS_Strict_Array();
    case 0x0B: return new AS_Date();
    case 0x0C: return new AS_LongString();
    default: return nullptr;
  }
}

// ---- AS_Value ----

AS_Value::~AS_Value() { ClearChildren(); }

void AS_Value::ClearChildren() {
  for (AS_Value* c : m_children) delete c;
  m_children.clear();
}

unsigned AS_Value::ChildrenSize() const {
  unsigned n = 0;
  for (const AS_Value* c : m_children) n += c->GetSize();
  return n;
}

int AS_Value::Write(unsigned char*&) const { return -1; }
int AS_Value::Read(const unsigned char*&, const unsigned char*) { return -1; }
unsigned AS_Value::GetSize() const { return 0; }

namespace {
// Reads the typed value at q (its marker byte first) into a new object of
// the class `factory` makes for that marker; null when the bytes hold none.
AS_Value* ReadTypedValue(const AS_Value& factory, const unsigned char*& q, const unsigned char* end) {
  if (!Has(q, end, 1)) return nullptr;
  AS_Value* value = nullptr;
  factory.CreateValue(*q, &value);
  if (value && value->Read(q, end) != 0) {
    delete value;
    value = nullptr;
  }
  return value;
}
}  // namespace

int AS_Value::CreateValue(int marker, AS_Value** out) const {
  if (!out) return -1;
  *out = NewValueForMarker(marker);
  return 0;
}

std::string AS_Value::ToString() const { return std::string(); }
double AS_Value::ToDouble() const { return 0.0; }
bool AS_Value::ToBool() const { return false; }
int AS_Value::ToInt() const { return 0; }

void AS_Value::Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth) const {
  if (visit) visit(*this, depth, ctx);
}

const AS_Value* AS_Value::Find(const std::string& name) const {
  for (const AS_Value* c : m_children) {
    if (c->GetName() == name) {
      if (auto* v = dynamic_cast<const AS_Variable*>(c)) return v->GetValue();
      return c;
    }
  }
  return nullptr;
}

int AS_Value::ReadMembers(const unsigned char*& p, const unsigned char* end) {
  while (!AtObjectEnd(p, end)) {
    auto* var = new AS_Variable();
    if (var->Read(p, end) != 0) {
      delete var;
      return -1;
    }
    AddChild(var);
  }
  p += 3;
  return 0;
}

// ---- leaves ----

int AS_Double::Write(unsigned char*& p) const {
  *p++ = 0x00;
  std::uint64_t bits;
  std::memcpy(&bits, &m_value, 8);
  PutU32(p, static_cast<std::uint32_t>(bits >> 32));
  PutU32(p, static_cast<std::uint32_t>(bits));
  return 0;
}
int AS_Double::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 9) || *p != 0x00) return -1;
  ++p;
  std::uint64_t bits = std::uint64_t(GetU32(p)) << 32;
  bits |= GetU32(p);
  std::memcpy(&m_value, &bits, 8);
  return 0;
}

int AS_UInt8::Write(unsigned char*& p) const {
  *p++ = 0x01;
  *p++ = m_value;
  return 0;
}
int AS_UInt8::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 2) || *p != 0x01) return -1;
  m_value = p[1];
  p += 2;
  return 0;
}

int AS_String::Write(unsigned char*& p) const {
  *p++ = 0x02;
  PutU16(p, static_cast<unsigned>(m_value.size()));
  PutText(p, m_value);
  return 0;
}
int AS_String::Read(const unsigned char*& p, const unsigned char* end) {
  // 0x04 (the movie clip marker) is read as a string as well.
  if (!Has(p, end, 3) || (*p != 0x02 && *p != 0x04)) return -1;
  const unsigned char* q = p + 1;
  const unsigned len = GetU16(q);
  if (!ReadText(q, end, len, m_value)) return -1;
  p = q;
  return 0;
}

int AS_Object::Write(unsigned char*& p) const {
  *p++ = 0x03;
  for (const AS_Value* c : m_children) c->Write(p);
  PutU16(p, 0);
  *p++ = 0x09;
  return 0;
}
int AS_Object::Read(const unsigned char*& p, const unsigned char* end) {
  if (!TakeMarker(p, end, 0x03)) return -1;
  return ReadMembers(p, end);
}
void AS_Object::Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth) const {
  AS_Value::Traverse(visit, ctx, depth);
  for (const AS_Value* c : m_children) c->Traverse(visit, ctx, depth + 1);
}

int AS_NullType::Write(unsigned char*& p) const {
  *p++ = 0x05;
  return 0;
}
int AS_NullType::Read(const unsigned char*& p, const unsigned char* end) {
  return TakeMarker(p, end, 0x05) ? 0 : -1;
}

int AS_UInt16::Write(unsigned char*& p) const {
  *p++ = 0x07;
  PutU16(p, m_value);
  return 0;
}
int AS_UInt16::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 3) || *p != 0x07) return -1;
  ++p;
  m_value = static_cast<std::uint16_t>(GetU16(p));
  return 0;
}

int AS_ECMA_Array::Write(unsigned char*& p) const {
  *p++ = 0x08;
  PutU32(p, static_cast<std::uint32_t>(m_children.size()));
  for (const AS_Value* c : m_children) c->Write(p);
  PutU16(p, 0);
  *p++ = 0x09;
  return 0;
}
int AS_ECMA_Array::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 5) || *p != 0x08) return -1;
  p += 5;  // the count is only a hint; the end mark closes the array
  return ReadMembers(p, end);
}
void AS_ECMA_Array::Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth) const {
  AS_Value::Traverse(visit, ctx, depth);
  for (const AS_Value* c : m_children) c->Traverse(visit, ctx, depth + 1);
}

unsigned AS_Strict_Array::GetSize() const {
  unsigned n = 5;
  for (const AS_Value* c : m_children) {
    auto* v = dynamic_cast<const AS_Variable*>(c);
    n += v ? (v->GetValue() ? v->GetValue()->GetSize() : 0) : c->GetSize();
  }
  return n;
}
int AS_Strict_Array::Write(unsigned char*& p) const {
  *p++ = 0x0A;
  PutU32(p, static_cast<std::uint32_t>(m_children.size()));
  for (AS_Value* c : m_children) {
    if (auto* v = dynamic_cast<AS_Variable*>(c)) {
      const bool flag = v->GetWriteName();
      v->SetWriteName(false);
      v->Write(p);
      v->SetWriteName(flag);
    } else {
      c->Write(p);
    }
  }
  return 0;
}
int AS_Strict_Array::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 5) || *p != 0x0A) return -1;
  ++p;
  const std::uint32_t count = GetU32(p);
  for (std::uint32_t i = 0; i < count; ++i) {
    auto* var = new AS_Variable();
    var->SetWriteName(false);
    if (var->Read(p, end) != 0) {
      delete var;
      return -1;
    }
    AddChild(var);
  }
  return 0;
}
void AS_Strict_Array::Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth) const {
  AS_Value::Traverse(visit, ctx, depth);
  for (const AS_Value* c : m_children) c->Traverse(visit, ctx, depth + 1);
}

int AS_Date::Write(unsigned char*& p) const {
  *p++ = 0x0B;
  PutU32(p, m_high);
  PutU32(p, m_low);
  PutU16(p, static_cast<std::uint16_t>(m_zone));
  return 0;
}
int AS_Date::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 11) || *p != 0x0B) return -1;
  ++p;
  m_high = GetU32(p);
  m_low = GetU32(p);
  m_zone = static_cast<std::int16_t>(GetU16(p));
  return 0;
}

int AS_LongString::Write(unsigned char*& p) const {
  *p++ = 0x0C;
  PutU32(p, static_cast<std::uint32_t>(m_value.size()));
  PutText(p, m_value);
  return 0;
}
int AS_LongString::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 5) || *p != 0x0C) return -1;
  const unsigned char* q = p + 1;
  const std::uint32_t len = GetU32(q);
  if (!ReadText(q, end, len, m_value)) return -1;
  p = q;
  return 0;
}

AS_AMF3Number::AS_AMF3Number(std::uint32_t v) : AS_Value(0x11) {
  v &= 0x1FFFFFFF;
  if (v <= 0x7F) {
    m_encoded = v;
    m_count = 1;
  } else if (v <= 0x3FFF) {
    m_encoded = ((0x80 | (v >> 7)) << 8) | (v & 0x7F);
    m_count = 2;
  } else if (v <= 0x1FFFFF) {
    m_encoded = ((0x80 | (v >> 14)) << 16) | ((0x80 | ((v >> 7) & 0x7F)) << 8) | (v & 0x7F);
    m_count = 3;
  } else {
    m_encoded = ((0x80 | (v >> 22)) << 24) | ((0x80 | ((v >> 15) & 0x7F)) << 16) |
                ((0x80 | ((v >> 8) & 0x7F)) << 8) | (v & 0xFF);
    m_count = 4;
  }
}
std::uint32_t AS_AMF3Number::GetValue() const {
  std::uint32_t v = 0;
  for (int i = m_count - 1; i >= 0; --i) {
    const std::uint32_t b = (m_encoded >> (8 * i)) & 0xFF;
    if (m_count == 4 && i == 0) {
      v = (v << 8) | b;
    } else {
      v = (v << 7) | (b & 0x7F);
    }
  }
  return v;
}
int AS_AMF3Number::Write(unsigned char*& p) const {
  *p++ = 0x11;
  *p++ = 0x04;
  for (int i = m_count - 1; i >= 0; --i) *p++ = static_cast<unsigned char>(m_encoded >> (8 * i));
  return 0;
}
int AS_AMF3Number::Read(const unsigned char*& p, const unsigned char* end) {
  if (!Has(p, end, 3) || p[0] != 0x11 || p[1] != 0x04) return -1;
  const unsigned char* q = p + 2;
  std::uint32_t enc = 0;
  int n = 0;
  while (n < 4) {
    if (!Has(q, end, 1)) return -1;
    const unsigned char b = *q++;
    enc = (enc << 8) | b;
    ++n;
    if (n < 4 && !(b & 0x80)) break;
  }
  m_encoded = enc;
  m_count = n;
  p = q;
  return 0;
}

// ---- AS_Variable ----

AS_Variable::~AS_Variable() { delete m_value; }

void AS_Variable::SetValue(AS_Value* value) {
  if (value == m_value) return;
  delete m_value;
  m_value = value;
}

int AS_Variable::Write(unsigned char*& p) const {
  if (m_writeName) {
    PutU16(p, static_cast<unsigned>(m_name.size()));
    PutText(p, m_name);
  }
  if (m_value) m_value->Write(p);
  return 0;
}
unsigned AS_Variable::GetSize() const {
  unsigned n = m_writeName ? static_cast<unsigned>(m_name.size()) + 2 : 0;
  return n + (m_value ? m_value->GetSize() : 0);
}
int AS_Variable::Read(const unsigned char*& p, const unsigned char* end) {
  // Nesting deeper than any real script tag is refused rather than followed.
  static thread_local int depth = 0;
  if (depth >= 64) return -1;
  struct Guard {
    Guard() { ++depth; }
    ~Guard() { --depth; }
  } guard;
  const unsigned char* q = p;
  if (m_writeName) {
    if (!Has(q, end, 2)) return -1;
    const unsigned len = GetU16(q);
    if (!ReadText(q, end, len, m_name)) return -1;
  }
  AS_Value* value = ReadTypedValue(*this, q, end);
  if (!value) return -1;
  SetValue(value);
  p = q;
  return 0;
}
void AS_Variable::Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth) const {
  AS_Value::Traverse(visit, ctx, depth);
  if (m_value) m_value->Traverse(visit, ctx, depth + 1);
}

// ---- AS_DataObject ----

unsigned AS_DataObject::GetSize() const {
  if (m_name.empty()) return 0;
  return static_cast<unsigned>(m_name.size()) + 3 + (m_children.empty() ? 0 : m_children.front()->GetSize());
}
int AS_DataObject::Write(unsigned char*& p) const {
  // Without a name there is no script tag head: nothing is written, as
  // GetSize (0) promises the caller who sized the block by it.
  if (m_name.empty()) return -1;
  *p++ = 0x02;
  PutU16(p, static_cast<unsigned>(m_name.size()));
  PutText(p, m_name);
  if (!m_children.empty()) m_children.front()->Write(p);
  return 0;
}
int AS_DataObject::Read(const unsigned char*& p, const unsigned char* end) {
  AS_String name;
  const unsigned char* q = p;
  if (name.Read(q, end) != 0) return -1;
  AS_Value* value = ReadTypedValue(*this, q, end);
  if (!value) return -1;
  ClearChildren();
  m_name = name.m_value;
  AddChild(value);
  p = q;
  return 0;
}
void AS_DataObject::Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth) const {
  AS_Value::Traverse(visit, ctx, depth);
  for (const AS_Value* c : m_children) c->Traverse(visit, ctx, depth + 1);
}

}  // namespace Flash
