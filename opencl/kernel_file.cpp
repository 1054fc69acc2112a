#include "opencl/kernel_file.h"

#include <unistd.h>

#include <filesystem>

namespace {

const char kKernelFile[] = "NN_kernels.cl";

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// ../share/ombra/NN_kernels.cl from the folder of the running program; empty when the
// program's path is unknown.
std::string installedKernelSourceFile() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || program.empty()) return "";
  return (program.parent_path().parent_path() / "share" / "ombra" / kKernelFile).string();
}

}  // namespace

std::string kernelSourceFile() {
  if (exists(kKernelFile)) return kKernelFile;
  const std::string installed = installedKernelSourceFile();
  if (!installed.empty() && exists(installed)) return installed;
  return kKernelFile;
}
