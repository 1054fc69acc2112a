#include "opencl/kernel_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

const char kKernelFile[] = "NN_kernels.cl";

// A kernel file is read whole: a folder, a FIFO or a device of that name is no kernel file.
bool isRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

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
  if (isRegularFile(kKernelFile)) return kKernelFile;
  const std::string installed = installedKernelSourceFile();
  if (!installed.empty() && isRegularFile(installed)) return installed;
  return kKernelFile;
}
