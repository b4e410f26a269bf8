// The data folders: the working folder, then the one installed beside the program.
#include "platform/data_files.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#ifdef __linux__
#include <sys/auxv.h>
#endif
#ifdef _WIN32
#include <windows.h>
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
#ifdef _WIN32
  // Paths are UTF-8 here: the program's manifest makes that the narrow functions' code page.
  std::wstring own(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size()));
    if (n == 0) return "";
    if (n < own.size()) {
      own.resize(n);
      break;
    }
    own.resize(own.size() * 2);  // a long path, cut short
  }
  const std::u8string utf8 = fs::path(own).u8string();
  return std::string(utf8.begin(), utf8.end());
#endif
  return "";
}

}  // namespace

std::string InstalledDataFolder(const std::string& executable) {
  if (executable.empty()) return "";
  const fs::path program = fs::path(executable).lexically_normal();
  return (program.parent_path().parent_path() / "share" / "glasswhirligo").string();
}

// By the text alone: the path is UTF-8, which a narrow path on Windows need not be.
std::string ProgramFolder(const std::string& executable) {
  const size_t last = executable.find_last_of("/\\");
  return last == std::string::npos ? "" : executable.substr(0, last);
}

std::vector<std::string> DataFolders() {
#ifdef _WIN32
  // A program unpacked from its zip keeps its files beside it, wherever it is started from.
  std::vector<std::string> folders;
  const std::string own = ProgramFolder(ExecutablePath());
  if (!own.empty()) folders.push_back(own);
  folders.push_back(".");
#else
  std::vector<std::string> folders{"."};
  std::string installed = InstalledDataFolder(ExecutablePath());
  if (!installed.empty()) folders.push_back(installed);
#endif
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
