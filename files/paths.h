#pragma once
// The path checks behind every output file of the programs: a target's symbolic links
// followed (and judged, on every part of the path) before it is replaced, and the names a
// temporary file needs. The callers word their own refusals (files/output_file.h).

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

// "." for a bare name, "/" for a name in the root folder.
std::string directoryOf(const std::string& path);
std::string baseNameOf(const std::string& path);

// The kernel's protected-symlinks rule: a link in a sticky world-writable folder is followed
// only by its owner or when the folder's owner owns it too. Someone else's link in /tmp may
// point at any file of the user.
bool isPlantedLink(const std::string& link, const struct stat& linkInfo);

// Where following the symbolic links of a name ended. Every link along the path is judged,
// a folder link as much as the last part: /tmp/x/evil/train.dat with evil another user's
// link to the victim's home is refused at evil.
struct LinkWalk {
  enum End {
    kResolved,    // path: the name finally written, without links (it may not exist yet)
    kLoop,        // more links than the kernel follows in one path; path: the last link
    kPlanted,     // path: a link that isPlantedLink refuses
    kUnreadable,  // path: a link whose target could not be read
  } end;
  std::string path;
};
LinkWalk followLinks(const std::string& path);

// The descriptor of standard output or error when file is that same file, else -1.
int standardStreamOf(const struct stat& file);

// Both names exist and are one file (same device and inode: links and ".." count).
bool isSameFile(const std::string& a, const std::string& b);

// The longest name of one folder entry (NAME_MAX of Linux file systems).
constexpr size_t kMaxFileNameBytes = 255;

// The temporary name beside path for mkstemp: "<folder>/.<name>.XXXXXX", the name shortened
// when the eight added bytes would pass the file system's 255-byte limit of a name.
std::string temporaryPatternFor(const std::string& path);

// The mode of a newly created file: 0666 less the umask.
mode_t newFileMode();
