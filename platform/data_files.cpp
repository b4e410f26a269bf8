// The data folders: the working folder, then the one installed beside the program.
#include "platform/data_files.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#ifdef __linux__
#include <sys/auxv.h>
#endif

namespace fs = std::filesystem;

namespace {

// The running program's own path. The kernel's link names the file itself, symbolic links
// resolved; without /proc, the path it was started by. Empty when neither is known.
std::string ExecutablePath() {
#ifdef __linux__
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && self.is_absolute()) return self.string();
  const char* started_as = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (started_as != nullptr && *started_as != '\0') {
    fs::path absolute = fs::absolute(started_as, ec);  // the working folder is still the first one
    if (!ec) return absolute.string();
  }
#endif
  return "";
}

}  // namespace

std::string InstalledDataFolder(const std::string& executable) {
  if (executable.empty()) return "";
  const fs::path program = fs::path(executable).lexically_normal();
  return (program.parent_path().parent_path() / "share" / "glasswhirligo").string();
}

std::vector<std::string> DataFolders() {
  std::vector<std::string> folders{"."};
  std::string installed = InstalledDataFolder(ExecutablePath());
  if (!installed.empty()) folders.push_back(installed);
  return folders;
}

std::string FindDataFile(const char* name) {
  for (const std::string& folder : DataFolders()) {
    std::string path = folder == "." ? name : folder + "/" + name;
    if (access(path.c_str(), R_OK) == 0) return path;
  }
  return "";
}

std::string DataFoldersText() {
  std::string text;
  for (const std::string& folder : DataFolders()) {
    std::error_code ec;
    std::string shown = folder == "." ? fs::current_path(ec).string() : folder;
    if (shown.empty()) shown = "the working folder";
    text += text.empty() ? shown : " and " + shown;
  }
  return text;
}
