// A cross-built test runs under qemu-user, and the programs it starts are built for the target
// too: the host cannot run them directly, so they are started through the same emulator
// (GW_EMULATOR: the emulator's command words, set by the build when it cross-compiles).
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace gw_test {

#ifdef GW_EMULATOR
inline const std::vector<std::string> kEmulator = {GW_EMULATOR};
#else
inline const std::vector<std::string> kEmulator;
#endif

// The command words that run `program` with `args` on this build's architecture.
inline std::vector<std::string> TargetCommand(const std::string& program,
                                              const std::vector<std::string>& args) {
  std::vector<std::string> words = kEmulator;
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

// The emulator's words for a shell command line (empty for a native build).
inline std::string TargetShellPrefix() {
  std::string prefix;
  for (const std::string& w : kEmulator) prefix += "'" + w + "' ";
  return prefix;
}

// Sets a variable for the started program only. Under the emulator the process environment
// reaches the host's emulator first, where a target library in LD_PRELOAD is an error: the
// emulator passes QEMU_SET_ENV's entries ("name=value,...") to the program instead.
inline void SetTargetEnv(const char* name, const std::string& value) {
  if (kEmulator.empty()) {
    setenv(name, value.c_str(), 1);
    return;
  }
  const char* old = std::getenv("QEMU_SET_ENV");
  std::string entries = old && *old ? std::string(old) + "," : "";
  setenv("QEMU_SET_ENV", (entries + name + "=" + value).c_str(), 1);
}

}  // namespace gw_test
