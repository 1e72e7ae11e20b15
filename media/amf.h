#pragma once
// AMF0 values: the typed values of an FLV script tag ("onMetaData").
//
// Every value writes itself big-endian at a byte cursor and can be read back
// from one. Objects and arrays own their children (each an AS_Variable that
// carries a name and owns one value).

#include <cstdint>
#include <string>
#include <vector>

namespace Flash {

class AS_Value {
 public:
  AS_Value() = default;
  explicit AS_Value(int marker) : m_marker(marker) {}
  AS_Value(const AS_Value&) = delete;
  AS_Value& operator=(const AS_Value&) = delete;
  virtual ~AS_Value();

  // Writes the value at p and advances p; 0, or -1 when the class writes nothing.
  virtual int Write(unsigned char*& p) const;
  // Reads the value from p (never past end) and advances p; 0, or -1 when
  // the bytes do not hold a value of this class.
  virtual int Read(const unsigned char*& p, const unsigned char* end);
  // Exact number of bytes Write emits.
  virtual unsigned GetSize() const;
  // Stores in out a new empty value of the class that carries marker (null
  // for a marker no class carries); -1 only when out is null.
  virtual int CreateValue(int marker, AS_Value** out) const;
  virtual std::string ToString() const;
  virtual double ToDouble() const;
  virtual bool ToBool() const;
  virtual int ToInt() const;
  // Calls visit for this value and then, recursively, for what it holds.
  virtual void Traverse(void (*visit)(const AS_Value&, int depth, void* ctx), void* ctx, int depth = 0) const;

  const std::string& GetName() const { return m_name; }
  void SetName(const std::string& name) { m_name = name; }
  int GetMarker() const { return m_marker; }
  // Takes ownership of child.
  void AddChild(AS_Value* child) { m_children.push_back(child); }
  const std::vector<AS_Value*>& GetChildren() const { return m_children; }
  // The value of the child variable with that name, or null.
  const AS_Value* Find(const std::string& name) const;

 protected:
  void ClearChildren();
  unsigned ChildrenSize() const;
  // Reads named variables until the 00 00 09 end mark (objects and ECMA arrays).
  int ReadMembers(const unsigned char*& p, const unsigned char* end);

  std::string m_name;
  int m_marker = -1;
  std::vector<AS_Value*> m_children;
};

// The marker → class table shared by every class's CreateValue.
AS_Value* NewValueForMarker(int marker);

class AS_Double : public AS_Value {
 public:
  explicit AS_Double(double v = 0.0) : AS_Value(0x00), m_value(v) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return 9; }
  double ToDouble() const override { return m_value; }
  double m_value;
};

// The AMF0 boolean.
class AS_UInt8 : public AS_Value {
 public:
  explicit AS_UInt8(std::uint8_t v = 0) : AS_Value(0x01), m_value(v) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return 2; }
  bool ToBool() const override { return m_value != 0; }
  int ToInt() const override { return m_value; }
  std::uint8_t m_value;
};

class AS_String : public AS_Value {
 public:
  explicit AS_String(const std::string& v = std::string()) : AS_Value(0x02), m_value(v) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return static_cast<unsigned>(m_value.size()) + 3; }
  std::string ToString() const override { return m_value; }
  std::string m_value;
};

class AS_Object : public AS_Value {
 public:
  AS_Object() : AS_Value(0x03) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return 1 + ChildrenSize() + 3; }
  void Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth = 0) const override;
};

class AS_NullType : public AS_Value {
 public:
  AS_NullType() : AS_Value(0x05) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return 1; }
};

// The AMF0 reference.
class AS_UInt16 : public AS_Value {
 public:
  explicit AS_UInt16(std::uint16_t v = 0) : AS_Value(0x07), m_value(v) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return 3; }
  int ToInt() const override { return m_value; }
  std::uint16_t m_value;
};

class AS_ECMA_Array : public AS_Value {
 public:
  AS_ECMA_Array() : AS_Value(0x08) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return 5 + ChildrenSize() + 3; }
  void Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth = 0) const override;
};

class AS_Strict_Array : public AS_Value {
 public:
  AS_Strict_Array() : AS_Value(0x0A) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override;
  void Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth = 0) const override;
};

class AS_Date : public AS_Value {
 public:
  AS_Date() : AS_Value(0x0B) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return 11; }
  std::uint32_t m_high = 0;
  std::uint32_t m_low = 0;
  std::int16_t m_zone = 0;
};

class AS_LongString : public AS_Value {
 public:
  explicit AS_LongString(const std::string& v = std::string()) : AS_Value(0x0C), m_value(v) {}
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return static_cast<unsigned>(m_value.size()) + 5; }
  std::string ToString() const override { return m_value; }
  std::string m_value;
};

// An integer in AMF3's variable-length U29 form behind the switch marker 0x11.
class AS_AMF3Number : public AS_Value {
 public:
  explicit AS_AMF3Number(std::uint32_t value = 0);
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override { return static_cast<unsigned>(m_count) + 2; }
  std::uint32_t GetValue() const;
  std::uint32_t m_encoded = 0;  // the encoded bytes, most significant first
  int m_count = 1;
};

// A named slot that owns one value.
class AS_Variable : public AS_Value {
 public:
  AS_Variable() = default;
  AS_Variable(const std::string& name, AS_Value* value) : m_value(value) { m_name = name; }
  ~AS_Variable() override;
  int Write(unsigned char*& p) const override;
  // Reads the name (when the name flag is on), then a marker and its value.
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override;
  std::string ToString() const override { return m_value ? m_value->ToString() : std::string(); }
  double ToDouble() const override { return m_value ? m_value->ToDouble() : 0.0; }
  bool ToBool() const override { return m_value ? m_value->ToBool() : false; }
  int ToInt() const override { return m_value ? m_value->ToInt() : 0; }
  void Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth = 0) const override;

  void SetValue(AS_Value* value);
  const AS_Value* GetValue() const { return m_value; }
  void SetWriteName(bool on) { m_writeName = on; }
  bool GetWriteName() const { return m_writeName; }

 private:
  AS_Value* m_value = nullptr;
  bool m_writeName = true;
};

// A string name followed by its value (the first child): the head of a script tag.
class AS_DataObject : public AS_Value {
 public:
  AS_DataObject() = default;
  int Write(unsigned char*& p) const override;
  int Read(const unsigned char*& p, const unsigned char* end) override;
  unsigned GetSize() const override;
  void Traverse(void (*visit)(const AS_Value&, int, void*), void* ctx, int depth = 0) const override;
};

}  // namespace Flash
