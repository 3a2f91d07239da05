#include "host/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace HostUtil {

namespace {

// What a file that is not a regular one is, for messages; empty for a
// regular file.
std::string KindOf(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISFIFO(mode)) return "a pipe (FIFO)";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw std::runtime_error(path + ": " + what);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string DescribeBytes(std::uintmax_t bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  // Whole units without decimals: "64 KiB", not "64.0 KiB".
  if (value == static_cast<double>(static_cast<std::uintmax_t>(value))) {
    std::snprintf(text, sizeof text, "%.0f %s", value, kUnits[unit]);
  } else {
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  }
  return text;
}

void RequireRegularFile(const std::string& path, const std::string& what) {
  if (path.empty()) throw std::runtime_error("no " + what + " was named (an empty path)");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    Fail(path, "cannot open the " + what + ": " + std::strerror(errno));
  }
  if (const std::string kind = KindOf(st.st_mode); !kind.empty()) {
    Fail(path, "is " + kind + ", not a " + what);
  }
}

std::string ReadRegularFile(const std::string& path, const std::string& what,
                            std::uintmax_t max_bytes) {
  // Looked at before opening: opening a pipe for reading waits for a writer,
  // and opening a device may have effects of its own.
  RequireRegularFile(path, what);
  struct stat st {};
  // The file may have been swapped for something else meanwhile: what was
  // opened is looked at again, and a pipe opened without blocking.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) Fail(path, "cannot open the " + what + ": " + std::strerror(errno));
  if (::fstat(fd.Get(), &st) != 0) {
    Fail(path, "cannot read the " + what + ": " + std::strerror(errno));
  }
  if (const std::string kind = KindOf(st.st_mode); !kind.empty()) {
    Fail(path, "is " + kind + ", not a " + what);
  }
  const std::string limit = "more than the " + DescribeBytes(max_bytes) + " this program reads";
  if (static_cast<std::uintmax_t>(st.st_size) > max_bytes) {
    Fail(path, "the " + what + " is " + DescribeBytes(static_cast<std::uintmax_t>(st.st_size)) +
                   ", " + limit);
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(st.st_size));
  // Files whose size the kernel does not know (/proc) or that grow while
  // being read are bounded by what is read.
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(path, "cannot read the " + what + ": " + std::strerror(errno));
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > max_bytes) Fail(path, "the " + what + " holds " + limit);
  }
  return text;
}

}  // namespace HostUtil
