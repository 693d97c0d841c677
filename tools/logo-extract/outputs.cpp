#include "outputs.h"

#include <fcntl.h>
#include <limits.h>
#include <png.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "frame_source.h"
#include "stop.h"

namespace vle::extract {
namespace {

std::string Why(int error) { return std::strerror(error); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows `path` through symlinks, dangling ones included, to the name a write would reach.
// Throws RunError for a loop.
std::string FollowLinks(const std::string& path, const std::string& shown) {
  std::string target = path;
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    if (hops == 40) throw RunError("cannot write " + shown + ": " + Why(ELOOP));
    std::string link(PATH_MAX, '\0');
    const ssize_t n = readlink(target.c_str(), link.data(), link.size());
    if (n < 0 || size_t(n) >= link.size()) return target;
    link.resize(size_t(n));
    target = link[0] == '/' ? link : FolderOf(target) + "/" + link;
  }
}

// Names that reach an already open descriptor: opened, never replaced.
bool IsDescriptorPath(const std::string& path) {
  return path == "/dev/stdout" || path == "/dev/stderr" || path.rfind("/dev/fd/", 0) == 0 ||
         path.rfind("/proc/self/fd/", 0) == 0;
}

std::string UniqueName(const std::string& folder, const std::string& base) {
  static std::mt19937_64 random{std::random_device{}() ^ (uint64_t(getpid()) << 32)};
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kDigits[random() % (sizeof kDigits - 1)];
  return folder + "/." + base + "." + suffix + ".partial";
}

}  // namespace

// ---- Output ----

std::string Output::Name() const { return path_ == "-" ? "standard output" : "'" + path_ + "'"; }

void Output::Prepare() {
  const std::string name = Name();
  if (path_ == "-") {
    if (isatty(STDOUT_FILENO)) {
      throw RunError("will not write " + what_ + " to a terminal: redirect standard output");
    }
    kind_ = Kind::kDirect;
    fd_ = STDOUT_FILENO;
    return;
  }
  target_ = IsDescriptorPath(path_) ? path_ : FollowLinks(path_, name);
  struct stat st {};
  const bool exists = stat(target_.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) throw RunError("cannot write " + name + ": " + Why(errno));
  if (exists && S_ISDIR(st.st_mode)) throw RunError(name + " is a folder, not a file");
  if (!exists && (BaseOf(target_).empty() || target_.back() == '/')) {
    throw RunError(name + " names a folder, not a file");
  }

  const bool descriptor = IsDescriptorPath(path_);
  if (exists && (!S_ISREG(st.st_mode) || descriptor)) {
    // A device or a FIFO: written in place. Opening a FIFO waits for its reader. A descriptor's
    // name reaches what the shell opened, maybe a file for ">>": appended to, never replaced.
    kind_ = Kind::kDirect;
    for (;;) {
      fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | (descriptor ? O_APPEND : 0));
      if (fd_ >= 0) break;
      if (errno != EINTR) throw RunError("cannot write " + name + ": " + Why(errno));
      ThrowIfStopRequested();
    }
    ownsFd_ = true;
    return;
  }

  kind_ = Kind::kReplace;
  if (exists) {
    // Root may write anything; a file nobody may write is still one the user meant to keep.
    if ((st.st_mode & 0222) == 0) {
      throw RunError(name + " is read-only: make it writable or choose another name");
    }
    if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
      throw RunError("cannot write " + name + ": " + Why(errno));
    }
    keepMode_ = true;
    mode_ = st.st_mode & 01777;  // no set-id bits on a file this program made
    uid_ = st.st_uid;
    gid_ = st.st_gid;
  }
  folder_ = FolderOf(target_);
  fd_ = open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // No unnamed files here: a named one, made exclusively.
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
      linked_ = UniqueName(folder_, BaseOf(target_));
      fd_ = open(linked_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) linked_.clear();
  }
  if (fd_ < 0) throw RunError("cannot write " + name + ": " + Why(errno));
  ownsFd_ = true;
  if (keepMode_) {
    if (uid_ != geteuid() || gid_ != getegid()) (void)!fchown(fd_, uid_, gid_);  // where allowed
    if (fchmod(fd_, mode_) != 0) throw RunError("cannot write " + name + ": " + Why(errno));
  }
}

void Output::Write(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ThrowIfStopRequested();  // a signal may have cut the last write short: a FIFO's reader is slow
    const ssize_t n = write(fd_, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw RunError("cannot write " + what_ + " to " + Name() + ": " + Why(errno));
    }
    written_ = true;
    bytes += n;
    size -= size_t(n);
  }
}

void Output::Discard() {
  if (ownsFd_ && fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!linked_.empty()) unlink(linked_.c_str());
  linked_.clear();
}

// ---- OutputSet ----

bool OutputSet::Identity::operator==(const Identity& o) const {
  if (!known || !o.known) return false;
  if (name.empty() != o.name.empty()) return false;
  return name.empty() ? device == o.device && inode == o.inode : name == o.name;
}

OutputSet::Identity OutputSet::IdentityOf(const std::string& path, bool* isCharDevice) {
  Identity id;
  struct stat st {};
  *isCharDevice = false;
  if (stat(path.c_str(), &st) == 0) {
    *isCharDevice = S_ISCHR(st.st_mode);
    id.known = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    return id;
  }
  if (errno != ENOENT) return id;
  // Still to be made: the same folder (resolved) and the same name are the same file.
  std::string target;
  try {
    target = FollowLinks(path, path);
  } catch (const RunError&) {
    return id;
  }
  char folder[PATH_MAX];
  if (realpath(FolderOf(target).c_str(), folder) == nullptr) return id;
  id.known = true;
  id.name = std::string(folder) + "/" + BaseOf(target);
  return id;
}

