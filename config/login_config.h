#pragma once
// The user store of the micro-class login window: user names with optional
// saved passwords, the most recently added user first.

#include <list>
#include <string>

#include "config/xml_config_doc.h"

struct _USER {
  std::u16string userName;
  std::u16string passWord;
};

using UserList = std::list<_USER>;

// "<?xml version="1.0" encoding="UTF-8"?><Root><MicroClass/></Root>": what a
// missing or broken user store reads as.
extern const char kEmptyUserStoreXml[];

// Save (inherited) writes the store readable and writable by its owner
// only, since it may hold saved passwords.
class CMicroClassLoginConfig : public CXmlConfigDoc {
 public:
  CMicroClassLoginConfig() : CXmlConfigDoc(0600) {}

  // Loads the store, or an empty one when it cannot be read.
  int Load(const std::string& path);

  // Users in the store; -1 when the root has no child.
  int ReadUserCount() const;
  // Replaces the contents of `out` with every user in store order; returns
  // their number, or -1 when the root has no child.
  int ReadAllUser(UserList& out) const;
  // Inserts a user in front of all others; a null password stores an empty
  // one. Returns the new number of users, 0 when the name is already
  // present (nothing changes), -1 for a null name or a root without child.
  int AddUser(const char16_t* name, const char16_t* password);
  // Replaces the password of the first user of that name; returns its index,
  // -1 when there is none or the name is null.
  int UpdataUser(const char16_t* name, const char16_t* password);
  // The index and password of the first user of that name; -1 when there is
  // none or the name is null.
  int FindUser(const char16_t* name, std::u16string& password) const;
  // Name and password of the user at `index`; the index, or -1 when out of range.
  int FindUser(int index, std::u16string& name, std::u16string& password) const;
  // Removes the first user of that name; returns the index it had, -1 when
  // there is none or the name is null.
  int DelUser(const char16_t* name);
  // Removes the user at `index`; returns the index, -1 when out of range.
  int DelUser(int index);
  // Removes every user; returns how many there were, -1 when the root has no
  // child.
  int DelAllUser();

 private:
  // The container of the users (the root's first child), or invalid.
  CXmlNodeWrapper Container() const;
  // Index of the first user called `name`, -1 when none.
  static int IndexOf(const CXmlNodeListWrapper& users, std::u16string_view name);
};
