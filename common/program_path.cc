#include "common/program_path.h"

#include <unistd.h>

namespace marrowfen {

std::string executableDirectory() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  std::string path(buffer, static_cast<size_t>(n));
  path.erase(path.find_last_of('/') + 1);
  return path;
}

}  // namespace marrowfen
