#pragma once
// The V4L2 backend. Every system call goes through IV4L2Io so that tests can
// replay recorded device descriptions instead of real hardware.

#include "contracts/camera/camera_device.h"

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

class IV4L2Io {
 public:
  virtual ~IV4L2Io() = default;
  // Device nodes that may be video capture devices (/dev/videoN).
  virtual std::vector<std::string> VideoNodes() = 0;
  // A name for the node that survives reboots and re-plugging (its
  // /dev/v4l/by-id or by-path link name), or "" when there is none.
  virtual std::string PersistentName(const std::string& node) = 0;
  // A file descriptor (opened non-blocking), or -errno.
  virtual int Open(const std::string& node) = 0;
  virtual void Close(int fd) = 0;
  // 0 or -errno.
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual void* Map(int fd, std::size_t length, off_t offset) = 0;  // nullptr on failure
  virtual void Unmap(void* address, std::size_t length) = 0;
  // >0 a frame is ready, 0 timeout, -ENODEV when the device is gone, other -errno.
  virtual int Poll(int fd, int timeoutMs) = 0;
};

// The real system calls.
std::shared_ptr<IV4L2Io> SystemV4L2Io();

// The resolution list for a device that offers a range of sizes: the common
// picture sizes inside the range that fit its steps, plus the largest.
std::vector<CFrameSize> SizesInRange(int minW, int minH, int maxW, int maxH, int stepW, int stepH);

class CV4L2Provider : public ICameraProvider {
 public:
  explicit CV4L2Provider(std::shared_ptr<IV4L2Io> io) : io_(std::move(io)) {}
  std::vector<CCameraDescription> Enumerate() override;
  std::unique_ptr<ICameraDevice> Open(const std::string& id, int& error) override;
  // Reads what an open node offers; false when it is not a capture device.
  static bool Describe(IV4L2Io& io, int fd, const std::string& node, CCameraDescription& out);

 private:
  std::shared_ptr<IV4L2Io> io_;
};
