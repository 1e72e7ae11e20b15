#pragma once
// The recorders' time-ordered queue of encoded units. Pictures enter as
// placeholders (time only) when they are taken and are filled in order as
// the encoder hands out its units; sound enters complete.

#include <cstdint>
#include <list>
#include <mutex>

struct _FRAMEDATA {
  std::uint32_t time;    // ms since the recording start (decoding time for pictures)
  unsigned char* data;   // owned copy of the unit; null while a placeholder
  std::uint32_t length;  // bytes in data
  int key;               // 1 for a picture that holds an IDR slice
  std::uint32_t pts;     // presentation time in ms (equals time for sound)
};

class CFrameQueue {
 public:
  CFrameQueue() = default;
  CFrameQueue(const CFrameQueue&) = delete;
  CFrameQueue& operator=(const CFrameQueue&) = delete;
  ~CFrameQueue();

  // Appends a unit (a copy of data) or, with length 0, a placeholder.
  // Returns the new element count, or -1 when memory runs out.
  int AddFrame(std::uint32_t time, const unsigned char* data, std::uint32_t length, int key);
  // Fills the oldest placeholder; pts is the unit's presentation time.
  void UpdateFrame(const unsigned char* data, std::uint32_t length, int key, std::uint32_t pts);
  void UpdateFrame(const unsigned char* data, std::uint32_t length, int key);
  // Takes the head: -1 when empty; with data, moves a copy into *data
  // (freeing what *data held before) and removes the head; with a placeholder
  // at the head, leaves it and returns 0 with *data null.
  int GetFirstFrame(std::uint32_t* time, unsigned char** data, std::uint32_t* length, int* key,
                    std::uint32_t* pts = nullptr);
  // Removes the head record and hands it to the caller (free its data and
  // the record with FreeFrame), or null when empty.
  _FRAMEDATA* GetFirstFrame();
  static void FreeFrame(_FRAMEDATA* frame);
  std::uint32_t GetFirstTimeMs();
  int DelFirstFrame();
  int GetListCount();
  void Release();

 private:
  std::mutex m_lock;
  std::list<_FRAMEDATA*> m_list;
  int m_count = 0;
};
