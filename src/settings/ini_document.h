// The plug-in's settings file: where it lives, and reading and writing its sections and
// key=value lines.
//
// File format. Plain 8-bit text; keys, section names and values are compared byte for byte.
// A header line is "[" name "]"; when searching, a line is the header of a name when the line,
// stripped of white space on both sides, equals "[" + name stripped + "]" exactly. A section's
// entries are the lines after its header up to the next line whose first non-blank character is
// "[". An entry is key "=" value: leading white space of the line and trailing white space of the
// key are ignored, the value is everything after the first "=" unchanged. Lines without "=" are
// skipped. The first matching key of a section wins; an empty value counts as absent. Of two
// headers with the same name, the first after the header found last (circularly) is used: right
// after Open, the first in the file. White space is blank, tab, CR, LF, vertical tab and form feed.
//
// Lines are written as "[name]" and key=value, each ending in CR LF on every platform; reading
// takes CR LF and bare LF alike. A UTF-8 byte-order mark at the start, as Windows editors write
// it, is skipped. Every other byte (NUL, 0x1A) is ordinary text.
//
// Saving never damages the previous file: lines go to a temporary file beside it, created
// exclusively under a name of its own, which Close puts in the file's place only when every line
// was written. Two processes saving at once each replace the file whole; the later one wins.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace vle {

class IniDocument {
 public:
  IniDocument() = default;
  // Closes the file if it is still open; lines written since OpenForWrite without a Close are
  // dropped and the previous file stays.
  virtual ~IniDocument();
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // Works out the settings file's folder and name from scratch:
  //   base folder = the user's application-data folder + "Quorsana" + separator, on an NT-family
  //                 system with the user-folder switch set (the host's folder when the system
  //                 cannot name its application-data folder); the host's folder otherwise;
  //   + "Instances" sep c sep, when the lower-cased command line holds "-inst:" or "/inst:"
  //                 followed by a character c (the first "/inst:" overrides the first "-inst:");
  //   + "Plugins" sep, whose last level is created (the result is ignored);
  //   file name = module name + ".ini".
  // When the system cannot tell its version, every path field is left empty, so that the file
  // cannot be opened and the settings keep their defaults.
  void Locate();
  void Locate(platform::SystemQueries& system);

  // Opens `fullPath()`. Without `truncate`: for reading, creating a missing file empty (the file
  // must be writable, as it always was). With `truncate`: for writing a new content from the start,
  // which replaces the file's at Close. Resets the section search. Returns whether it is open.
  bool Open(bool truncate);
  bool OpenForWrite() { return Open(true); }

  // Closes the file if it is open. After OpenForWrite: puts the written lines in the file's place;
  // returns false, leaving the previous file whole, when any write, the flush or the replacement
  // failed, or when lines were written while the file was not open for writing. Otherwise true.
  bool Close();

  // Closes the file if it is open, dropping whatever was written since OpenForWrite: the previous
  // file stays as it was.
  void Abandon();

  // Asks the next successful Close after OpenForWrite to keep the file it replaces, when that holds
  // anything, as `fullPath()` + ".bak" (replacing an older copy); if the copy cannot be made the
  // save fails and the file stays. For a file whose text could not be read as settings.
  void KeepCopyAtNextReplace(bool keep) { keepCopy_ = keep; }
  bool keepsCopyAtNextReplace() const { return keepCopy_; }

  // Whether the text read at the last Open (byte-order mark skipped) is empty.
  bool empty() const { return content_.empty(); }

  // Finds the header of `name`, searching circularly from the header found last so that a run of
  // lookups in one section starts right at it, while a lookup in another still visits every line
  // of the file once. Positions the reader on the section's first entry line.
  bool FindSection(std::string_view name);

  // Looks `key` up in `section`; fills `value` with the text after "=" and reports whether it was
  // found with a non-empty value.
  bool GetValue(std::string_view section, std::string_view key, std::string& value);

  // Header and entry lines; ignored unless opened for writing (Close then reports the loss).
  void WriteSection(std::string_view name);
  void WriteEntry(std::string_view key, std::string_view text);

  // Typed readers: when the key is found, its value parsed as a decimal number (leading white
  // space, optional sign, digits up to the first other character, accumulated modulo 2^64, the
  // sign applied last; no digits give 0) kept to its low 32 bits; otherwise the default.
  void ReadInt32(std::string_view section, std::string_view key, int32_t* target, int32_t def);
  void ReadUInt32(std::string_view section, std::string_view key, uint32_t* target, uint32_t def);

  // Typed writers: one entry line with the value in decimal (signed or unsigned as named).
  void WriteInt32(std::string_view key, int32_t value);
  void WriteUInt32(std::string_view key, uint32_t value);

  bool isOpen() const { return file_ != nullptr; }
  const std::string& scratchValue() const { return scratchValue_; }
  const std::string& instanceName() const { return instanceName_; }
  const std::string& directory() const { return directory_; }
  const std::string& moduleName() const { return moduleName_; }
  const std::string& fileName() const { return fileName_; }
  const std::string& fullPath() const { return fullPath_; }

  // The number parse of the typed readers, at 32 and 64 bits.
  static uint32_t ParseNumber32(std::string_view text);
  static uint64_t ParseNumber64(std::string_view text);

 private:
  // One line from `position_` (without its LF, and without the CR before that LF); advances
  // `position_` past the line end.
  std::string_view ReadLine();
  void WriteText(std::string_view text);
  // Copies the file at `fullPath_`, when it holds anything, to `fullPath_` + ".bak".
  bool KeepCopy();

  std::string scratchValue_;
  std::string instanceName_;
  std::string directory_;
  std::string moduleName_;
  std::string fileName_;
  std::string fullPath_;

  std::FILE* file_ = nullptr;
  bool writing_ = false;
  bool writeFailed_ = false;
  bool keepCopy_ = false;
  std::string tempPath_;
  std::string content_;    // the file's bytes, read once at Open
  std::size_t position_ = 0;
  std::size_t sectionPosition_ = 0;  // start of the header line found last
};

}  // namespace vle
