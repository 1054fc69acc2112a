#pragma once

#include <CL/cl.h>

#include <cstddef>
#include <cstdint>

// Every command the trainers put on their queues, and every wait for one, goes through these
// few calls: one place that counts them (bench/opencl/launch_count_bench.cpp prints commands
// and waits per sample and per iteration, a figure that needs no GPU to measure) and one place
// where a test can make a wait fail the way a device fault surfaces on a real GPU.
struct QueueCounts {
  std::uint64_t commands = 0;  // launches, copies, reads and writes
  std::uint64_t launches = 0;  // kernel launches alone
  std::uint64_t waits = 0;     // clFinish, blocking reads and blocking writes
};

// Since the process started, over every queue (ombra is single-threaded).
QueueCounts& queueCounts();

cl_int enqueueKernel(cl_command_queue queue, cl_kernel kernel, cl_uint dimensions,
                     const size_t* global, const size_t* local);
cl_int enqueueCopy(cl_command_queue queue, cl_mem from, cl_mem to, size_t fromOffset,
                   size_t toOffset, size_t bytes);
// A blocking read or write is a wait as well as a command.
cl_int enqueueRead(cl_command_queue queue, cl_mem buffer, bool blocking, size_t offset,
                   size_t bytes, void* host);
cl_int enqueueWrite(cl_command_queue queue, cl_mem buffer, bool blocking, size_t offset,
                    size_t bytes, const void* host);
cl_int finishQueue(cl_command_queue queue);
// Submits what is queued without waiting (neither a command nor a wait).
cl_int flushQueue(cl_command_queue queue);

// Tests only: the wait `later` waits from now (0: the next one) returns status at once, as a
// kernel fault or CL_OUT_OF_RESOURCES does at the first wait after it.
void failWaitAfter(std::uint64_t later, cl_int status);
