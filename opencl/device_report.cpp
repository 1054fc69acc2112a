// The device and platform reports. Query results are ignored, as in any report: a value
// that cannot be read prints as empty text or 0. Text values are fetched at their full
// length, and every work-item dimension the device reports is printed.
#include <iostream>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "opencl/cl_check.h"
#include "opencl/environment.h"

namespace {

// A text value at its full length: its size first, then the text. The device and platform
// queries take the same arguments after the object and the item asked for.
template <class Object, class Info>
std::string queriedText(cl_int(CL_API_CALL* query)(Object, Info, size_t, void*, size_t*),
                        Object object, Info what) {
  size_t size = 0;
  query(object, what, 0, nullptr, &size);
  std::vector<char> text(size + 1, '\0');
  query(object, what, size, text.data(), nullptr);
  return text.data();
}

std::string deviceText(cl_device_id device, cl_device_info what) {
  return queriedText(clGetDeviceInfo, device, what);
}

template <class T>
T deviceValue(cl_device_id device, cl_device_info what) {
  T value{};
  clGetDeviceInfo(device, what, sizeof value, &value, nullptr);
  return value;
}

std::string platformText(cl_platform_id platform, cl_platform_info what) {
  return queriedText(clGetPlatformInfo, platform, what);
}

}  // namespace

void printDeviceInfo(cl_device_id device) {
  std::cout << "Device name: " << deviceText(device, CL_DEVICE_NAME) << std::endl;
  std::cout << "Vendor name: " << deviceText(device, CL_DEVICE_VENDOR)
            << " (Vendor ID: " << deviceValue<cl_uint>(device, CL_DEVICE_VENDOR_ID) << " )"
            << std::endl;

  const auto type = deviceValue<cl_device_type>(device, CL_DEVICE_TYPE);
  std::cout << "Device type: ";
  if (type & CL_DEVICE_TYPE_CPU) std::cout << "CL_DEVICE_TYPE_CPU ";
  if (type & CL_DEVICE_TYPE_GPU) std::cout << "CL_DEVICE_TYPE_GPU ";
  if (type & CL_DEVICE_TYPE_ACCELERATOR) std::cout << "CL_DEVICE_TYPE_ACCELERATOR ";
  if (type & CL_DEVICE_TYPE_DEFAULT) std::cout << "CL_DEVICE_TYPE_DEFAULT ";
  std::cout << std::endl;

  std::cout << "Device version: " << deviceText(device, CL_DEVICE_VERSION) << std::endl;
  std::cout << "Driver version: " << deviceText(device, CL_DRIVER_VERSION) << std::endl;

  std::string extensions = deviceText(device, CL_DEVICE_EXTENSIONS);
  for (char& c : extensions) {
    if (c == ' ') c = '\n';
  }
  std::cout << "Device extensions:\n" << extensions << std::endl;

  std::cout << "Max clock frequency: "
            << deviceValue<cl_uint>(device, CL_DEVICE_MAX_CLOCK_FREQUENCY) << " MHz" << std::endl;
  std::cout << "Global mem size: "
            << (deviceValue<cl_ulong>(device, CL_DEVICE_GLOBAL_MEM_SIZE) >> 20) << "MB"
            << std::endl;
  std::cout << "Global mem cache size: "
            << (deviceValue<cl_ulong>(device, CL_DEVICE_GLOBAL_MEM_CACHE_SIZE) >> 10) << "kB"
            << std::endl;
  std::cout << "Local mem size: " << (deviceValue<cl_ulong>(device, CL_DEVICE_LOCAL_MEM_SIZE) >> 10)
            << "kB" << std::endl;

  // Any other local memory type prints nothing, so the next item follows on the same line.
  std::cout << "Local mem type: ";
  switch (deviceValue<cl_device_local_mem_type>(device, CL_DEVICE_LOCAL_MEM_TYPE)) {
    case CL_LOCAL:
      std::cout << "local" << std::endl;
      break;
    case CL_GLOBAL:
      std::cout << "global" << std::endl;
      break;
    default:
      break;
  }

  std::cout << "Constant buffer size: "
            << (deviceValue<cl_ulong>(device, CL_DEVICE_MAX_CONSTANT_BUFFER_SIZE) >> 10) << "kB"
            << std::endl;
  std::cout << "Max compute units: " << deviceValue<cl_uint>(device, CL_DEVICE_MAX_COMPUTE_UNITS)
            << std::endl;
  std::cout << "Max work-group size: " << deviceValue<size_t>(device, CL_DEVICE_MAX_WORK_GROUP_SIZE)
            << std::endl;

  const auto dimensions = deviceValue<cl_uint>(device, CL_DEVICE_MAX_WORK_ITEM_DIMENSIONS);
  std::vector<size_t> sizes(dimensions, 0);
  clGetDeviceInfo(device, CL_DEVICE_MAX_WORK_ITEM_SIZES, sizeof(size_t) * sizes.size(),
                  sizes.data(), nullptr);
  std::cout << "Max work-item in work-group (for each dim): (";
  for (size_t size : sizes) std::cout << size << ", ";
  std::cout << ")" << std::endl;
}

void printPlatformsInfo() {
  const cl_uint maxPlatforms = 100;
  cl_platform_id platforms[maxPlatforms];
  cl_uint platformCount = 0;
  checkClWithoutStatus(clGetPlatformIDs(maxPlatforms, platforms, &platformCount),
                       "Error getting platform IDs", ombra_status::kPlatformIdsReport);
  std::cout << "Number of platforms: " << platformCount << std::endl;
  if (platformCount > maxPlatforms) platformCount = maxPlatforms;

  for (cl_uint i = 0; i < platformCount; ++i) {
    std::cout << "Platform " << i << std::endl;
    std::cout << "=================" << std::endl;
    std::cout << "Platform name: " << platformText(platforms[i], CL_PLATFORM_NAME) << std::endl;
    std::cout << "Platform vendor: " << platformText(platforms[i], CL_PLATFORM_VENDOR) << std::endl;
    std::cout << "Platform version: " << platformText(platforms[i], CL_PLATFORM_VERSION)
              << std::endl;
    std::cout << "Extensions: " << platformText(platforms[i], CL_PLATFORM_EXTENSIONS) << std::endl;

    cl_uint deviceCount = 0;
    clGetDeviceIDs(platforms[i], CL_DEVICE_TYPE_ALL, 0, nullptr, &deviceCount);
    std::vector<cl_device_id> devices(deviceCount);
    if (deviceCount > 0) {
      clGetDeviceIDs(platforms[i], CL_DEVICE_TYPE_ALL, deviceCount, devices.data(), nullptr);
    }
    std::cout << "\nNumber of devices:" << deviceCount << std::endl;
    for (cl_uint j = 0; j < deviceCount; ++j) {
      std::cout << "Device " << j << std::endl;
      std::cout << "-----------------" << std::endl;
      printDeviceInfo(devices[j]);
    }
  }
}
