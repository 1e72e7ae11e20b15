#pragma once
// Numbered window messages inside one process.
//
// A window handle is a pointer to the receiving QObject. Any QObject that
// has called RegisterMessageTarget (CMessageTarget and the window classes do
// this for themselves) receives messages as CMessageEvent. Posting is safe
// from any thread and is harmless once the target has been destroyed: the
// message is dropped and PostMessage returns false.

#include "platform/records.h"

#include <QEvent>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HWND = QObject*;

// The event that carries one message. `result` is what the handler answers
// to a SendMessage.
class CMessageEvent : public QEvent {
 public:
  CMessageEvent(UINT msg, WPARAM w, LPARAM l) : QEvent(Type()), message(msg), wParam(w), lParam(l) {}
  static QEvent::Type Type();
  // Handing the event to another thread through Qt's queue synchronises in
  // a way ThreadSanitizer cannot see; this release/acquire pair states it.
  void Publish() { published_.store(true, std::memory_order_release); }
  void Receive() const { (void)published_.load(std::memory_order_acquire); }
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;

 private:
  std::atomic<bool> published_{false};
};

// Makes an object reachable through PostMessage/SendMessage until it is
// destroyed (it unregisters itself when its QObject part goes away).
void RegisterMessageTarget(QObject* target);
bool IsMessageTarget(HWND target);

// Queues the message for the target's thread. False when the target does not exist.
bool PostMessage(HWND target, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
// Delivers the message on the target's thread and waits for the answer.
// Returns 0 when the target does not exist.
LRESULT SendMessage(HWND target, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// Like SendMessage, but the sender stops waiting as soon as `cancelled`
// answers true (asked about every millisecond). A message whose handler has
// not begun by then is never delivered; `keepAlive` is held until the
// handler has run or the message was dropped, so what lParam points into
// can outlive the sender's wait. True when the handler ran to its end.
bool SendMessageCancellable(HWND target, UINT msg, WPARAM wParam, LPARAM lParam,
                            const std::function<bool()>& cancelled,
                            std::shared_ptr<const void> keepAlive = nullptr, LRESULT* result = nullptr);

// Messages that carry a text (a file path, several joined paths) go with
// SendMessage, never PostMessage: lParam is a `const QString*` that is valid
// only while the receiver handles the call, so a receiver that keeps the
// text copies it. SendTextMessage sends such a message; TextFromLParam reads
// the text on the receiving side (empty for lParam 0).
LRESULT SendTextMessage(HWND target, UINT msg, WPARAM wParam, const QString& text);
QString TextFromLParam(LPARAM lParam);

// A message number that every caller asking for the same name gets, in the
// range 0xC000..0xFFFF like registered window messages.
UINT RegisterWindowMessage(const std::string& name);
// The name a number was registered under; empty for a number that
// RegisterWindowMessage has not handed out in this process.
std::string GetRegisteredMessageName(UINT msg);

// Base for plain (non-window) message receivers: override OnMessage.
class CMessageTarget : public QObject {
 public:
  explicit CMessageTarget(QObject* parent = nullptr);
  bool event(QEvent* e) override;

 protected:
  virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};

// A receiver that records every message it gets; used by tests and tools.
class CMessageRecorder : public CMessageTarget {
 public:
  struct Entry {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  explicit CMessageRecorder(QObject* parent = nullptr) : CMessageTarget(parent) {}

  std::vector<Entry> Messages() const;
  std::size_t Count(UINT msg) const;
  void Clear();
  // Runs the calling thread's event loop until `msg` has arrived `count`
  // times in all, or `timeoutMs` has passed. True when it arrived.
  bool WaitFor(UINT msg, std::size_t count = 1, int timeoutMs = 5000);
  // Optional answer given to SendMessage.
  std::function<LRESULT(UINT, WPARAM, LPARAM)> answer;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};
