#include "settings/ini_document.h"

#include <cstring>
#include <new>

namespace vle {
namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view StripLeading(std::string_view s) {
  while (!s.empty() && IsWhiteSpace(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view StripTrailing(std::string_view s) {
  while (!s.empty() && IsWhiteSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Strip(std::string_view s) { return StripTrailing(StripLeading(s)); }

}  // namespace

IniDocument::~IniDocument() { Abandon(); }

bool IniDocument::Open(bool truncate) {
  Abandon();
  sectionPosition_ = 0;
  position_ = 0;

  if (!truncate) {
    // Read and write access, as the file is opened for both: a file that may not be written is
    // not read either, and a missing one is created empty.
    file_ = platform::OpenFile(fullPath_, "a+b");
    if (file_ == nullptr) return false;
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0;
    try {
      char chunk[kReadChunk];
      while (ok) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file_);
        content_.append(chunk, n);
        if (n < sizeof chunk) break;
      }
    } catch (const std::bad_alloc&) {
      ok = false;
    }
    // A file that cannot be read whole is not read at all: defaults rather than half a file.
    if (!ok || std::ferror(file_) != 0) {
      Abandon();
      return false;
    }
    if (content_.compare(0, sizeof kUtf8Mark - 1, kUtf8Mark) == 0) content_.erase(0, sizeof kUtf8Mark - 1);
    return true;
  }

  // The target must be writable now, as truncating it in place would require; that keeps a
  // read-only or locked settings file as it is.
  std::FILE* probe = platform::OpenFile(fullPath_, "ab");
  if (probe == nullptr) return false;
  std::fclose(probe);
  // A name of its own: another process saving at the same moment writes its own file, and a link
  // planted at a predictable name is never written through.
  file_ = platform::CreateUniqueFile(fullPath_ + ".tmp", &tempPath_);
  if (file_ == nullptr) return false;
  writing_ = true;
  return true;
}

bool IniDocument::Close() {
  const bool lostWrites = writeFailed_;
  writeFailed_ = false;
  if (file_ == nullptr) return !lostWrites;
  std::FILE* file = file_;
  file_ = nullptr;
  content_.clear();
  content_.shrink_to_fit();
  if (!writing_) {
    std::fclose(file);
    return !lostWrites;
  }
  writing_ = false;
  bool ok = !lostWrites && platform::CommitFile(file);
  ok = std::fclose(file) == 0 && ok;
  if (ok && keepCopy_) ok = KeepCopy();
  if (ok) ok = platform::ReplaceFileAtomically(tempPath_, fullPath_);
  if (!ok) platform::RemoveFile(tempPath_);
  if (ok) keepCopy_ = false;
  return ok;
}

bool IniDocument::KeepCopy() {
  std::FILE* in = platform::OpenFile(fullPath_, "rb");
  if (in == nullptr) return false;
  std::string copyPath;
  std::FILE* out = nullptr;
  bool ok = true;
  char chunk[kReadChunk];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, in);
    if (n > 0 && out == nullptr) {
      out = platform::CreateUniqueFile(fullPath_ + ".tmp", &copyPath);
      if (out == nullptr) {
        ok = false;
        break;
      }
    }
    if (n > 0 && !platform::WriteFileBytes(out, chunk, n)) {
      ok = false;
      break;
    }
    if (n < sizeof chunk) break;
  }
  ok = std::ferror(in) == 0 && ok;
  std::fclose(in);
  if (out == nullptr) return ok;  // nothing to keep
  ok = platform::CommitFile(out) && ok;
  ok = std::fclose(out) == 0 && ok;
  if (ok) ok = platform::ReplaceFileAtomically(copyPath, fullPath_ + ".bak");
  if (!ok) platform::RemoveFile(copyPath);
  return ok;
}

void IniDocument::Abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
    if (writing_) platform::RemoveFile(tempPath_);
  }
  writing_ = false;
  writeFailed_ = false;
  content_.clear();
  content_.shrink_to_fit();
  position_ = 0;
}

std::string_view IniDocument::ReadLine() {
  const std::size_t size = content_.size();
  if (position_ >= size) return std::string_view();
  const char* begin = content_.data() + position_;
  const void* lf = std::memchr(begin, '\n', size - position_);
  if (lf == nullptr) {
    std::string_view line(begin, size - position_);
    position_ = size;
    return line;
  }
  std::string_view line(begin, static_cast<std::size_t>(static_cast<const char*>(lf) - begin));
  position_ += line.size() + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool IniDocument::FindSection(std::string_view name) {
  if (file_ == nullptr || content_.empty()) return false;
  std::string target = "[";
  target += Strip(name);
  target += ']';

  // Every line start is visited once: the scan starts at a line start, each step consumes at
  // least one byte, and the end of the data wraps to offset 0, itself a line start.
  const std::size_t size = content_.size();
  if (sectionPosition_ >= size) sectionPosition_ = 0;
  position_ = sectionPosition_;
  for (;;) {
    const std::size_t lineStart = position_;
    if (Strip(ReadLine()) == target) {
      sectionPosition_ = lineStart;
      return true;
    }
    if (position_ >= size) position_ = 0;
    if (position_ == sectionPosition_) return false;
  }
}

bool IniDocument::GetValue(std::string_view section, std::string_view key, std::string& value) {
  key = Strip(key);
  if (!FindSection(section)) return false;
  while (position_ < content_.size()) {
    const std::string_view line = StripLeading(ReadLine());
    if (line.empty()) continue;
    if (line.front() == '[') return false;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (StripTrailing(line.substr(0, eq)) != key) continue;
    value.assign(line.substr(eq + 1));
    return !value.empty();
  }
  return false;
}

void IniDocument::WriteText(std::string_view text) {
  if (file_ == nullptr || !writing_) {
    writeFailed_ = true;
    return;
  }
  if (writeFailed_) return;
  // Every LF goes out as CR LF, as it always did through a text-mode stream.
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  if (!platform::WriteFileBytes(file_, out.data(), out.size())) writeFailed_ = true;
}

void IniDocument::WriteSection(std::string_view name) {
  std::string line = "[";
  line += Strip(name);
  line += "]\n";
  WriteText(line);
}

void IniDocument::WriteEntry(std::string_view key, std::string_view text) {
  std::string line(Strip(key));
  line += '=';
  line += text;
  line += '\n';
  WriteText(line);
}

uint64_t IniDocument::ParseNumber64(std::string_view text) {
  text = StripLeading(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<uint64_t>(c - '0');
  }
  return negative ? 0u - value : value;
}

// Accumulating modulo 2^64 and keeping the low half is accumulating modulo 2^32.
uint32_t IniDocument::ParseNumber32(std::string_view text) { return static_cast<uint32_t>(ParseNumber64(text)); }

void IniDocument::ReadInt32(std::string_view section, std::string_view key, int32_t* target, int32_t def) {
  *target = GetValue(section, key, scratchValue_) ? static_cast<int32_t>(ParseNumber32(scratchValue_)) : def;
}

void IniDocument::ReadUInt32(std::string_view section, std::string_view key, uint32_t* target, uint32_t def) {
  *target = GetValue(section, key, scratchValue_) ? ParseNumber32(scratchValue_) : def;
}

void IniDocument::WriteInt32(std::string_view key, int32_t value) {
  scratchValue_ = std::to_string(value);
  WriteEntry(key, scratchValue_);
}

void IniDocument::WriteUInt32(std::string_view key, uint32_t value) {
  scratchValue_ = std::to_string(value);
  WriteEntry(key, scratchValue_);
}

}  // namespace vle
