// Program text and build: reading NN_kernels.cl, rewriting tokens in it, building it.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "nn/fatal.h"
#include "opencl/cl_check.h"
#include "opencl/environment.h"
#include "opencl/work_split.h"

std::string readProgramSource(const std::string& fileName) {
  std::ifstream file(fileName, std::ios::in | std::ios::binary);
  if (!file.is_open()) fatal("Error opening program file.", 356);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

cl_program createProgramFromSource(cl_context context, const std::string& source) {
  const char* text = source.c_str();
  const size_t length = source.size();
  cl_int status = CL_SUCCESS;
  cl_program program = clCreateProgramWithSource(context, 1, &text, &length, &status);
  checkCl(status, "Error creating cl_program.", 721);
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
  fatal("Build error", 527);
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
