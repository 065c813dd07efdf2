// The findings of setup-preflight, each in its place of the run. They share
// what the earlier ones learnt: the runtime's version, and the installer's
// jar with its install definition.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "preflight/folder.h"
#include "preflight/input.h"
#include "preflight/izpack.h"
#include "preflight/report.h"
#include "preflight/zip.h"

namespace preflight {

struct Installer {
  std::string jar;  // its name in the folder
  std::unique_ptr<FILE, int (*)(FILE*)> file{nullptr, fclose};
  Input input;
  Zip zip;
  InstallDefinition definition;
};

struct Context {
  fs::path folder;
  Report report;
  std::string javaVersion;             // the runtime's JAVA_VERSION; empty when unknown
  std::unique_ptr<Installer> installer;  // null when no jar holds the bootstrap class
  std::string noInstaller;             // then why the install definition cannot be told
  std::vector<std::string> badJars;    // the jar files finding's lines, by jar
  bool definitionReported = false;     // a finding has said why it cannot be read
};

// The folder's own files (runtime_checks.cpp).
void CheckLauncher(Context* context);
void CheckRuntime(Context* context);
void CheckLeftovers(Context* context);  // follow-up script, stale log
void CheckPathLength(Context* context);

// The installer's jars (installer_checks.cpp).
void CheckInstallerClass(Context* context);
void CheckIzPackVersion(Context* context);
void CheckJavaVersion(Context* context);
void CheckJarFiles(Context* context);

// The install definition (definition_checks.cpp).
void CheckUninstallEntry(Context* context);
void CheckShortcuts(Context* context);
void CheckElevatedRestart(Context* context);
void CheckReboot(Context* context);

// The installer's definition is needed and was not had: a NOTE that says why.
bool DefinitionMissing(Context* context, const char* name);

}  // namespace preflight
