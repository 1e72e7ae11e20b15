#include "media/framequeue.h"

#include <cstdlib>
#include <cstring>

#include "contracts/fundara/memory.h"

namespace {

unsigned char* CopyOf(const unsigned char* data, std::uint32_t length) {
  unsigned char* copy = NewMem(length);
  if (copy) std::memcpy(copy, data, length);
  return copy;
}

}  // namespace

CFrameQueue::~CFrameQueue() { Release(); }

void CFrameQueue::FreeFrame(_FRAMEDATA* frame) {
  if (!frame) return;
  DelMem(frame->data);
  DelMem(frame);
}

int CFrameQueue::AddFrame(std::uint32_t time, const unsigned char* data, std::uint32_t length, int key) {
  auto* rec = reinterpret_cast<_FRAMEDATA*>(NewMem(sizeof(_FRAMEDATA)));
  if (!rec) return -1;
  *rec = _FRAMEDATA{time, nullptr, 0, key, time};
  if (length > 0 && data) {
    rec->data = CopyOf(data, length);
    if (!rec->data) {
      DelMem(rec);
      return -1;
    }
    rec->length = length;
  }
  std::lock_guard lock(m_lock);
  try {
    m_list.push_back(rec);
  } catch (...) {
    FreeFrame(rec);
    return -1;
  }
  return ++m_count;
}

void CFrameQueue::UpdateFrame(const unsigned char* data, std::uint32_t length, int key, std::uint32_t pts) {
  if (!data || length == 0) return;
  // Copy outside the lock; the queue only swaps the pointer in.
  unsigned char* copy = CopyOf(data, length);
  if (!copy) return;
  {
    std::lock_guard lock(m_lock);
    for (_FRAMEDATA* rec : m_list) {
      if (!rec->data) {
        rec->data = copy;
        rec->length = length;
        rec->key = key;
        rec->pts = pts;
        return;
      }
    }
  }
  DelMem(copy);
}

void CFrameQueue::UpdateFrame(const unsigned char* data, std::uint32_t length, int key) {
  std::uint32_t time = 0;
  {
    std::lock_guard lock(m_lock);
    for (_FRAMEDATA* rec : m_list) {
      if (!rec->data) {
        time = rec->time;
        break;
      }
    }
  }
  UpdateFrame(data, length, key, time);
}

int CFrameQueue::GetFirstFrame(std::uint32_t* time, unsigned char** data, std::uint32_t* length, int* key,
                               std::uint32_t* pts) {
  if (!data) return -1;
  std::lock_guard lock(m_lock);
  if (m_list.empty()) return -1;
  DelMem(*data);
  *data = nullptr;
  _FRAMEDATA* head = m_list.front();
  if (time) *time = head->time;
  if (length) *length = head->length;
  if (key) *key = head->key;
  if (pts) *pts = head->pts;
  if (!head->data) return 0;
  // The record's own buffer moves to the caller: no second copy is needed.
  *data = head->data;
  head->data = nullptr;
  DelMem(head);
  m_list.pop_front();
  --m_count;
  return 0;
}

_FRAMEDATA* CFrameQueue::GetFirstFrame() {
  std::lock_guard lock(m_lock);
  if (m_list.empty()) return nullptr;
  _FRAMEDATA* head = m_list.front();
  m_list.pop_front();
  --m_count;
  return head;
}

std::uint32_t CFrameQueue::GetFirstTimeMs() {
  std::lock_guard lock(m_lock);
  return m_list.empty() ? 0xFFFFFFFFu : m_list.front()->time;
}

int CFrameQueue::DelFirstFrame() {
  _FRAMEDATA* head = GetFirstFrame();
  if (!head) return -1;
  FreeFrame(head);
  return 0;
}

int CFrameQueue::GetListCount() {
  std::lock_guard lock(m_lock);
  return m_count;
}

void CFrameQueue::Release() {
  std::list<_FRAMEDATA*> old;
  {
    std::lock_guard lock(m_lock);
    old.swap(m_list);
    m_count = 0;
  }
  for (_FRAMEDATA* rec : old) FreeFrame(rec);
}
