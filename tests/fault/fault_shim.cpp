// A fault-injection shim, loaded with LD_PRELOAD in front of the program.
//
// It makes one kind of call on one file fail the way a sick disk or a
// locked-down directory would, so that the program's reports for those
// failures can be tested end to end. Settings come from the environment:
//
//   TESSORA_FAULT_CALL   open | read | write | close   (unset: no fault)
//   TESSORA_FAULT_ERRNO  EIO, ENOSPC, EACCES, EROFS, EDQUOT, EFBIG, ... (default EIO)
//   TESSORA_FAULT_FILE   base name of the file concerned (unset: every file
//                        the program opens; never the standard streams)
//   TESSORA_FAULT_AFTER  read and write: bytes that still go through first;
//                        a call that crosses the limit moves the bytes up to
//                        it and the next call fails, as a filling disk does
//
// The shim is built without sanitizers: it only forwards calls.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

enum class Call { none, open, read, write, close };

struct Settings {
  Call call = Call::none;
  int error = EIO;
  const char* file = nullptr;
  long long after = 0;
};

int errno_named(const char* name) {
  static const struct {
    const char* name;
    int value;
  } kErrnos[] = {
      {"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EACCES", EACCES}, {"EROFS", EROFS},   {"EDQUOT", EDQUOT},
      {"EFBIG", EFBIG},   {"EPERM", EPERM},   {"ENOENT", ENOENT}, {"EISDIR", EISDIR}, {"EMFILE", EMFILE},
      {"ENOMEM", ENOMEM}, {"EBUSY", EBUSY},   {"EINVAL", EINVAL}, {"ENXIO", ENXIO},   {"EINTR", EINTR},
  };
  for (const auto& e : kErrnos) {
    if (std::strcmp(e.name, name) == 0) return e.value;
  }
  return std::atoi(name) > 0 ? std::atoi(name) : EIO;
}

const Settings& settings() {
  static const Settings s = [] {
    Settings r;
    if (const char* c = std::getenv("TESSORA_FAULT_CALL")) {
      if (!std::strcmp(c, "open")) r.call = Call::open;
      if (!std::strcmp(c, "read")) r.call = Call::read;
      if (!std::strcmp(c, "write")) r.call = Call::write;
      if (!std::strcmp(c, "close")) r.call = Call::close;
    }
    if (const char* e = std::getenv("TESSORA_FAULT_ERRNO")) r.error = errno_named(e);
    const char* f = std::getenv("TESSORA_FAULT_FILE");
    r.file = f && *f ? f : nullptr;
    if (const char* a = std::getenv("TESSORA_FAULT_AFTER")) r.after = std::atoll(a);
    return r;
  }();
  return s;
}

// The descriptors that belong to the file concerned.
constexpr int kMaxFd = 4096;
std::atomic<bool> g_marked[kMaxFd];
std::atomic<long long> g_moved{0};  // bytes read or written on them so far

bool names_the_file(const char* path) {
  const char* want = settings().file;
  if (!want) return true;
  const char* slash = std::strrchr(path, '/');
  return std::strcmp(slash ? slash + 1 : path, want) == 0;
}

bool marked(int fd) { return fd > 2 && fd < kMaxFd && g_marked[fd].load(); }

template <class F>
F next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

int after_open(int fd, const char* path) {
  if (fd > 2 && fd < kMaxFd) g_marked[fd].store(names_the_file(path));
  return fd;
}

bool open_fails(const char* path) {
  if (settings().call != Call::open || !names_the_file(path)) return false;
  errno = settings().error;
  return true;
}

// How many of `count` bytes may move now; -1 (errno set) when none may.
long long budget(Call call, int fd, std::size_t count) {
  if (settings().call != call || !marked(fd)) return static_cast<long long>(count);
  const long long left = settings().after - g_moved.load();
  if (left <= 0 && count > 0) {
    errno = settings().error;
    return -1;
  }
  return static_cast<long long>(count) < left ? static_cast<long long>(count) : left;
}

mode_t mode_arg(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_arg(flags, args);
  va_end(args);
  if (open_fails(path)) return -1;
  return after_open(next<int (*)(const char*, int, ...)>("open")(path, flags, mode), path);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_arg(flags, args);
  va_end(args);
  if (open_fails(path)) return -1;
  return after_open(next<int (*)(const char*, int, ...)>("open64")(path, flags, mode), path);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_arg(flags, args);
  va_end(args);
  if (open_fails(path)) return -1;
  return after_open(next<int (*)(int, const char*, int, ...)>("openat")(dirfd, path, flags, mode), path);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_arg(flags, args);
  va_end(args);
  if (open_fails(path)) return -1;
  return after_open(next<int (*)(int, const char*, int, ...)>("openat64")(dirfd, path, flags, mode), path);
}

ssize_t read(int fd, void* buf, size_t count) {
  const long long allowed = budget(Call::read, fd, count);
  if (allowed < 0) return -1;
  const ssize_t got = next<ssize_t (*)(int, void*, size_t)>("read")(fd, buf, static_cast<size_t>(allowed));
  if (got > 0 && marked(fd)) g_moved += got;
  return got;
}

ssize_t write(int fd, const void* buf, size_t count) {
  const long long allowed = budget(Call::write, fd, count);
  if (allowed < 0) return -1;
  const ssize_t put = next<ssize_t (*)(int, const void*, size_t)>("write")(fd, buf, static_cast<size_t>(allowed));
  if (put > 0 && marked(fd)) g_moved += put;
  return put;
}

int close(int fd) {
  const bool fails = settings().call == Call::close && marked(fd);
  if (fd > 2 && fd < kMaxFd) g_marked[fd].store(false);
  const int result = next<int (*)(int)>("close")(fd);
  if (fails) {
    // The descriptor is released all the same, as the kernel does.
    errno = settings().error;
    return -1;
  }
  return result;
}

}  // extern "C"
