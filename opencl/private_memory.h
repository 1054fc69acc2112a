#pragma once

#include <CL/cl.h>

#include <cstddef>
#include <string>

// How many work-items of the private-memory simulation kernel a work-group may hold before
// their private arrays exceed what the device can give them.
//
// The need of one work-item: its arrays of [PRIVATE_MEM_SIZE] elements, which the host sizes
// to the largest layer, or what the device reports (CL_KERNEL_PRIVATE_MEM_SIZE) when that is
// more. PoCL 3 reports a fixed 1024 bytes whatever the kernel declares, so the declarations
// are the measure there.
//
// What the device can give: a CPU device runs each work-group on one of its worker threads,
// with the private arrays of every work-item of the group on that thread's stack (PoCL keeps
// one copy per work-item). PoCL creates its workers with the process's default thread stack
// (the stack limit, ulimit -s, at start-up; 2 MiB when unlimited), and a kernel that outgrows
// it writes past the stack's end: a crash, or worse, another thread's stack silently
// overwritten. A GPU driver keeps private memory in device memory, reports what a kernel
// needs, and refuses a kernel it cannot run with a build or launch error: no limit is
// imposed there.

// Bytes of private memory per unit of [PRIVATE_MEM_SIZE] that source declares: for every
// occurrence of the token outside comments, the size of its declaration's element type
// (float8: 32 bytes; an unknown type counts as 128, the largest built-in vector).
size_t privateBytesPerLayerValue(const std::string& source);

// The bytes one work-group's private memory may take on a device of the type: the default
// thread stack less a reserve for the runtime's own frames on a CPU device, unlimited
// (SIZE_MAX) elsewhere.
size_t privateBytesPerWorkGroup(cl_device_type deviceType);

// Work-items whose private memory of bytesPerWorkItem each fits into bytesPerGroup, at most
// 2^30; 0 when not even one fits.
int privateMemoryFit(size_t bytesPerGroup, size_t bytesPerWorkItem);
