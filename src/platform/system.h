// What the settings storage needs to know about the machine it runs on, and the few file
// operations it cannot do portably.
//
// The queries sit behind an interface so that tests can play any machine: another command line,
// other folders, an old system, a failing directory creation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace vle::platform {

class SystemQueries {
 public:
  virtual ~SystemQueries();

  // Whether the system belongs to the NT family; nullopt when the system cannot tell its version
  // at all. Linux counts as NT.
  virtual std::optional<bool> NtFamily() = 0;

  // The machine-wide "store in the user's folder" switch; 0 (off) when it is not set.
  virtual uint32_t StoreInUsersFolder() = 0;

  // The user's roaming application-data folder, without a trailing separator; nullopt when the
  // system cannot name it.
  virtual std::optional<std::string> AppDataFolder() = 0;

  // The folder of the host process's executable, ending in the separator; empty when unknown.
  virtual std::string HostFolder() = 0;

  // The process's whole command line, program path included.
  virtual std::string CommandLine() = 0;

  // Creates the last level of `path` (parents are not created). Returns whether it was created.
  virtual bool CreateFolder(const std::string& path) = 0;

  // The plug-in module's file name without folder and extension.
  virtual std::string ModuleName() = 0;

  // The directory separator of the paths above.
  virtual char Separator() = 0;
};

// The machine this process runs on.
SystemQueries& RealSystem();

// Opens a file with the C library's `mode`; on Windows no other opener may share it while it is
// open. Null on failure.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Creates a new file whose name is `prefix` followed by a suffix no other process or thread picks,
// and opens it for binary writing; `path` receives the name. Creation is exclusive: whatever is
// already at a name, a planted link included, is never opened or followed. The file gets the
// permissions a new file of the user gets. Null on failure.
std::FILE* CreateUniqueFile(const std::string& prefix, std::string* path);

// Writes `size` bytes; false when not all of them were taken.
bool WriteFileBytes(std::FILE* file, const void* data, std::size_t size);

// Pushes everything written so far through to the disk. False on failure.
bool CommitFile(std::FILE* file);

// Puts `source` in the place of `target` in one step, replacing an existing `target`: a reader
// sees either the old file whole or the new one whole. False (and nothing changed) on failure.
bool ReplaceFileAtomically(const std::string& source, const std::string& target);

// Removes a file; false when it could not be removed.
bool RemoveFile(const std::string& path);

// Test hook for fault injection: the next `count` calls of WriteFileBytes fail after `skip` calls
// succeed. FailFileWrites(0, 0) turns injection off. Not thread-safe; tests only.
void FailFileWrites(int skip, int count);

}  // namespace vle::platform
