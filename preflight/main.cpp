// setup-preflight <installation folder>: reads an installation folder before
// it ships and says, one line per finding, what would keep setup.exe from
// doing its work there. It only reads: it never writes, moves or runs
// anything in the folder, and never starts Java.
#include <string.h>

#include "preflight/checks.h"

#ifndef SETUP_VERSION
#error "SETUP_VERSION names the release"
#endif

namespace preflight {
namespace {

constexpr char kUsage[] =
    "usage: setup-preflight <installation folder>\n"
    "Reads the folder that setup.exe ships in (setup.exe, jre, the IzPack installer's jar files)\n"
    "and prints one line per finding: PASS, FAIL, WARN or NOTE, its name, and what it found.\n"
    "Exit status: 0 when nothing is FAIL, 1 when something is, 2 when it could not look.\n";

int Run(const fs::path& folder, const std::string& written) {
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) {
    WriteError("setup-preflight: no such folder: " + written + "\n");
    return 2;
  }
  if (!fs::is_directory(status)) {
    WriteError("setup-preflight: not a folder: " + written + "\n");
    return 2;
  }
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, &entries)) {
    WriteError("setup-preflight: the folder cannot be read: " + written + "\n");
    return 2;
  }
  Context context;
  context.folder = folder;
  WriteOut(std::string("setup-preflight ") + SETUP_VERSION + ": " + written + "\n");
  CheckLauncher(&context);
  CheckRuntime(&context);
  CheckInstallerClass(&context);
  CheckIzPackVersion(&context);
  CheckJavaVersion(&context);
  CheckUninstallEntry(&context);
  CheckShortcuts(&context);
  CheckElevatedRestart(&context);
  CheckReboot(&context);
  CheckLeftovers(&context);
  CheckPathLength(&context);
  CheckJarFiles(&context);
  Summary(context.report);
  return context.report.counts[kFail] != 0 ? 1 : 0;
}

// One argument, or --help.
int Main(int count, const fs::path* arguments, const std::string* written) {
  if (count == 2 && (written[1] == "--help" || written[1] == "-h" || written[1] == "/?")) {
    WriteOut(kUsage);
    return 0;
  }
  if (count != 2 || written[1].empty()) {
    WriteError(kUsage);
    return 2;
  }
  return Run(arguments[1], written[1]);
}

}  // namespace
}  // namespace preflight

#ifdef _WIN32
int wmain(int count, wchar_t** arguments) {
  std::vector<preflight::fs::path> paths;
  std::vector<std::string> written;
  for (int i = 0; i < count; ++i) {
    paths.emplace_back(arguments[i]);
    written.push_back(preflight::Utf8(paths.back()));
  }
  return preflight::Main(count, paths.data(), written.data());
}
#else
int main(int count, char** arguments) {
  std::vector<preflight::fs::path> paths;
  std::vector<std::string> written;
  for (int i = 0; i < count; ++i) {
    paths.emplace_back(arguments[i]);
    written.emplace_back(arguments[i]);
  }
  return preflight::Main(count, paths.data(), written.data());
}
#endif
