// The main of every test program: GoogleTest's, inside a folder of the run's own under the
// temporary folder, removed when the tests end. Every scratch folder, every captured-output
// file of GoogleTest and every temporary file of a program under test lands there, so a test
// run leaves nothing behind, not even what a death test's child (which ends with exit(),
// never reaching a destructor or TearDown) leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Names the folder to the child processes: a death test's child run as a new process
// ("threadsafe" style) works in its parent's folder instead of making one of its own.
const char kRunFolderVariable[] = "OMBRA_TEST_RUN_FOLDER";

class RunFolder {
 public:
  RunFolder() {
    const char* inherited = std::getenv(kRunFolderVariable);
    if (inherited != nullptr && *inherited != '\0') {
      path_ = inherited;
    } else {
      const char* tmp = std::getenv("TMPDIR");
      std::string pattern =
          std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/ombra_tests_XXXXXX";
      if (mkdtemp(&pattern[0]) == nullptr) return;  // the tests then use the temporary folder
      path_ = pattern;
      // Open to other users: some tests switch to the user nobody in a folder of their own.
      chmod(path_.c_str(), 0755);
      owner_ = true;
      setenv(kRunFolderVariable, path_.c_str(), 1);
    }
    // GoogleTest puts its captured-output files in TEST_TMPDIR; programs their files in TMPDIR.
    setenv("TEST_TMPDIR", path_.c_str(), 1);
    setenv("TMPDIR", path_.c_str(), 1);
  }
  ~RunFolder() {
    if (!owner_) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;

 private:
  std::string path_;
  bool owner_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  // A local of main: a death test's child that ends through exit() does not destroy it, so
  // only the process that made the folder removes it.
  RunFolder folder;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
