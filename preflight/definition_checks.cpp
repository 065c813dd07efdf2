// The install definition: where the uninstall entry and the shortcuts point,
// and the restarts and reboots that come between the installer and the
// launcher's cleanup.
#include "preflight/checks.h"
#include "preflight/xml.h"

namespace preflight {

namespace {

constexpr char kUninstallSection[] = "1-the-uninstall-entry-points-into-the-folder-the-launcher-empties";

bool NamesJavaHome(const std::string& text) {
  return text.find("$JAVA_HOME") != std::string::npos ||
         text.find("${JAVA_HOME}") != std::string::npos;
}

// Every variant of a resource, parsed; a line for each that cannot be.
struct Resource {
  std::string entry;
  XmlDocument document;
};
std::vector<Resource> ReadResources(Context* context, const char* name, const std::string& id) {
  std::vector<Resource> resources;
  Installer& jar = *context->installer;
  for (const ZipEntry* entry : ResourceVariants(jar.zip, id)) {
    std::vector<uint8_t> bytes;
    std::string problem;
    Resource resource;
    resource.entry = entry->name;
    if (!ReadEntry(jar.input, *entry, kMaxResourceBytes, &bytes, &problem) ||
        !ParseXml(std::string(bytes.begin(), bytes.end()), &resource.document, &problem)) {
      Line(&context->report, kWarn, name,
           jar.jar + "'s " + entry->name + " cannot be read (" + problem +
               "), and the installer reads it when it installs: mend it and build the "
               "installer again" +
               See("release-engineers.md", "what-each-finding-checks"));
      continue;
    }
    resources.push_back(std::move(resource));
  }
  return resources;
}

// The index of the first element below root (root included) named name
// whose attribute "name" is value; 0 with false when there is none.
bool FindNamed(const XmlDocument& document, size_t root, const char* element, const char* value,
               size_t* found) {
  std::vector<size_t> stack = {root};
  while (!stack.empty()) {
    const size_t at = stack.back();
    stack.pop_back();
    const XmlElement& e = document.elements[at];
    const std::string* name = Attribute(e, "name");
    if (e.name == element && name != nullptr && *name == value) {
      *found = at;
      return true;
    }
    for (auto child = e.children.rbegin(); child != e.children.rend(); ++child) stack.push_back(*child);
  }
  return false;
}

// The first attribute value below root that names JAVA_HOME; only in
// elements whose "name" is onlyNamed, when that is given.
const std::string* JavaHomeIn(const XmlDocument& document, size_t root, const char* onlyNamed) {
  std::vector<size_t> stack = {root};
  while (!stack.empty()) {
    const XmlElement& e = document.elements[stack.back()];
    stack.pop_back();
    const std::string* name = Attribute(e, "name");
    if (onlyNamed == nullptr || (name != nullptr && *name == onlyNamed))
      for (const auto& attribute : e.attributes)
        if (NamesJavaHome(attribute.second)) return &attribute.second;
    for (size_t child : e.children) stack.push_back(child);
  }
  return nullptr;
}

bool OwnJavaHome(const InstallDefinition& d) { return d.variables.count("JAVA_HOME") != 0; }

}  // namespace

void CheckUninstallEntry(Context* context) {
  const char* name = "uninstall entry";
  if (DefinitionMissing(context, name)) return;
  Installer& jar = *context->installer;
  const InstallDefinition& d = jar.definition;
  const std::string fix = See("izpack.md", kUninstallSection);
  bool listener = false;
  for (const auto& declared : d.listeners)
    listener |= declared.first == "com.izforge.izpack.event.RegistryInstallerListener";
  if (!listener) {
    Line(&context->report, d.listenersProblem.empty() ? kPass : kWarn, name,
         d.listenersProblem.empty()
             ? "no RegistryInstallerListener: the installer writes no uninstall entry"
             : "not checked: " + d.listenersProblem + "; build the installer again" + fix);
    return;
  }
  if (!d.uninstallerPath) {
    Line(&context->report, kPass, name,
         "no uninstaller is written (<uninstaller write=\"no\"/>), so IzPack writes no entry of its own");
    return;
  }
  const std::vector<Resource> registry = ReadResources(context, name, "RegistrySpec.xml");
  if (registry.empty()) {
    Line(&context->report, kFail, name,
         "RegistryInstallerListener with an uninstaller and no resources/RegistrySpec.xml: IzPack's "
         "own entry starts the uninstaller with jre\\bin\\javaw.exe, which the launcher empties; "
         "add a RegistrySpec.xml with a pack UninstallStuff that names a runtime that stays" + fix);
    return;
  }
  bool failed = false;
  for (const Resource& file : registry) {
    size_t pack;
    if (file.document.elements.empty() ||
        !FindNamed(file.document, 0, "pack", "UninstallStuff", &pack)) {
      Line(&context->report, kFail, name,
           file.entry + " has no pack UninstallStuff, so IzPack writes its own entry, which starts "
           "the uninstaller with jre\\bin\\javaw.exe, which the launcher empties: add the pack, "
           "naming a runtime that stays" + fix);
      failed = true;
      continue;
    }
    const std::string* named = JavaHomeIn(file.document, pack, "UninstallString");
    if (named != nullptr && !OwnJavaHome(d)) {
      Line(&context->report, kFail, name,
           file.entry + "'s UninstallString is " + *named + ", and JAVA_HOME is the installer's "
           "jre, which the launcher empties: name a runtime that the product installs, or give "
           "JAVA_HOME a value of the install definition's own" + fix);
      failed = true;
    }
  }
  if (failed) return;
  Line(&context->report, kPass, name,
       OwnJavaHome(d) ? "a pack UninstallStuff of its own, and JAVA_HOME is the install definition's own: " +
                            d.variables.at("JAVA_HOME")
                      : "a pack UninstallStuff of its own in every RegistrySpec.xml (" +
                            std::to_string(registry.size()) + " of them), naming no JAVA_HOME");
}

void CheckShortcuts(Context* context) {
  const char* name = "shortcuts";
  if (DefinitionMissing(context, name)) return;
  const InstallDefinition& d = context->installer->definition;
  std::vector<Resource> shortcuts = ReadResources(context, name, "shortcutSpec.xml");
  for (Resource& file : ReadResources(context, name, "Win_shortcutSpec.xml"))
    shortcuts.push_back(std::move(file));
  bool failed = false;
  for (const Resource& file : shortcuts) {
    const std::string* named =
        file.document.elements.empty() ? nullptr : JavaHomeIn(file.document, 0, nullptr);
    if (named == nullptr || OwnJavaHome(d)) continue;
    Line(&context->report, kFail, name,
         file.entry + " names " + *named + ", and JAVA_HOME is the installer's jre, which the "
         "launcher empties: name a runtime that the product installs, or give JAVA_HOME a value "
         "of the install definition's own" + See("izpack.md", kUninstallSection));
    failed = true;
  }
  if (failed) return;
  Line(&context->report, kPass, name,
       shortcuts.empty() ? std::string("no shortcutSpec.xml or Win_shortcutSpec.xml")
       : OwnJavaHome(d) ? "JAVA_HOME is the install definition's own: " + d.variables.at("JAVA_HOME")
                        : "no shortcut resource names JAVA_HOME (" + std::to_string(shortcuts.size()) + " of them)");
}

void CheckElevatedRestart(Context* context) {
  const char* name = "elevated restart";
  if (DefinitionMissing(context, name)) return;
  const InstallDefinition& d = context->installer->definition;
  if (!d.requirePrivileged)
    Line(&context->report, kPass, name, "no <run-privileged>");
  else if (!d.privilegedCondition || d.privilegedCondition->empty())
    Line(&context->report, kWarn, name,
         "<run-privileged> without a condition: every user who is not elevated gets a restart, "
         "without the launcher's arguments and log in the graphical installer; give it a "
         "condition, or have users start setup.exe as administrator" +
             See("izpack.md", "3-the-elevated-restart"));
  else
    Line(&context->report, kPass, name,
         "<run-privileged> only where the condition " + *d.privilegedCondition + " holds");
}

void CheckReboot(Context* context) {
  const char* name = "reboot";
  if (DefinitionMissing(context, name)) return;
  const InstallDefinition& d = context->installer->definition;
  static const char* const kActions[] = {"ignore", "notice", "ask", "always"};
  const std::string action = d.rebootAction >= 0 && d.rebootAction <= 3
                                 ? kActions[d.rebootAction]
                                 : std::to_string(d.rebootAction);
  if (d.rebootAction == 2 || d.rebootAction == 3)
    Line(&context->report, kWarn, name,
         "<rebootaction>" + action + "</rebootaction>" +
             (d.rebootCondition ? " (where " + *d.rebootCondition + " holds)" : "") +
             ": a reboot at the installer's end can cut the launcher's cleanup short; leave it "
             "to ignore or notice" +
             See("izpack.md", "5-programs-that-izpack-starts-and-a-reboot-at-the-end"));
  else
    Line(&context->report, kPass, name, "rebootaction " + action);
}

}  // namespace preflight
