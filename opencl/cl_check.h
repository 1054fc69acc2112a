#pragma once

#include <CL/cl.h>

#include <cstddef>
#include <type_traits>

#include "common/fatal.h"

// Ends ombra with message and the status it failed with: "Error running mse kernel
// (CL_OUT_OF_RESOURCES)", or "(OpenCL status -1001)" for a status without a name.
[[noreturn]] void failCl(cl_int status, const char* message, int exitStatus);

// Every OpenCL call of ombra is one line: the call's status, what failed, the exit status.
// The message is a plain C string so that the hot paths build no std::string on success.
inline void checkCl(cl_int status, const char* message, int exitStatus) {
  if (status != CL_SUCCESS) failCl(status, message, exitStatus);
}

// The same for the messages of the OpenCL environment (platforms, context, queue, the
// network's buffers, the program): each is a fixed whole line, and stays one.
inline void checkClWithoutStatus(cl_int status, const char* message, int exitStatus) {
  if (status != CL_SUCCESS) fatal(message, exitStatus);
}

// Binds one scalar kernel argument by value (OpenCL copies it at once).
template <class T>
cl_int setKernelArg(cl_kernel kernel, cl_uint index, const T& value) {
  static_assert(std::is_arithmetic<T>::value, "buffers go through setKernelBuffer");
  return clSetKernelArg(kernel, index, sizeof(T), &value);
}

// Binds a buffer argument; owners convert to cl_mem first so sizeof is that of the handle.
inline cl_int setKernelBuffer(cl_kernel kernel, cl_uint index, cl_mem buffer) {
  return clSetKernelArg(kernel, index, sizeof(cl_mem), &buffer);
}

// Binds local memory of the given number of bytes.
inline cl_int setKernelLocal(cl_kernel kernel, cl_uint index, size_t bytes) {
  return clSetKernelArg(kernel, index, bytes, nullptr);
}

// Binds arguments of one kernel; any failure ends the program with the one message and status.
class KernelBinder {
 public:
  KernelBinder(cl_kernel kernel, const char* message, int exitStatus)
      : kernel_(kernel), message_(message), exitStatus_(exitStatus) {}
  template <class T>
  void value(cl_uint index, const T& argument) const {
    checkCl(setKernelArg(kernel_, index, argument), message_, exitStatus_);
  }
  void buffer(cl_uint index, cl_mem buffer) const {
    checkCl(setKernelBuffer(kernel_, index, buffer), message_, exitStatus_);
  }
  void local(cl_uint index, size_t bytes) const {
    checkCl(setKernelLocal(kernel_, index, bytes), message_, exitStatus_);
  }

 private:
  cl_kernel kernel_;
  const char* message_;
  int exitStatus_;
};

// The smallest multiple of group that holds count work-items.
inline size_t roundUp(size_t count, size_t group) { return (count + group - 1) / group * group; }
