#include "common/memory_limit.h"

#include <unistd.h>

#include <cmath>

#include "common/fatal.h"
#include "common/ombra_status.h"

double physicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  // Unknown: assume a small machine rather than none at all.
  if (pages <= 0 || pageSize <= 0) return 1024.0 * 1024.0 * 1024.0;
  return static_cast<double>(pages) * static_cast<double>(pageSize);
}

bool fitsInMemory(double bytes) { return bytes <= physicalMemoryBytes(); }

std::string mebibytes(double bytes) {
  return std::to_string(static_cast<long long>(std::ceil(bytes / (1024.0 * 1024.0)))) + " MiB";
}

void outOfMemory() { fatal("Out of memory", ombra_status::kFailure); }