void OutputSet::AddInput(const std::string& path) {
  if (path.empty()) return;
  Identity id;
  struct stat st {};
  if (path == "-") {
    if (fstat(STDIN_FILENO, &st) != 0 || S_ISCHR(st.st_mode)) return;
    id.known = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
  } else {
    bool charDevice = false;
    id = IdentityOf(path, &charDevice);
    if (!id.known || !id.name.empty() || charDevice) return;  // missing, or a device
  }
  inputs_.emplace_back(path == "-" ? "standard input" : "'" + path + "'", id);
}

Output* OutputSet::Add(const std::string& path, const std::string& what) {
  if (path.empty()) return nullptr;
  outputs_.push_back(std::unique_ptr<Output>(new Output(path, what)));
  return outputs_.back().get();
}

void OutputSet::Prepare() {
  prepared_ = true;
  // Identities first: nothing is created or opened while the command line could still be wrong.
  std::vector<Identity> ids;
  std::vector<bool> shareable;  // character devices: writing one twice harms nothing
  for (const auto& out : outputs_) {
    Identity id;
    bool charDevice = false;
    if (out->path_ == "-") {
      struct stat st {};
      if (fstat(STDOUT_FILENO, &st) == 0) {
        charDevice = S_ISCHR(st.st_mode);
        id.known = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
      }
    } else {
      id = IdentityOf(out->path_, &charDevice);
    }
    for (const auto& [inputName, inputId] : inputs_) {
      if (!charDevice && id == inputId) {
        throw RunError(out->what_ + " " + out->Name() + " would overwrite the input " + inputName);
      }
    }
    for (size_t i = 0; i < ids.size(); ++i) {
      const Output& other = *outputs_[i];
      const bool bothStdout = out->path_ == "-" && other.path_ == "-";
      if (bothStdout || (!(charDevice && shareable[i]) && id == ids[i])) {
        throw RunError(other.what_ + " " + other.Name() + " and " + out->what_ + " " + out->Name() +
                       " are the same file");
      }
    }
    ids.push_back(id);
    shareable.push_back(charDevice);
  }
  for (const auto& out : outputs_) out->Prepare();
}

void OutputSet::CommitAll() {
  NoAbruptStop guard;
  // Everything that can fail for want of space or permission happens before the first rename.
  for (const auto& out : outputs_) {
    if (out->kind_ != Output::Kind::kReplace) continue;
    Output& o = *out;
    if (fsync(o.fd_) != 0) throw RunError("cannot write " + o.what_ + " to " + o.Name() + ": " + Why(errno));
    if (!o.linked_.empty()) continue;  // named from the start
    const std::string self = "/proc/self/fd/" + std::to_string(o.fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = UniqueName(o.folder_, BaseOf(o.target_));
      int rc = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
      if (rc != 0 && errno == ENOENT) rc = linkat(o.fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
      if (rc == 0) {
        o.linked_ = name;
        break;
      }
      if (errno != EEXIST) throw RunError("cannot put " + o.Name() + " in place: " + Why(errno));
    }
    if (o.linked_.empty()) throw RunError("cannot put " + o.Name() + " in place: " + Why(EEXIST));
  }
  for (const auto& out : outputs_) {
    Output& o = *out;
    if (o.kind_ == Output::Kind::kReplace) {
      if (rename(o.linked_.c_str(), o.target_.c_str()) != 0) {
        throw RunError("cannot put " + o.Name() + " in place: " + Why(errno));
      }
      o.linked_.clear();
    }
    if (o.ownsFd_) {
      const int rc = close(o.fd_);
      o.fd_ = -1;
      if (rc != 0 && o.kind_ == Output::Kind::kDirect) {
        throw RunError("cannot write " + o.what_ + " to " + o.Name() + ": " + Why(errno));
      }
    }
  }
}

std::vector<std::string> OutputSet::Touched() const {
  std::vector<std::string> names;
  for (const auto& out : outputs_) {
    if (out->kind_ == Output::Kind::kDirect && out->written_) names.push_back(out->Name());
  }
  return names;
}

OutputSet::~OutputSet() {
  for (const auto& out : outputs_) out->Discard();
}

// ---- Pictures ----

std::vector<uint8_t> EncodePng(const uint8_t* pixels, int width, int height, PngPixels format,
                               const std::string& what) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = format == PngPixels::kGrey ? PNG_FORMAT_GRAY
                 : format == PngPixels::kRgb ? PNG_FORMAT_RGB
                                             : PNG_FORMAT_RGBA;
  const int rowBytes = width * static_cast<int>(format);
  png_alloc_size_t size = 0;
  std::vector<uint8_t> png;
  bool ok = png_image_write_get_memory_size(image, size, 0, pixels, rowBytes, nullptr);
  if (ok) {
    png.resize(size);
    ok = png_image_write_to_memory(&image, png.data(), &size, 0, pixels, rowBytes, nullptr);
    png.resize(size);
  }
  if (!ok) {
    const std::string why = image.message[0] ? image.message : "unknown error";
    png_image_free(&image);
    throw RunError("cannot make " + what + ": " + why);
  }
  return png;
}

}  // namespace vle::extract
