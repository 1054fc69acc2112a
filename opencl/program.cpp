// Program text and build: reading NN_kernels.cl, rewriting tokens in it, building it.
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/ombra_status.h"
#include "opencl/cl_check.h"
#include "opencl/environment.h"
#include "opencl/work_split.h"

namespace {

// Far more than any kernel source: a file beyond it is something else.
const long long kMaxProgramBytes = 16ll << 20;

}  // namespace

// Only a regular file of a sane size is read: a folder, a FIFO (which would wait for a writer)
// or a device such as /dev/zero (which never ends) is refused before anything is read.
std::string readProgramSource(const std::string& fileName) {
  struct stat info;
  const auto refuse = [&fileName](const std::string& reason) {
    fatal("Error opening program file. " + fileName + ": " + reason, ombra_status::kProgramFile);
  };
  if (stat(fileName.c_str(), &info) != 0) {
    refuse(systemReason(errno) +
           " (the OpenCL types read it from the working directory, or from "
           "PREFIX/share/ombra/ beside an installed PREFIX/bin/ombra)");
  }
  if (S_ISDIR(info.st_mode)) refuse("a directory, not a kernel source file");
  if (!S_ISREG(info.st_mode)) refuse("not a regular file");
  if (info.st_size > kMaxProgramBytes) refuse("larger than 16 MiB, not a kernel source file");
  std::ifstream file(fileName, std::ios::in | std::ios::binary);
  if (!file.is_open()) refuse(systemReason(errno));
  std::string text(static_cast<size_t>(info.st_size), '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  if (static_cast<size_t>(file.gcount()) != text.size()) refuse("cannot be read whole");
  return text;
}

cl_program createProgramFromSource(cl_context context, const std::string& source) {
  const char* text = source.c_str();
  const size_t length = source.size();
  cl_int status = CL_SUCCESS;
  cl_program program = clCreateProgramWithSource(context, 1, &text, &length, &status);
  checkClWithoutStatus(status, "Error creating cl_program.", ombra_status::kCreateProgram);
  return program;
}

cl_program createProgram(cl_context context, const std::string& fileName) {
  return createProgramFromSource(context, readProgramSource(fileName));
}

void buildProgram(cl_program program, cl_device_id device) {
  // For the one device only: the context holds no other, and a build for every device of a
  // platform would cost one compilation each.
  const std::string options = buildOptionsFor(device);
  if (clBuildProgram(program, 1, &device, options.c_str(), nullptr, nullptr) == CL_SUCCESS) return;
  size_t logSize = 0;
  clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, 0, nullptr, &logSize);
  std::vector<char> log(logSize + 1, '\0');
  clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_LOG, logSize, log.data(), nullptr);
  log[logSize] = '\0';
  std::cout << log.data() << std::endl;
  fatal("Build error: the compiler's log is above, on standard output", ombra_status::kBuild);
}

std::string replaceAll(const std::string& text, const std::string& token,
                       const std::string& replacement) {
  if (token.empty()) return text;  // an empty token occurs nowhere worth replacing
  std::string result;
  std::string::size_type start = 0;
  for (auto found = text.find(token); found != std::string::npos; found = text.find(token, start)) {
    result.append(text, start, found - start);
    result += replacement;
    start = found + token.size();
  }
  result.append(text, start, std::string::npos);
  return result;
}
