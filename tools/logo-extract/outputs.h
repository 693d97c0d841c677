// What logo-extract writes, and how. Every output of a run is registered in one OutputSet, which
// checks all of them before the first frame and puts them in place together at the end:
//
//  - No output may be an input of the run, and no two outputs may be one file, however they are
//    named (./x, a symlink, a hard link): files are compared by device and inode, files still to
//    be made by their resolved folder and name.
//  - A folder, a file the user may not or should not write (no write permission for anyone, even
//    when root could) and a missing folder are reported by Prepare(), before any work.
//  - A regular file (or a name still free) is written to a temporary file beside it, in the same
//    folder, and renamed over it by CommitAll() only when every output is ready; a failed or
//    interrupted run replaces nothing. A symlink is followed: the file it points to is replaced, the
//    link stays. A replaced file keeps its permissions (and, where allowed, its owner).
//  - Temporary files are made unnamed (O_TMPFILE) and get a name only for the instant of the
//    rename, so even SIGKILL leaves nothing behind. Where the file system cannot make unnamed files
//    they are named ".NAME.XXXXXX.partial" from the start; a killed run can leave one of those.
//  - "-" is standard output; a path that is not a regular file (a device such as /dev/null, a
//    FIFO) is opened by Prepare() and written directly, never renamed over. What goes there cannot
//    be taken back: Touched() lists such outputs that have received bytes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vle::extract {

// One file of the run. Owned by its OutputSet; valid as long as the set.
class Output {
 public:
  const std::string& path() const { return path_; }  // as given; "-" is standard output
  const std::string& what() const { return what_; }  // "the preview", for messages

  // Appends bytes: to the temporary file, or straight to standard output, a device or a FIFO.
  // Only between Prepare() and CommitAll(). Throws RunError naming the file and the reason
  // ("No space left on device"), or Interrupted.
  void Write(const void* data, size_t size);

 private:
  friend class OutputSet;
  enum class Kind { kReplace, kDirect };
  Output(std::string path, std::string what) : path_(std::move(path)), what_(std::move(what)) {}
  void Prepare();
  void Discard();
  std::string Name() const;

  std::string path_, what_;
  Kind kind_ = Kind::kReplace;
  std::string target_;  // kReplace: the file to replace, symlinks resolved
  std::string folder_;  // kReplace: where the temporary lives
  std::string linked_;  // kReplace: the temporary's name while it has one
  bool keepMode_ = false;
  mode_t mode_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  int fd_ = -1;
  bool ownsFd_ = false;  // false for standard output
  bool written_ = false;
};

class OutputSet {
 public:
  OutputSet() = default;
  ~OutputSet();  // discards every temporary file not committed
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // A file the run reads: no output may be it. "-" is standard input; an empty path or one that
  // does not exist is ignored. Before Prepare().
  void AddInput(const std::string& path);

  // An output; `what` names it in messages ("the template bitmap"). An empty path means the
  // output was not asked for and gives nullptr. Before Prepare().
  Output* Add(const std::string& path, const std::string& what);

  // Checks every output against the inputs and the others and checks its destination, then
  // creates the temporary files and opens the direct destinations (opening a FIFO waits for its
  // reader). Throws RunError (Interrupted while waiting); call once, before the first frame.
  void Prepare();

  // Puts every output in place: the temporary files are flushed to disk and renamed over their
  // targets. Throws RunError; a failure before the renames (a full disk at the flush) replaces
  // nothing. Stop signals cannot end the process during the renames.
  void CommitAll();

  // The outputs written directly (standard output, devices, FIFOs) that have received bytes.
  std::vector<std::string> Touched() const;

 private:
  struct Identity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;  // for a file still to be made: its resolved folder and name
    bool operator==(const Identity& o) const;
  };
  static Identity IdentityOf(const std::string& path, bool* isCharDevice);

  std::vector<std::pair<std::string, Identity>> inputs_;
  std::vector<std::unique_ptr<Output>> outputs_;
  bool prepared_ = false;
};

enum class PngPixels { kGrey = 1, kRgb = 3, kRgba = 4 };

// Top-down rows of 8-bit pixels, `width * channels` bytes each, as a PNG file's bytes. `what`
// names the picture in the error. Throws RunError.
std::vector<uint8_t> EncodePng(const uint8_t* pixels, int width, int height, PngPixels format,
                               const std::string& what);

// Top-down RGB as the preview's PNG bytes. Throws RunError.
inline std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb, int width, int height) {
  return EncodePng(rgb.data(), width, height, PngPixels::kRgb, "the preview");
}

}  // namespace vle::extract
