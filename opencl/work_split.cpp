#include "opencl/work_split.h"

#include <algorithm>

#include "common/ombra_status.h"
#include "opencl/cl_check.h"

namespace {

// Set only by tests; the programs always build the device's own split.
std::optional<WorkSplit>& forcedSplit() {
  static std::optional<WorkSplit> split;
  return split;
}

const char* const kGroupSizeQuery = "Error finding work-group size";
constexpr int kGroupSizeQueryStatus = ombra_status::kWorkGroupQuery;

}  // namespace

WorkSplit workSplitFor(cl_device_id device) {
  if (forcedSplit()) return *forcedSplit();
  cl_device_type type = 0;
  // A failed query leaves type 0: the CPU split, which runs correctly on any device.
  clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
  return (type & CL_DEVICE_TYPE_GPU) ? WorkSplit::Gpu : WorkSplit::Cpu;
}

void forceWorkSplit(std::optional<WorkSplit> split) { forcedSplit() = split; }

std::string buildOptions(WorkSplit split, bool correctlyRoundedDivide) {
  std::string options = split == WorkSplit::Gpu ? "-DWORK_SPLIT_GPU" : "";
  if (correctlyRoundedDivide) {
    if (!options.empty()) options += ' ';
    options += "-cl-fp32-correctly-rounded-divide-sqrt";
  }
  return options;
}

std::string buildOptionsFor(cl_device_id device) {
  cl_device_fp_config single = 0;
  // A failed query leaves 0: the option is then not asked for, which every device accepts.
  clGetDeviceInfo(device, CL_DEVICE_SINGLE_FP_CONFIG, sizeof single, &single, nullptr);
  return buildOptions(workSplitFor(device), (single & CL_FP_CORRECTLY_ROUNDED_DIVIDE_SQRT) != 0);
}

size_t roundDownToMultiple(size_t limit, size_t multiple) {
  if (multiple == 0 || limit < multiple) return limit;
  return limit / multiple * multiple;
}

size_t preferredGroupSizeMultiple(cl_kernel kernel, cl_device_id device) {
  size_t multiple = 0;
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_PREFERRED_WORK_GROUP_SIZE_MULTIPLE,
                                   sizeof multiple, &multiple, nullptr),
          kGroupSizeQuery, kGroupSizeQueryStatus);
  return multiple;
}

size_t gpuGroupSize(cl_kernel kernel, cl_device_id device, size_t limit) {
  size_t kernelLimit = 0;
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_WORK_GROUP_SIZE, sizeof kernelLimit,
                                   &kernelLimit, nullptr),
          kGroupSizeQuery, kGroupSizeQueryStatus);
  const size_t most = std::max<size_t>(1, std::min(limit, kernelLimit));
  return roundDownToMultiple(most, preferredGroupSizeMultiple(kernel, device));
}
