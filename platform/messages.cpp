#include "platform/messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <map>
#include <memory>
#include <unordered_set>

namespace {

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<const QObject*>& Registry() {
  static std::unordered_set<const QObject*> set;
  return set;
}

}  // namespace

QEvent::Type CMessageEvent::Type() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void RegisterMessageTarget(QObject* target) {
  if (!target) return;
  {
    std::lock_guard lock(RegistryMutex());
    if (!Registry().insert(target).second) return;
  }
  // `destroyed` is emitted at the start of ~QObject, before Qt discards the
  // object's pending events; posting happens under the same lock, so a
  // message is either queued before this point (and then discarded by Qt)
  // or refused.
  QObject::connect(target, &QObject::destroyed, [target] {
    std::lock_guard lock(RegistryMutex());
    Registry().erase(target);
  });
}

bool IsMessageTarget(HWND target) {
  std::lock_guard lock(RegistryMutex());
  return Registry().count(target) != 0;
}

bool PostMessage(HWND target, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(RegistryMutex());
  if (!target || Registry().count(target) == 0) return false;
  auto* ev = new CMessageEvent(msg, wParam, lParam);
  ev->Publish();
  QCoreApplication::postEvent(target, ev);
  return true;
}

namespace {

// What a thread waiting in SendMessage learns from the target's thread.
struct SendState {
  std::mutex mutex;
  std::condition_variable done;
  bool begun = false;      // the handler has started
  bool abandoned = false;  // the sender gave up before it started
  bool finished = false;
  LRESULT result = 0;
};

// Signals the waiting thread when destroyed: after the delivery ran, or when
// Qt drops the call because the target died first.
class SendCompletion {
 public:
  explicit SendCompletion(std::shared_ptr<SendState> state) : state_(std::move(state)) {}
  ~SendCompletion() {
    {
      std::lock_guard lock(state_->mutex);
      state_->result = result;
      state_->finished = true;
    }
    state_->done.notify_all();
  }
  LRESULT result = 0;

 private:
  std::shared_ptr<SendState> state_;
};

// Queues the delivery on the target's thread. False when the target does
// not exist. The handler is skipped once the sender has abandoned the call.
bool QueueDelivery(HWND target, UINT msg, WPARAM wParam, LPARAM lParam, const std::shared_ptr<SendState>& state,
                   std::shared_ptr<const void> keepAlive) {
  auto completion = std::make_shared<SendCompletion>(state);
  std::lock_guard lock(RegistryMutex());
  if (Registry().count(target) == 0) return false;
  QMetaObject::invokeMethod(
      target,
      [target, completion, state, keepAlive = std::move(keepAlive), msg, wParam, lParam] {
        {
          std::lock_guard guard(state->mutex);
          if (state->abandoned) return;
          state->begun = true;
        }
        CMessageEvent ev(msg, wParam, lParam);
        QCoreApplication::sendEvent(target, &ev);
        completion->result = ev.result;
      },
      Qt::QueuedConnection);
  return true;
}

LRESULT SendOnOwnThread(HWND target, UINT msg, WPARAM wParam, LPARAM lParam) {
  CMessageEvent ev(msg, wParam, lParam);
  QCoreApplication::sendEvent(target, &ev);
  return ev.result;
}

}  // namespace

LRESULT SendMessage(HWND target, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!IsMessageTarget(target)) return 0;
  if (target->thread() == QThread::currentThread()) return SendOnOwnThread(target, msg, wParam, lParam);
  // Queue the delivery on the target's thread and wait for it with our own
  // primitives, so the hand-over is plain to the thread checkers too.
  auto state = std::make_shared<SendState>();
  if (!QueueDelivery(target, msg, wParam, lParam, state, nullptr)) return 0;
  std::unique_lock lock(state->mutex);
  state->done.wait(lock, [&] { return state->finished; });
  return state->result;
}

bool SendMessageCancellable(HWND target, UINT msg, WPARAM wParam, LPARAM lParam,
                            const std::function<bool()>& cancelled, std::shared_ptr<const void> keepAlive,
                            LRESULT* result) {
  if (!IsMessageTarget(target) || cancelled()) return false;
  if (target->thread() == QThread::currentThread()) {
    const LRESULT r = SendOnOwnThread(target, msg, wParam, lParam);
    if (result) *result = r;
    return true;
  }
  auto state = std::make_shared<SendState>();
  if (!QueueDelivery(target, msg, wParam, lParam, state, std::move(keepAlive))) return false;
  std::unique_lock lock(state->mutex);
  while (!state->finished) {
    if (state->done.wait_for(lock, std::chrono::milliseconds(1), [&] { return state->finished; })) break;
    lock.unlock();
    const bool stop = cancelled();
    lock.lock();
    if (stop && !state->finished) {
      // Not begun: it never will be. Begun: the handler keeps what it needs alive.
      state->abandoned = true;
      return false;
    }
  }
  if (result) *result = state->result;
  return state->begun;
}

namespace {

// The names registered in this process, both ways.
struct MessageNames {
  std::mutex mutex;
  std::map<std::string, UINT> numbers;
  std::map<UINT, std::string> names;
};
MessageNames& RegisteredNames() {
  static MessageNames registry;
  return registry;
}

}  // namespace

LRESULT SendTextMessage(HWND target, UINT msg, WPARAM wParam, const QString& text) {
  return SendMessage(target, msg, wParam, reinterpret_cast<LPARAM>(&text));
}

QString TextFromLParam(LPARAM lParam) {
  const auto* text = reinterpret_cast<const QString*>(lParam);
  return text ? *text : QString();
}

UINT RegisterWindowMessage(const std::string& name) {
  auto& r = RegisteredNames();
  std::lock_guard lock(r.mutex);
  auto it = r.numbers.find(name);
  if (it != r.numbers.end()) return it->second;
  const UINT number = 0xC000u + static_cast<UINT>(r.numbers.size());
  r.numbers.emplace(name, number);
  r.names.emplace(number, name);
  return number;
}

std::string GetRegisteredMessageName(UINT msg) {
  auto& r = RegisteredNames();
  std::lock_guard lock(r.mutex);
  auto it = r.names.find(msg);
  return it != r.names.end() ? it->second : std::string();
}

CMessageTarget::CMessageTarget(QObject* parent) : QObject(parent) { RegisterMessageTarget(this); }

bool CMessageTarget::event(QEvent* e) {
  if (e->type() == CMessageEvent::Type()) {
    auto* m = static_cast<CMessageEvent*>(e);
    m->Receive();
    m->result = OnMessage(m->message, m->wParam, m->lParam);
    return true;
  }
  return QObject::event(e);
}

LRESULT CMessageRecorder::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard lock(mutex_);
    entries_.push_back({msg, wParam, lParam});
  }
  return answer ? answer(msg, wParam, lParam) : 0;
}

std::vector<CMessageRecorder::Entry> CMessageRecorder::Messages() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::size_t CMessageRecorder::Count(UINT msg) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& e : entries_) n += e.message == msg;
  return n;
}

void CMessageRecorder::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

bool CMessageRecorder::WaitFor(UINT msg, std::size_t count, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (Count(msg) < count) {
    if (timer.elapsed() >= timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}
