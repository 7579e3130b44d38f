#include "cli/file_guard.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "cli/failure.hpp"

namespace tessora::cli {

namespace {

// Where a path leads: an existing regular file's device and inode, or for a
// file yet to be made, its folder's real path and its name.
struct Identity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string folder, name;
  bool operator==(const Identity& o) const {
    return exists == o.exists && (exists ? device == o.device && inode == o.inode : folder == o.folder && name == o.name);
  }
};

std::optional<Identity> identity(const std::string& path, int standard_fd) {
  struct stat info;
  const int status = path == "-" ? ::fstat(standard_fd, &info) : ::stat(path.c_str(), &info);
  if (status == 0) {
    if (!S_ISREG(info.st_mode)) return std::nullopt;  // a terminal, a pipe, /dev/null: never the same data
    Identity id;
    id.exists = true;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    return id;
  }
  if (path == "-") return std::nullopt;
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  char* real = ::realpath(folder.c_str(), nullptr);
  if (real == nullptr) return std::nullopt;  // an output the writer will refuse on its own
  Identity id;
  id.folder = real;
  std::free(real);
  id.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  return id;
}

std::string shown(const NamedFile& f, bool output) {
  if (f.path == "-") return output ? f.role + " (standard output)" : f.role + " (standard input)";
  return f.role + " '" + f.path + "'";
}

}  // namespace

void check_distinct_files(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs) {
  std::vector<std::optional<Identity>> outs;
  for (const NamedFile& o : outputs) outs.push_back(identity(o.path, STDOUT_FILENO));
  for (const NamedFile& in : inputs) {
    const std::optional<Identity> id = identity(in.path, STDIN_FILENO);
    if (!id || !id->exists) continue;
    for (std::size_t k = 0; k < outputs.size(); ++k)
      if (outs[k] && *outs[k] == *id)
        usage_error(shown(outputs[k], true) + " and " + shown(in, false) + " are the same file (" + in.role +
                    " would be overwritten)");
  }
  for (std::size_t a = 0; a < outputs.size(); ++a)
    for (std::size_t b = a + 1; b < outputs.size(); ++b) {
      const bool both_standard = outputs[a].path == "-" && outputs[b].path == "-";
      if (both_standard || (outs[a] && outs[b] && *outs[a] == *outs[b]))
        usage_error(shown(outputs[b], true) + " and " + shown(outputs[a], true) + " are the same file");
    }
}

}  // namespace tessora::cli
