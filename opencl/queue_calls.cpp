#include "opencl/queue_calls.h"

namespace {

struct InjectedFailure {
  bool armed = false;
  std::uint64_t atWait = 0;  // the value of queueCounts().waits that fails
  cl_int status = CL_SUCCESS;
};

InjectedFailure& injected() {
  static InjectedFailure failure;
  return failure;
}

// Counts one wait; the injected status when this is the wait a test chose, else CL_SUCCESS.
cl_int countWait() {
  InjectedFailure& failure = injected();
  const std::uint64_t wait = queueCounts().waits++;
  if (!failure.armed || wait != failure.atWait) return CL_SUCCESS;
  failure.armed = false;
  return failure.status;
}

}  // namespace

QueueCounts& queueCounts() {
  static QueueCounts counts;
  return counts;
}

cl_int enqueueKernel(cl_command_queue queue, cl_kernel kernel, cl_uint dimensions,
                     const size_t* global, const size_t* local) {
  ++queueCounts().commands;
  ++queueCounts().launches;
  return clEnqueueNDRangeKernel(queue, kernel, dimensions, nullptr, global, local, 0, nullptr,
                                nullptr);
}

cl_int enqueueCopy(cl_command_queue queue, cl_mem from, cl_mem to, size_t fromOffset,
                   size_t toOffset, size_t bytes) {
  ++queueCounts().commands;
  return clEnqueueCopyBuffer(queue, from, to, fromOffset, toOffset, bytes, 0, nullptr, nullptr);
}

cl_int enqueueRead(cl_command_queue queue, cl_mem buffer, bool blocking, size_t offset,
                   size_t bytes, void* host) {
  ++queueCounts().commands;
  if (blocking) {
    const cl_int failure = countWait();
    if (failure != CL_SUCCESS) return failure;
  }
  return clEnqueueReadBuffer(queue, buffer, blocking ? CL_TRUE : CL_FALSE, offset, bytes, host, 0,
                             nullptr, nullptr);
}

cl_int enqueueWrite(cl_command_queue queue, cl_mem buffer, bool blocking, size_t offset,
                    size_t bytes, const void* host) {
  ++queueCounts().commands;
  if (blocking) {
    const cl_int failure = countWait();
    if (failure != CL_SUCCESS) return failure;
  }
  return clEnqueueWriteBuffer(queue, buffer, blocking ? CL_TRUE : CL_FALSE, offset, bytes, host, 0,
                              nullptr, nullptr);
}

cl_int finishQueue(cl_command_queue queue) {
  const cl_int failure = countWait();
  if (failure != CL_SUCCESS) return failure;
  return clFinish(queue);
}

cl_int flushQueue(cl_command_queue queue) { return clFlush(queue); }

void failWaitAfter(std::uint64_t later, cl_int status) {
  injected() = {true, queueCounts().waits + later, status};
}
