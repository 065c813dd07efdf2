// What an IzPack installer jar says of itself: the bootstrap class and the
// IzPack version, and the install definition that IzPack's compiler stores as
// Java-serialized objects (PackagerBase.writeInstaller): resources/info,
// resources/customData and resources/vars. Fields are read by name, so an
// IzPack with more or fewer of them still reads.
#pragma once

#include <stdint.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "preflight/input.h"
#include "preflight/zip.h"

namespace preflight {

constexpr char kBootstrapClass[] = "com/izforge/izpack/installer/bootstrap/Installer.class";
constexpr size_t kMaxDefinitionBytes = 16u << 20;
constexpr size_t kMaxResourceBytes = 4u << 20;

struct InstallDefinition {
  std::string problem;  // why resources/info could not be read; empty when it could
  // Info's fields, where the stream holds them.
  std::optional<std::string> javaVersion, uninstallerPath, uninstallerCondition,
      privilegedCondition, rebootCondition;
  bool uninstallerPathKnown = false;  // the field is there, null or not
  bool javaVersionStrict = false, jdkRequired = false, requirePrivileged = false;
  int64_t rebootAction = 0;
  // resources/customData: the listeners' class names, with their types.
  std::vector<std::pair<std::string, int64_t>> listeners;
  std::string listenersProblem;  // empty when read, or when there are none
  // resources/vars: the install definition's own <variables>.
  std::map<std::string, std::string> variables;
  std::string variablesProblem;
};

void ReadInstallDefinition(const Input& jar, const Zip& zip, InstallDefinition* definition);

// The resource and its language variants (resources/<id>, resources/<id>_xxx,
// which the installer reads before <id> for its ISO 3166 country or ISO 639
// language), in the order of the archive.
std::vector<const ZipEntry*> ResourceVariants(const Zip& zip, const std::string& id);

// The IzPack version that META-INF/MANIFEST.MF's Created-By names
// ("5.2.6-b4b4 (IzPack)" gives 5.2.6), as three numbers; false when it names
// none.
bool IzPackVersion(const std::string& manifest, int (&version)[3], std::string* createdBy);

// IzPack's own comparison of Java versions (CompareVersionsMajorCondition):
// the numbers between non-digits, compared as far as the shorter has them.
// False when either is no version IzPack can read, which IzPack refuses too.
bool JavaVersionAtLeast(const std::string& have, const std::string& want, bool* atLeast);

}  // namespace preflight
