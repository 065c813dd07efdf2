// The folder's own files: the launcher, the runtime beside it, what a test
// run left behind, and how long the runtime's paths are.
#include <map>

#include "preflight/binaries.h"
#include "preflight/checks.h"

namespace preflight {

namespace {

constexpr char kFindings[] = "what-each-finding-checks";

// The program's PE header and version; false with *problem when it is none.
bool ReadProgram(const fs::path& path, PeFile* pe, std::string* problem) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(OpenForReading(path), fclose);
  if (!file) {
    *problem = "cannot be opened";
    return false;
  }
  Input input;
  input.file = file.get();
  input.size = SizeOf(path);
  return ReadPe(input, pe, problem);
}

// jre\release: KEY="value" lines, as the JDK's build writes them.
std::map<std::string, std::string> ReadRelease(const std::string& text) {
  std::map<std::string, std::string> values;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    values[line.substr(0, equals)] = value;
  }
  return values;
}

// What a runtime's jre\bin\java is, for a runtime that has no javaw.exe.
std::string ForeignRuntime(const fs::path& java) {
  uint8_t head[4] = {};
  std::unique_ptr<FILE, int (*)(FILE*)> file(OpenForReading(java), fclose);
  if (!file || fread(head, 1, 4, file.get()) != 4) return "";
  const uint32_t magic = Le32(head);
  if (magic == 0x464C457F) return " (jre\\bin\\java is a Linux program: a Linux runtime, as jlink makes on Linux)";
  if (magic == 0xFEEDFACF || magic == 0xCFFAEDFE || magic == 0xBEBAFECA)
    return " (jre\\bin\\java is a macOS program: a macOS runtime)";
  return "";
}

}  // namespace

void CheckLauncher(Context* context) {
  const char* name = "launcher";
  const fs::path path = context->folder / "setup.exe";
  if (!IsFile(path)) {
    Line(&context->report, kFail, name,
         "no setup.exe in the folder: put the launcher beside jre" + See("release-engineers.md", kFindings));
    return;
  }
  PeFile pe;
  std::string problem;
  if (!ReadProgram(path, &pe, &problem)) {
    Line(&context->report, kFail, name,
         "setup.exe is " + problem + ": take setup.exe from the release zip" +
             See("release-engineers.md", kFindings));
    return;
  }
  if (pe.machine != kMachineAmd64 || !pe.pe32Plus || pe.subsystem != kSubsystemGui) {
    Line(&context->report, kFail, name,
         "setup.exe is a " + MachineName(pe.machine) +
             (pe.subsystem == kSubsystemGui ? " GUI" : " console") +
             " program, not the 64-bit GUI launcher: take setup.exe from the release zip" +
             See("release-engineers.md", kFindings));
    return;
  }
  Line(&context->report, kPass, name, "setup.exe is a 64-bit Windows GUI program");
  Line(&context->report, kNote, name,
       pe.version.empty() ? "setup.exe has no version resource"
                          : "setup.exe is version " + pe.version);
}

void CheckRuntime(Context* context) {
  const char* name = "runtime";
  Report* report = &context->report;
  const fs::path jre = context->folder / "jre";
  const fs::path javaw = jre / "bin" / "javaw.exe";
  std::vector<uint8_t> bytes;
  std::string problem;
  std::map<std::string, std::string> release;
  const bool hasRelease = IsFile(jre / "release") &&
                          ReadFile(jre / "release", 1u << 20, &bytes, &problem);
  if (hasRelease) {
    release = ReadRelease(std::string(bytes.begin(), bytes.end()));
    context->javaVersion = release["JAVA_VERSION"];
  }
  const std::string os = release.count("OS_NAME") != 0 ? release["OS_NAME"] : "";
  const std::string arch = release.count("OS_ARCH") != 0 ? release["OS_ARCH"] : "";
  const std::string fix = ": put a Windows x64 runtime in jre (jlink on Windows, or a Windows JDK's)" +
                          See("release-engineers.md", kFindings);
  if (!IsFolder(jre)) {
    Line(report, kFail, name, "no jre folder beside setup.exe" + fix);
  } else if (!os.empty() && os != "Windows") {
    Line(report, kFail, name,
         "jre\\release names a " + os + (arch.empty() ? "" : " " + arch) +
             " runtime, which Windows cannot start" + fix);
  } else if (!IsFile(javaw)) {
    Line(report, kFail, name,
         std::string("no jre\\bin\\javaw.exe") +
             ForeignRuntime(jre / "bin" / "java") +
             "; the launcher ends with CreateProcess failed (" +
             (IsFolder(jre / "bin") ? "2" : "3") + ")" + fix);
  } else {
    PeFile pe;
    if (!ReadProgram(javaw, &pe, &problem)) {
      Line(report, kFail, name, "jre\\bin\\javaw.exe is " + problem + fix);
    } else if (pe.machine != kMachineAmd64) {
      Line(report, kWarn, name,
           "jre\\bin\\javaw.exe is a Windows program for " + MachineName(pe.machine) +
               ", which starts on x64 Windows only where Windows emulates it" + fix);
    } else {
      Line(report, kPass, name, "jre\\bin\\javaw.exe is a Windows program for x86-64");
    }
  }
  if (hasRelease)
    Line(report, kNote, name,
         "jre\\release: JAVA_VERSION " + (context->javaVersion.empty() ? "unnamed" : context->javaVersion) +
             ", OS_ARCH " + (arch.empty() ? "unnamed" : arch));
  else if (IsFolder(jre))
    Line(report, kNote, name, "no jre\\release: the runtime's version is not known");
}

void CheckLeftovers(Context* context) {
  if (fs::path script = context->folder / "installer.qb.bat";
      IsFile(script) || IsFolder(script))
    Line(&context->report, kNote, "follow-up script",
         "installer.qb.bat is in the folder: the launcher runs it after the installer, and then "
         "neither empties jre nor moves the log" + See("release-engineers.md", kFindings));
  if (IsFile(context->folder / "quellbrook-install.log") ||
      IsFolder(context->folder / "quellbrook-install.log"))
    Line(&context->report, kWarn, "stale log",
         "quellbrook-install.log is already in the folder, from a test run: delete it before "
         "packing" + See("release-engineers.md", kFindings));
}

void CheckPathLength(Context* context) {
  const char* name = "path length";
  // Without long paths, a path has room for 259 units and its terminator;
  // the cleanup's paths are the folder's, a backslash, and the one under it.
  constexpr size_t kMaxPath = 259;
  const RuntimePaths paths = MeasureRuntime(context->folder / "jre");
  if (paths.entries == 0) {
    Line(&context->report, kNote, name, "jre holds nothing to measure");
    return;
  }
  std::string text = "the longest path under the folder is " + paths.longestPath + ", " +
                     std::to_string(paths.longest) + " UTF-16 units";
  if (!paths.complete) text += " (of the first " + std::to_string(paths.entries) + " entries)";
  if (paths.longest + 1 >= kMaxPath) {
    Line(&context->report, kWarn, name,
         text + ": no installation folder leaves the cleanup room for it on a Windows "
                "without long paths; shorten the runtime's paths" +
             See("release-engineers.md", kFindings));
    return;
  }
  const size_t room = kMaxPath - 1 - paths.longest;
  text += "; the cleanup reaches every file from an installation folder of at most " +
          std::to_string(room) + " units";
  if (room < 100)
    Line(&context->report, kWarn, name,
         text + ", which a deep unpack folder exceeds: shorten the runtime's paths" +
             See("release-engineers.md", kFindings));
  else
    Line(&context->report, kNote, name, text);
}

}  // namespace preflight
