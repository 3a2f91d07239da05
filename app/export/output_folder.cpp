#include "app/export/output_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <locale>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace pierhost {

namespace {

namespace fs = std::filesystem;

// The system's reason for an error number; thread-safe, unlike strerror.
std::string Reason(int error) { return std::generic_category().message(error); }

[[noreturn]] void Fail(const std::string& path, const std::string& what, int error) {
  throw OutputError(path + ": " + what + ": " + Reason(error));
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// A name no other run picks: random letters and digits.
std::string RandomPart() {
  static constexpr char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  unsigned char bytes[10];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "getrandom");
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  std::string out;
  for (unsigned char b : bytes) out += kChars[b % (sizeof kChars - 1)];
  return out;
}

std::optional<std::string> ReadLink(int dir_fd, const std::string& name) {
  char target[4096];
  const ssize_t n = ::readlinkat(dir_fd, name.c_str(), target, sizeof target);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof target) return std::nullopt;
  return std::string(target, static_cast<std::size_t>(n));
}

// What is at dir/name, links not followed; nullopt when nothing.
std::optional<mode_t> KindAt(int dir_fd, const std::string& name) {
  struct stat st {};
  if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return st.st_mode;
}

std::vector<std::string> Entries(int dir_fd) {
  std::vector<std::string> names;
  const int copy = ::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return names;
  DIR* dir = ::fdopendir(copy);
  if (!dir) {
    ::close(copy);
    return names;
  }
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// Removes dir/name and what it holds; links are removed, never followed.
// Best effort: what cannot be removed is left for a later run.
void RemoveTree(int dir_fd, const std::string& name) {
  const auto kind = KindAt(dir_fd, name);
  if (!kind) return;
  if (S_ISDIR(*kind)) {
    const Fd sub(::openat(dir_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (sub.Valid()) {
      for (const auto& entry : Entries(sub.Get())) RemoveTree(sub.Get(), entry);
    }
    ::unlinkat(dir_fd, name.c_str(), AT_REMOVEDIR);
  } else {
    ::unlinkat(dir_fd, name.c_str(), 0);
  }
}

// Whether a process of that id runs (or may run: one of another user).
bool ProcessLives(long pid) {
  if (pid <= 0 || pid > 4194304) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Removes the temporary files of `name` left in the folder by runs that
// died: ".NAME.<pid>.<random>.tmp", and ".NAME.tmp<pid>" of earlier
// versions of this program.
void RemoveStaleTemps(int dir_fd, const std::string& name) {
  const std::string prefix = "." + name + ".";
  for (const auto& entry : Entries(dir_fd)) {
    if (!entry.starts_with(prefix)) continue;
    const std::string rest = entry.substr(prefix.size());
    std::string pid;
    if (rest.starts_with("tmp") && AllDigits(rest.substr(3))) {
      pid = rest.substr(3);
    } else if (rest.ends_with(".tmp")) {
      pid = rest.substr(0, rest.find('.'));
    }
    if (!AllDigits(pid) || pid.size() > 9 || ProcessLives(std::stol(pid))) continue;
    const auto kind = KindAt(dir_fd, entry);
    if (kind && (S_ISREG(*kind) || S_ISLNK(*kind))) ::unlinkat(dir_fd, entry.c_str(), 0);
  }
}

// Creates dir and its parents when missing.
void CreateFolder(const std::string& dir) {
  if (dir.empty()) {
    throw std::invalid_argument(
        "the output folder is named by an empty path: name a folder (. for the current one)");
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) throw OutputError(dir + ": cannot create the output folder: " + ec.message());
}

Fd OpenFolder(const std::string& dir) {
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.Valid()) Fail(dir, "cannot open the output folder", errno);
  return fd;
}

}  // namespace

// ---------------------------------------------------------------------------

class FileOut::Buffer : public std::streambuf {
 public:
  explicit Buffer(int fd) : fd_(fd) { setp(data_, data_ + sizeof data_); }
  ~Buffer() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Close() {
    const bool drained = Drain();
    if (fd_ >= 0 && ::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    return drained && error_ == 0;
  }
  int Error() const { return error_; }

 protected:
  int overflow(int c) override {
    if (!Drain()) return traits_type::eof();
    if (c != traits_type::eof()) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  bool Drain() {
    const char* p = pbase();
    while (p < pptr()) {
      if (error_ != 0) break;
      const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(pptr() - p));
      if (n < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        break;
      }
      p += n;
    }
    setp(data_, data_ + sizeof data_);
    return error_ == 0;
  }

  int fd_;
  int error_ = 0;
  char data_[1 << 16];
};

FileOut::FileOut(int fd) : std::ostream(nullptr), buffer_(std::make_unique<Buffer>(fd)) {
  rdbuf(buffer_.get());
  // Writers format their numbers themselves (app/export/text.h); whatever
  // else reaches the file is never grouped or given a decimal comma by the
  // process's locale.
  imbue(std::locale::classic());
}
FileOut::~FileOut() = default;

bool FileOut::Close() {
  flush();
  const bool closed = buffer_->Close();
  if (!closed) setstate(std::ios::badbit);
  return closed;
}

std::string FileOut::Error() const {
  return buffer_->Error() != 0 ? Reason(buffer_->Error()) : std::string();
}

// ---------------------------------------------------------------------------

class OutputFolder::Impl {
 public:
  Impl(const std::string& dir, std::vector<std::string> names,
       const std::function<void(const std::string&)>& waiting)
      : dir_(dir), names_(std::move(names)) {
    CreateFolder(dir_);
    dir_fd_ = OpenFolder(dir_);
    const std::string store = PathOf(kOutputStore);
    if (::mkdirat(dir_fd_.Get(), kOutputStore, 0777) != 0 && errno != EEXIST) {
      Fail(dir_, "cannot write into the output folder", errno);
    }
    store_fd_ =
        Fd(::openat(dir_fd_.Get(), kOutputStore, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!store_fd_.Valid()) {
      if (errno == ELOOP || errno == ENOTDIR) {
        throw OutputError(store +
                          ": is not the folder this program keeps its outputs in (a file "
                          "or a link is in its place); remove it");
      }
      Fail(store, "cannot open the folder of the outputs", errno);
    }
    struct stat st {};
    if (::fstat(store_fd_.Get(), &st) == 0 && st.st_uid != ::geteuid()) {
      throw OutputError(store + ": belongs to another user; write into a folder of your own");
    }
    Lock(waiting);
    RemoveStale();
    LinkOutputs();
    for (int attempt = 0; !run_fd_.Valid(); ++attempt) {
      run_ = "run-" + RandomPart();
      if (::mkdirat(store_fd_.Get(), run_.c_str(), 0777) != 0) {
        if (errno == EEXIST && attempt < 10) continue;
        Fail(store, "cannot write into the folder of the outputs", errno);
      }
      run_fd_ = Fd(
          ::openat(store_fd_.Get(), run_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!run_fd_.Valid()) Fail(store + "/" + run_, "cannot open the folder", errno);
    }
  }

  ~Impl() {
    if (!published_ && !run_.empty()) {
      run_fd_.Reset();
      RemoveTree(store_fd_.Get(), run_);
    }
  }

  std::unique_ptr<FileOut> Create(const std::string& name) {
    const int fd = ::openat(run_fd_.Get(), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) Fail(PathOf(name), "cannot create the file", errno);
    return std::make_unique<FileOut>(fd);
  }

  std::vector<std::string> Publish() {
    const auto previous = ReadLink(store_fd_.Get(), "current");
    SetCurrent(run_);
    published_ = true;
    if (previous && *previous != run_ && previous->starts_with("run-")) {
      RemoveTree(store_fd_.Get(), *previous);
    }
    std::vector<std::string> paths;
    for (const auto& name : names_) paths.push_back(PathOf(name));
    return paths;
  }

  std::string PathOf(const std::string& name) const { return (fs::path(dir_) / name).string(); }

 private:
  // Takes the folder's lock: a run writing into it makes this one wait.
  void Lock(const std::function<void(const std::string&)>& waiting) {
    lock_fd_ =
        Fd(::openat(store_fd_.Get(), "lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!lock_fd_.Valid()) Fail(PathOf(kOutputStore) + "/lock", "cannot open the lock", errno);
    constexpr auto kMostWait = std::chrono::minutes(10);
    const auto start = std::chrono::steady_clock::now();
    bool told = false;
    while (::flock(lock_fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) {
        Fail(PathOf(kOutputStore) + "/lock", "cannot lock the output folder", errno);
      }
      if (!told && waiting) {
        waiting("another pierhost run is writing its outputs into " + dir_ +
                "; waiting for it to finish");
      }
      told = true;
      if (std::chrono::steady_clock::now() - start > kMostWait) {
        throw OutputError(dir_ +
                          ": another pierhost run has been writing its outputs here for "
                          "10 minutes; write into another folder, or stop that run");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  // What runs that died left: sets never published, links never turned,
  // temporary files of earlier versions of this program.
  void RemoveStale() {
    const auto current = ReadLink(store_fd_.Get(), "current");
    for (const auto& entry : Entries(store_fd_.Get())) {
      if (entry == "lock" || entry == "current" || (current && entry == *current)) continue;
      if (entry.starts_with("run-") || entry.starts_with("current.tmp-")) {
        RemoveTree(store_fd_.Get(), entry);
      }
    }
    for (const auto& name : names_) RemoveStaleTemps(dir_fd_.Get(), name);
  }

  // Points "current" at `run` with one rename.
  void SetCurrent(const std::string& run) {
    const std::string temp = "current.tmp-" + RandomPart();
    if (::symlinkat(run.c_str(), store_fd_.Get(), temp.c_str()) != 0) {
      Fail(PathOf(kOutputStore), "cannot write into the folder of the outputs", errno);
    }
    if (::renameat(store_fd_.Get(), temp.c_str(), store_fd_.Get(), "current") != 0) {
      const int error = errno;
      ::unlinkat(store_fd_.Get(), temp.c_str(), 0);
      Fail(dir_, "cannot publish the outputs (the previous ones are left as they were)", error);
    }
  }

  // Each output's name in the folder is a link into the current set. Files
  // of that name written before this layout (or by hand) join the current
  // set when it lacks them, so that the names never show two sets.
  void LinkOutputs() {
    const int store = store_fd_.Get();
    auto current = ReadLink(store, "current");
    for (const auto& name : names_) {
      const std::string target = std::string(kOutputStore) + "/current/" + name;
      if (ReadLink(dir_fd_.Get(), name) == target) continue;
      const auto kind = KindAt(dir_fd_.Get(), name);
      if (kind && S_ISDIR(*kind)) {
        throw OutputError(PathOf(name) + ": a folder of that name is in the way");
      }
      if (kind && S_ISREG(*kind)) {
        if (!current) {
          const std::string earlier = "run-" + RandomPart();
          if (::mkdirat(store, earlier.c_str(), 0777) != 0) {
            Fail(PathOf(kOutputStore), "cannot write into the folder of the outputs", errno);
          }
          SetCurrent(earlier);
          current = earlier;
        }
        const Fd set(
            ::openat(store, current->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (set.Valid() && !KindAt(set.Get(), name)) {
          ::renameat(dir_fd_.Get(), name.c_str(), set.Get(), name.c_str());
        }
      }
      const std::string temp =
          "." + name + "." + std::to_string(::getpid()) + "." + RandomPart() + ".tmp";
      if (::symlinkat(target.c_str(), dir_fd_.Get(), temp.c_str()) != 0) {
        Fail(dir_, "cannot write into the output folder", errno);
      }
      if (::renameat(dir_fd_.Get(), temp.c_str(), dir_fd_.Get(), name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(dir_fd_.Get(), temp.c_str(), 0);
        Fail(PathOf(name), "cannot replace the file", error);
      }
    }
  }

  std::string dir_;
  std::vector<std::string> names_;
  Fd dir_fd_, store_fd_, lock_fd_, run_fd_;
  std::string run_;
  bool published_ = false;
};

OutputFolder::OutputFolder(const std::string& dir, std::vector<std::string> names,
                           const std::function<void(const std::string&)>& waiting)
    : impl_(std::make_unique<Impl>(dir, std::move(names), waiting)) {}
OutputFolder::~OutputFolder() = default;
std::unique_ptr<FileOut> OutputFolder::Create(const std::string& name) {
  return impl_->Create(name);
}
std::vector<std::string> OutputFolder::Publish() { return impl_->Publish(); }
std::string OutputFolder::PathOf(const std::string& name) const { return impl_->PathOf(name); }

// ---------------------------------------------------------------------------

void WriteFileAtomically(const std::string& dir, const std::string& name, const std::string& text) {
  CreateFolder(dir);
  const Fd dir_fd = OpenFolder(dir);
  const std::string path = (fs::path(dir) / name).string();
  const auto kind = KindAt(dir_fd.Get(), name);
  if (kind && S_ISDIR(*kind)) throw OutputError(path + ": a folder of that name is in the way");
  RemoveStaleTemps(dir_fd.Get(), name);
  const std::string temp =
      "." + name + "." + std::to_string(::getpid()) + "." + RandomPart() + ".tmp";
  const int fd = ::openat(dir_fd.Get(), temp.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) Fail(dir, "cannot write into the folder", errno);
  FileOut out(fd);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out.Close()) {
    const std::string why = out.Error();
    ::unlinkat(dir_fd.Get(), temp.c_str(), 0);
    throw OutputError(path + ": writing failed: " + why);
  }
  if (::renameat(dir_fd.Get(), temp.c_str(), dir_fd.Get(), name.c_str()) != 0) {
    const int error = errno;
    ::unlinkat(dir_fd.Get(), temp.c_str(), 0);
    Fail(path, "cannot replace the file", error);
  }
}

}  // namespace pierhost
