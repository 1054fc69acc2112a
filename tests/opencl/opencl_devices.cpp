// Lists this machine's OpenCL devices, one line each: kind (GPU, CPU or OTHER), platform,
// device and driver version, separated by tabs. scripts/gpu-check.sh looks for a GPU with it,
// also on a machine that has the built programs but no compiler. Exits 0, with no line when
// there is no platform.
#include <CL/cl.h>

#include <iostream>
#include <string>
#include <vector>

namespace {

template <class Query, class Handle, class Info>
std::string text(Query query, Handle handle, Info info) {
  char value[1024] = "";
  query(handle, info, sizeof value - 1, value, nullptr);
  return value;
}

}  // namespace

int main() {
  cl_uint platformCount = 0;
  if (clGetPlatformIDs(0, nullptr, &platformCount) != CL_SUCCESS || platformCount == 0) return 0;
  std::vector<cl_platform_id> platforms(platformCount);
  clGetPlatformIDs(platformCount, platforms.data(), nullptr);
  for (cl_platform_id platform : platforms) {
    cl_uint deviceCount = 0;
    if (clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, 0, nullptr, &deviceCount) != CL_SUCCESS) {
      continue;
    }
    std::vector<cl_device_id> devices(deviceCount);
    clGetDeviceIDs(platform, CL_DEVICE_TYPE_ALL, deviceCount, devices.data(), nullptr);
    for (cl_device_id device : devices) {
      cl_device_type type = 0;
      clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
      const char* kind = (type & CL_DEVICE_TYPE_GPU)   ? "GPU"
                         : (type & CL_DEVICE_TYPE_CPU) ? "CPU"
                                                       : "OTHER";
      std::cout << kind << '\t' << text(clGetPlatformInfo, platform, CL_PLATFORM_NAME) << '\t'
                << text(clGetDeviceInfo, device, CL_DEVICE_NAME) << '\t'
                << text(clGetDeviceInfo, device, CL_DRIVER_VERSION) << '\n';
    }
  }
  return 0;
}
