// Saving a file whole or not at all, by write and rename.
#include "save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The mode a new file would get: read and write for all the umask allows.
mode_t newFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Writes all of `data` to fd, sets its mode and flushes it to disk; 0, or
// the errno of the step that failed.
int writeAll(int fd, const char* data, size_t size, mode_t mode) {
  if (fchmod(fd, mode) != 0) return errno;
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    data += n, size -= size_t(n);
  }
  return fsync(fd) == 0 ? 0 : errno;
}

}  // namespace

bool saveFile(const std::string& path, const void* data, size_t size, std::string& error) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temporary = folder + "." + base + ".XXXXXX";
  int fd = mkstemp(&temporary[0]);
  int code = fd < 0 ? errno : 0;
  if (fd >= 0) {
    struct stat old;
    const mode_t mode = stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : newFileMode();
    code = writeAll(fd, static_cast<const char*>(data), size, mode);
    if (close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && rename(temporary.c_str(), path.c_str()) != 0) code = errno;
    if (code != 0) unlink(temporary.c_str());
  }
  if (code == 0) return true;
  error = path + ": " + strerror(code);
  return false;
}
