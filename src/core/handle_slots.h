#pragma once

#include <memory>
#include <mutex>

#include "platform/files.h"
#include "platform/serial_port.h"

// A long-lived handle of the application state (the port, the open file) that several threads
// reach: one thread may close it while another takes its own reference to work with. Closing
// closes the object for every holder, so work through an old reference fails instead of reaching
// whatever is opened next.
template <typename Handle>
class HandleSlot {
 public:
  void Set(std::shared_ptr<Handle> handle) {
    std::lock_guard<std::mutex> hold(lock_);
    handle_ = std::move(handle);
  }
  std::shared_ptr<Handle> Get() {
    std::lock_guard<std::mutex> hold(lock_);
    return handle_;
  }
  bool IsOpen() {
    std::lock_guard<std::mutex> hold(lock_);
    return handle_ != nullptr;
  }
  // Closes the handle if one is held and marks the slot closed. Returns true when it closed one.
  bool Close() {
    std::shared_ptr<Handle> handle;
    {
      std::lock_guard<std::mutex> hold(lock_);
      handle.swap(handle_);
    }
    if (!handle) return false;
    handle->Close();
    return true;
  }

 private:
  std::mutex lock_;
  std::shared_ptr<Handle> handle_;
};

using FileSlot = HandleSlot<platform::File>;
using PortSlot = HandleSlot<platform::SerialPort>;
