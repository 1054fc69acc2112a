#pragma once

#include <CL/cl.h>

#include <cstddef>
#include <optional>
#include <string>

// NN_kernels.cl holds two ways of sharing a kernel's work among work-items, chosen when the
// program is built (the table at the top of the file says which kernel does what):
//   Cpu  work-item 0 of a group does the group's work in vector lanes; right for CPU devices,
//        where a group's work-items are iterations of one loop. Built with no options.
//   Gpu  data-parallel: one work-item per neuron, per (particle, sample) or per sample of a
//        group; right for GPU devices. Built with -DWORK_SPLIT_GPU.
// Both keep the kernels' names, arguments, buffer layouts, launch shapes and results.
enum class WorkSplit { Cpu, Gpu };

// The split that programs built for device get: Gpu for a GPU device, Cpu for any other,
// unless one is forced.
WorkSplit workSplitFor(cl_device_id device);

// Forces the split of every later build in this process, whatever the device; std::nullopt
// returns to the device's own. The tests build the GPU split for the CPU device this way.
void forceWorkSplit(std::optional<WorkSplit> split);

// The build options of a split: "-DWORK_SPLIT_GPU" for Gpu, none for Cpu; and, for a device
// that can divide exactly, "-cl-fp32-correctly-rounded-divide-sqrt": without it OpenCL lets
// `/` be 2.5 ulp off (GPU compilers then multiply by a reciprocal), and the sigmoid, the target
// scaling and the error division would leave the host's results by more than exp's ulps.
std::string buildOptions(WorkSplit split, bool correctlyRoundedDivide);

// The options programs for device are built with: its split (workSplitFor) and whether its
// CL_DEVICE_SINGLE_FP_CONFIG reports CL_FP_CORRECTLY_ROUNDED_DIVIDE_SQRT.
std::string buildOptionsFor(cl_device_id device);

// The largest multiple of `multiple` that is at most limit; limit itself when no multiple
// fits (a group smaller than the device's preferred multiple still runs) or multiple is 0.
size_t roundDownToMultiple(size_t limit, size_t multiple);

// Work-items per group of a GPU-split kernel: at most limit (at least 1), within the kernel's
// maximum on device, and a multiple of its preferred work-group size multiple where one fits.
// A failed query ends the process with "Error finding work-group size" (status 845).
size_t gpuGroupSize(cl_kernel kernel, cl_device_id device, size_t limit);

// CL_KERNEL_PREFERRED_WORK_GROUP_SIZE_MULTIPLE of kernel on device; fatal as gpuGroupSize.
size_t preferredGroupSizeMultiple(cl_kernel kernel, cl_device_id device);
