#include "scan/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace marrowfen::scan {
namespace {

unsigned nextSerial = 0;

std::string errorText(int error) { return std::strerror(error != 0 ? error : EIO); }

std::string directoryOf(const std::string& destination) {
  std::string directory = std::filesystem::path(destination).parent_path().string();
  return directory.empty() ? "." : directory;
}

bool allDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "page-" then at least four digits then ".png": the names rendered pages are written under.
bool isPageFileName(std::string_view name) {
  constexpr std::string_view kPrefix = "page-";
  constexpr std::string_view kSuffix = ".png";
  if (name.size() < kPrefix.size() + 4 + kSuffix.size() || !name.starts_with(kPrefix) ||
      !name.ends_with(kSuffix)) {
    return false;
  }
  return allDigits(name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size()));
}

bool processRuns(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

}  // namespace

std::string temporaryFileName(const std::string& name, pid_t pid, unsigned serial) {
  return "." + name + "." + std::to_string(pid) + "." + std::to_string(serial);
}

std::optional<PendingFile> createPendingFile(const std::string& destination, mode_t mode,
                                             std::string& error) {
  const std::string directory = directoryOf(destination);
  PendingFile file;
  file.fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (file.fd >= 0) return file;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    error = errorText(errno);
    return std::nullopt;
  }
  // No nameless files here: a hidden name that the next run can tell is stale.
  const std::string name = std::filesystem::path(destination).filename().string();
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.temporaryPath =
        (std::filesystem::path(directory) / temporaryFileName(name, ::getpid(), nextSerial++))
            .string();
    file.fd = ::open(file.temporaryPath.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
    if (file.fd >= 0) return file;
    if (errno != EEXIST) break;
  }
  error = errorText(errno);
  return std::nullopt;
}

std::optional<std::string> commitPendingFile(const PendingFile& file,
                                             const std::string& destination) {
  if (!file.temporaryPath.empty()) {
    if (std::rename(file.temporaryPath.c_str(), destination.c_str()) == 0) return std::nullopt;
    const int error = errno;
    ::unlink(file.temporaryPath.c_str());
    return errorText(error);
  }
  // A nameless file is reached through its open descriptor. linkat cannot replace a file, so a new
  // name is linked first and then renamed over the destination; where there is nothing to replace,
  // the destination is linked directly.
  const std::string self = "/proc/self/fd/" + std::to_string(file.fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, destination.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return std::nullopt;
  }
  if (errno != EEXIST) return errorText(errno);
  const std::string directory = directoryOf(destination);
  const std::string name = std::filesystem::path(destination).filename().string();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary =
        (std::filesystem::path(directory) / temporaryFileName(name, ::getpid(), nextSerial++))
            .string();
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return errorText(errno);
    }
    if (std::rename(temporary.c_str(), destination.c_str()) == 0) return std::nullopt;
    const int error = errno;
    ::unlink(temporary.c_str());
    return errorText(error);
  }
  return errorText(EEXIST);
}

void discardPendingFile(const PendingFile& file) {
  if (!file.temporaryPath.empty()) ::unlink(file.temporaryPath.c_str());
}

void removeStaleTemporaryFiles(const std::string& directory) {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return;
  const int directoryFd = ::dirfd(listing);
  const time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name(entry->d_name);
    if (!name.starts_with(".page-")) continue;
    // ".NAME.PID.SERIAL" or ".NAME.XXXXXX".
    const size_t lastDot = name.rfind('.');
    if (lastDot == std::string_view::npos || lastDot < 1) continue;
    const std::string_view last = name.substr(lastDot + 1);
    bool stale = false;
    const size_t previousDot = name.rfind('.', lastDot - 1);
    if (previousDot != std::string_view::npos && previousDot > 0 && allDigits(last) &&
        allDigits(name.substr(previousDot + 1, lastDot - previousDot - 1)) &&
        isPageFileName(name.substr(1, previousDot - 1))) {
      const std::string_view pidText = name.substr(previousDot + 1, lastDot - previousDot - 1);
      const long long pid = pidText.size() <= 9 ? std::stoll(std::string(pidText)) : -1;
      stale = pid > 0 && !processRuns(static_cast<pid_t>(pid));
    } else if (last.size() == 6 && isPageFileName(name.substr(1, lastDot - 1))) {
      struct stat info;
      stale = ::fstatat(directoryFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
              S_ISREG(info.st_mode) && now - info.st_mtime > 600;
      for (char c : last) {
        if (!std::isalnum(static_cast<unsigned char>(c))) stale = false;
      }
    }
    if (stale) ::unlinkat(directoryFd, entry->d_name, 0);
  }
  ::closedir(listing);
}

}  // namespace marrowfen::scan
