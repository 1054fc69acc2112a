#pragma once

#include <CL/cl.h>

#include <utility>

// One owner per OpenCL handle: a move-only wrapper that releases its handle exactly once,
// in its destructor or in reset(). The release result is ignored, so destruction never
// fails or throws. Platform and device ids are not reference counted and are not owned.
template <class Handle, cl_int(CL_API_CALL* Release)(Handle)>
class ClOwner {
 public:
  ClOwner() = default;
  explicit ClOwner(Handle handle) : handle_(handle) {}
  ~ClOwner() { reset(); }

  ClOwner(const ClOwner&) = delete;
  ClOwner& operator=(const ClOwner&) = delete;
  ClOwner(ClOwner&& other) noexcept : handle_(other.release()) {}
  ClOwner& operator=(ClOwner&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  operator Handle() const { return handle_; }  // pass straight to clXxx calls
  explicit operator bool() const { return handle_ != nullptr; }

  // Releases the current handle (if any) and takes ownership of handle.
  void reset(Handle handle = nullptr) {
    if (handle_ != nullptr) Release(handle_);
    handle_ = handle;
  }
  // Gives up ownership without releasing.
  Handle release() { return std::exchange(handle_, nullptr); }

 private:
  Handle handle_ = nullptr;
};

using ClContext = ClOwner<cl_context, clReleaseContext>;
using ClQueue = ClOwner<cl_command_queue, clReleaseCommandQueue>;
using ClProgram = ClOwner<cl_program, clReleaseProgram>;
using ClKernel = ClOwner<cl_kernel, clReleaseKernel>;
using ClMem = ClOwner<cl_mem, clReleaseMemObject>;
