#include "platform/system.h"

namespace vle::platform {
namespace {
int g_writesBeforeFailure = 0;
int g_failingWrites = 0;
}  // namespace

SystemQueries::~SystemQueries() = default;

bool WriteFileBytes(std::FILE* file, const void* data, std::size_t size) {
  if (g_failingWrites > 0) {
    if (g_writesBeforeFailure > 0) {
      --g_writesBeforeFailure;
    } else {
      --g_failingWrites;
      return false;
    }
  }
  if (size == 0) return true;
  return file != nullptr && std::fwrite(data, 1, size, file) == size;
}

void FailFileWrites(int skip, int count) {
  g_writesBeforeFailure = skip > 0 ? skip : 0;
  g_failingWrites = count > 0 ? count : 0;
}

}  // namespace vle::platform
