// Bounded resources: the memory budget, whole-file reads that stop at their limit, and the
// last resort when an allocation fails anyway.

#include "common/memory_limit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <new>
#include <string>
#include <thread>

#include "common/file_contents.h"
#include "nn/reloaded_network.h"
#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ProgramRun;
using test_support::runProgram;
using test_support::ScratchFolder;

TEST(MemoryLimit, BudgetIsThePhysicalMemory) {
  const double bytes = physicalMemoryBytes();
  EXPECT_GE(bytes, 64.0 * 1024 * 1024);
  EXPECT_EQ(bytes, static_cast<double>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGE_SIZE));
  EXPECT_TRUE(fitsInMemory(bytes));
  EXPECT_FALSE(fitsInMemory(bytes + 1.0));
}

TEST(MemoryLimit, MebibytesRoundUp) {
  EXPECT_EQ(mebibytes(0), "0 MiB");
  EXPECT_EQ(mebibytes(1), "1 MiB");
  EXPECT_EQ(mebibytes(1024.0 * 1024), "1 MiB");
  EXPECT_EQ(mebibytes(1024.0 * 1024 + 1), "2 MiB");
  EXPECT_EQ(mebibytes(3e12), "2861023 MiB");
}

TEST(MemoryLimitDeathTest, AFailedAllocationEndsWithOutOfMemory) {
  EXPECT_EXIT(
      {
        std::set_new_handler(outOfMemory);
        std::get_new_handler()();  // what operator new calls when it finds no memory
      },
      ::testing::ExitedWithCode(255), "^Out of memory\n$");
#ifndef __SANITIZE_ADDRESS__  // AddressSanitizer reports a huge request itself
  EXPECT_EXIT(
      {
        std::set_new_handler(outOfMemory);
        // More than any address space holds: operator new fails at once.
        volatile size_t huge = static_cast<size_t>(1) << 62;
        // A volatile pointer: clang may drop an allocation whose result is never used.
        char* volatile never = new char[huge];
        never[0] = 1;
      },
      ::testing::ExitedWithCode(255), "^Out of memory\n$");
#endif
}

TEST(FileContents, RegularFileAboveTheLimitIsRefusedUnread) {
  ScratchFolder folder;
  const std::string name = folder.write("data.txt", std::string(1000, 'x'));
  EXPECT_EQ(FileContents(name, 1000).status(), FileContents::ok);
  EXPECT_EQ(FileContents(name, 1000).size(), 1000u);
  EXPECT_EQ(FileContents(name, 999).status(), FileContents::tooLarge);
}

// A pipe delivers its bytes from a writer thread; the reader may stop early.
FileContents::Status pipeStatus(size_t bytes, size_t maxBytes) {
  ScratchFolder folder;
  const std::string fifo = folder.file("data.pipe");
  if (mkfifo(fifo.c_str(), 0600) != 0) return FileContents::cannotOpen;
  std::thread writer([&] {
    signal(SIGPIPE, SIG_IGN);  // the reader may close before everything is written
    const int descriptor = open(fifo.c_str(), O_WRONLY);
    const std::string chunk(4096, 'x');
    for (size_t sent = 0; sent < bytes;) {
      const ssize_t n = write(descriptor, chunk.data(), std::min(chunk.size(), bytes - sent));
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    close(descriptor);
  });
  const FileContents::Status status = FileContents(fifo, maxBytes).status();
  writer.join();
  return status;
}

TEST(FileContents, PipeMayDeliverAQuarterOfTheLimit) {
  EXPECT_EQ(pipeStatus(250000, 1000000), FileContents::ok);
  EXPECT_EQ(pipeStatus(250001, 1000000), FileContents::tooLarge);
  // An endless stream stops at the limit instead of taking all memory.
  EXPECT_EQ(FileContents("/dev/zero", 1 << 20).status(), FileContents::tooLarge);
}

// A sparse file larger than the machine's memory, taking no disk space; empty when the file
// system cannot make one.
std::string sparseFileLargerThanMemory(const ScratchFolder& folder) {
  const std::string name = folder.file("huge");
  const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT, 0600);
  if (descriptor < 0) return "";
  const bool made = ftruncate(descriptor, static_cast<off_t>(physicalMemoryBytes() * 2)) == 0;
  close(descriptor);
  return made ? name : "";
}

TEST(FileContentsDeathTest, FilesLargerThanMemoryAreRefusedByTheReaders) {
  ScratchFolder folder;
  const std::string huge = sparseFileLargerThanMemory(folder);
  if (huge.empty()) GTEST_SKIP() << "no sparse files in " << folder.path();
  const std::string limit = mebibytes(physicalMemoryBytes());
  EXPECT_EXIT(TestNetwork(folder.write("net.cfg", "2 1"), huge), ::testing::ExitedWithCode(249),
              "^Error reading file: " + huge + ": too large for the " + limit +
                  " of memory of this machine\n$");
  EXPECT_EXIT(NN_reloaded{huge}, ::testing::ExitedWithCode(255),
              "^Corrupt network file: " + huge + ": too large for the " + limit +
                  " of memory of this machine\n$");
}

TEST(OmbraResourcesDeathTest, AbsurdLayerEndsWithAMessageThroughTheProgram) {
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "2000000000 1\n");
  const std::string data = folder.write("train.dat", "1 0 0\n2000000000 1\n0 1\n");
  const ProgramRun result = runProgram("'" + std::string(OMBRA_PATH) + "' BP '" + configuration +
                                       "' '" + data + "' '' </dev/null");
  EXPECT_EQ(result.status, 253);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Wrong network configuration in " + configuration +
                            ": too many weights (at most 268435456)\n");
}

}  // namespace
