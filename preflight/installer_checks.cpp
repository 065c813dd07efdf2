// The installer's jars: which one IzPack's bootstrap class is in, which
// IzPack built it, whether the runtime is one it accepts, and jars that are
// no archive at all.
#include <ctype.h>

#include <algorithm>

#include "preflight/binaries.h"
#include "preflight/checks.h"

namespace preflight {

namespace {

constexpr char kFindings[] = "what-each-finding-checks";

// What the class path "*" takes: the folder's own files named *.jar or *.JAR.
bool TakenByClassPath(const FolderEntry& entry) {
  const std::string& n = entry.name;
  if (entry.folder || n.size() < 5) return false;
  const std::string end = n.substr(n.size() - 4);
  return end == ".jar" || end == ".JAR";
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The jar opened and its directory read; false with *problem otherwise.
bool OpenJar(const fs::path& path, Installer* jar, std::string* problem) {
  jar->file.reset(OpenForReading(path));
  if (!jar->file) {
    *problem = "it cannot be opened";
    return false;
  }
  jar->input = Input{};
  jar->input.file = jar->file.get();
  jar->input.size = SizeOf(path);
  return ReadZip(jar->input, &jar->zip, problem);
}

}  // namespace

void CheckInstallerClass(Context* context) {
  const char* name = "installer class";
  std::vector<FolderEntry> entries;
  ListFolder(context->folder, &entries);
  std::vector<std::string> holders;
  for (const FolderEntry& entry : entries) {
    if (!TakenByClassPath(entry)) continue;
    auto jar = std::make_unique<Installer>();
    jar->jar = entry.name;
    std::string problem;
    if (!OpenJar(entry.path, jar.get(), &problem)) {
      context->badJars.push_back(entry.name + " is not a readable zip archive (" + problem +
                                 "): Java skips it or stops at it; remove it or build it again");
      continue;
    }
    for (const ZipEntry& inside : jar->zip.entries) {
      if (!NameLeavesArchive(inside.name)) continue;
      context->badJars.push_back(entry.name + " holds an entry named " + inside.name +
                                 ", which would leave any folder it is unpacked into: build it again");
      break;
    }
    if (FindEntry(jar->zip, kBootstrapClass) == nullptr) continue;
    holders.push_back(entry.name);
    if (!context->installer) context->installer = std::move(jar);
  }
  if (context->installer)
    ReadInstallDefinition(context->installer->input, context->installer->zip,
                          &context->installer->definition);
  const std::string fix = See("release-engineers.md", kFindings);
  if (holders.empty()) {
    const std::vector<std::string> below = FindBelow(context->folder, ".jar", 3);
    context->noInstaller = "no jar in the folder holds IzPack's bootstrap class";
    Line(&context->report, kFail, name,
         "no jar file in the folder itself holds " + std::string(kBootstrapClass) +
             (below.empty() ? "" : "; jar files in subfolders, which the class path * does not take: " +
                                       Joined(below)) +
             ": put the installer's jar beside setup.exe" + fix);
    return;
  }
  if (holders.size() > 1) {
    Line(&context->report, kWarn, name,
         std::to_string(holders.size()) + " jar files hold IzPack's bootstrap class: " +
             Joined(holders) + "; Java takes whichever the folder lists first, so keep one" + fix +
             "; the checks below read " + holders.front());
    return;
  }
  Line(&context->report, kPass, name, holders.front() + " holds " + kBootstrapClass);
}

void CheckIzPackVersion(Context* context) {
  const char* name = "izpack version";
  if (!context->installer) {
    Line(&context->report, kNote, name, "not checked: " + context->noInstaller);
    return;
  }
  Installer& jar = *context->installer;
  const std::string fix = ": build the installer with IzPack 5.1.0 or later" +
                          See("izpack.md", "2-every-argument-izpack-does-not-know-starts-an-automated-installation");
  std::string problem, createdBy;
  std::vector<uint8_t> bytes;
  int version[3] = {};
  const ZipEntry* manifest = FindEntry(jar.zip, "META-INF/MANIFEST.MF");
  if (manifest != nullptr && ReadEntry(jar.input, *manifest, 1u << 20, &bytes, &problem) &&
      IzPackVersion(std::string(bytes.begin(), bytes.end()), version, &createdBy)) {
    const std::string text = jar.jar + "'s META-INF/MANIFEST.MF says Created-By: " + createdBy;
    if (version[0] < 5 || (version[0] == 5 && version[1] < 1))
      Line(&context->report, kFail, name,
           text + ", older than 5.1.0, which knows no -logfile and takes the log's name for an "
                  "automated-installation file" + fix);
    else
      Line(&context->report, kPass, name, text);
    return;
  }
  // Without the manifest's word, the bootstrap class tells: -logfile is one
  // of the strings it compares its arguments with.
  std::vector<std::string> strings;
  if (!ReadEntry(jar.input, *FindEntry(jar.zip, kBootstrapClass), 1u << 20, &bytes, &problem) ||
      !ReadClassStrings(bytes, &strings, &problem)) {
    Line(&context->report, kWarn, name,
         jar.jar + "'s bootstrap class cannot be read (" + problem +
             ") and its manifest names no IzPack version" + fix);
    return;
  }
  if (std::find(strings.begin(), strings.end(), "-logfile") != strings.end())
    Line(&context->report, kPass, name,
         jar.jar + "'s manifest names no IzPack version, and its bootstrap class knows -logfile, "
                   "as IzPack 5.1.0 and later do");
  else
    Line(&context->report, kFail, name,
         jar.jar + "'s manifest names no IzPack version, and its bootstrap class knows no -logfile, "
                   "as IzPack before 5.1.0" + fix);
}

bool DefinitionMissing(Context* context, const char* name) {
  if (!context->installer) {
    Line(&context->report, kNote, name, "not checked: " + context->noInstaller);
    return true;
  }
  const InstallDefinition& d = context->installer->definition;
  if (d.problem.empty()) return false;
  // The first finding that needs it says why; the others point there.
  if (context->definitionReported) {
    Line(&context->report, kNote, name, "not checked: the install definition cannot be read (above)");
    return true;
  }
  context->definitionReported = true;
  Line(&context->report, kWarn, name,
       "not checked, nor what follows: " + context->installer->jar +
           "'s install definition cannot be read (" + d.problem +
           "), which no jar of IzPack's compiler gives: build the installer again" +
           See("release-engineers.md", kFindings));
  return true;
}

void CheckJavaVersion(Context* context) {
  const char* name = "java version";
  if (DefinitionMissing(context, name)) return;
  const InstallDefinition& d = context->installer->definition;
  const std::string fix = See("release-engineers.md", kFindings);
  if (d.jdkRequired)
    Line(&context->report, kWarn, name,
         "the installer wants a JDK (<jdkrequired>): IzPack looks for javac on the user's PATH, "
         "not in jre, and asks whether to go on without one; drop <jdkrequired>" + fix);
  if (!d.javaVersion) {
    Line(&context->report, kPass, name, "the install definition asks for no Java version");
    return;
  }
  const std::string want = "the installer asks for Java " + *d.javaVersion + " or later";
  if (context->javaVersion.empty()) {
    Line(&context->report, kNote, name, want + "; the runtime's version is not known (no JAVA_VERSION in jre\\release)");
    return;
  }
  bool atLeast = false;
  const std::string have = "the runtime's JAVA_VERSION is " + context->javaVersion;
  if (!JavaVersionAtLeast(context->javaVersion, *d.javaVersion, &atLeast))
    Line(&context->report, kFail, name,
         want + " and " + have + ", which IzPack cannot compare, so it refuses to install: "
                "give <javaversion> as numbers" + fix);
  else if (!atLeast)
    Line(&context->report, kFail, name,
         want + " and " + have + ", so IzPack refuses to install: ship a newer runtime" + fix);
  else
    Line(&context->report, kPass, name,
         want + " and " + have + (d.javaVersionStrict ? " (javaVersionStrict is a check of IzPack's compiler alone)" : ""));
}

void CheckJarFiles(Context* context) {
  for (const std::string& line : context->badJars)
    Line(&context->report, kWarn, "jar files", line + See("release-engineers.md", kFindings));
}

}  // namespace preflight
