// What the check tells of the machine and of the setup.exe it checks: the
// Windows release and the program's version.
#include <stdio.h>
#include <wchar.h>

#include "check/setup_check.h"

// A function of a DLL in the system folder, looked up by name; null when it
// is not there. Through void (*)(void), the one function type that converts
// without a warning.
template <typename Function>
static Function SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

bool ReadProductVersion(const wchar_t* program, wchar_t (&version)[64]) {
  // version.dll, where these live, is loaded from the system folder only: a
  // version.dll beside setup-check.exe, in a downloads folder, is never loaded.
  typedef DWORD(WINAPI * SizeFunction)(const wchar_t*, DWORD*);
  typedef BOOL(WINAPI * InfoFunction)(const wchar_t*, DWORD, DWORD, void*);
  typedef BOOL(WINAPI * QueryFunction)(const void*, const wchar_t*, void**, UINT*);
  auto size = SystemFunction<SizeFunction>(L"version.dll", "GetFileVersionInfoSizeW");
  auto info = SystemFunction<InfoFunction>(L"version.dll", "GetFileVersionInfoW");
  auto query = SystemFunction<QueryFunction>(L"version.dll", "VerQueryValueW");
  static unsigned char block[16384];
  DWORD ignored = 0;
  DWORD length = size != nullptr && info != nullptr && query != nullptr ? size(program, &ignored) : 0;
  if (length == 0 || length > sizeof block || !info(program, 0, length, block)) return false;
  // The text that Explorer's Details and PowerShell's ProductVersion show, in
  // the resource's first language.
  struct Translation {
    WORD language, codePage;
  } * translations;
  UINT bytes = 0;
  wchar_t* text = nullptr;
  wchar_t key[64];
  if (query(block, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
            &bytes) &&
      bytes >= sizeof(Translation)) {
    swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translations->language,
             translations->codePage);
    if (query(block, key, reinterpret_cast<void**>(&text), &bytes) && bytes > 1 &&
        wcslen(text) < 64) {
      wcscpy(version, text);
      return true;
    }
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (!query(block, L"\\", reinterpret_cast<void**>(&fixed), &bytes) || fixed == nullptr)
    return false;
  swprintf(version, 64, L"%lu.%lu.%lu.%lu", fixed->dwProductVersionMS >> 16,
           fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
           fixed->dwProductVersionLS & 0xFFFF);
  return true;
}

// The name Microsoft gives the release, from the kernel's version and build.
static const wchar_t* ReleaseName(const OSVERSIONINFOEXW& version) {
  const DWORD major = version.dwMajorVersion, minor = version.dwMinorVersion;
  const DWORD build = version.dwBuildNumber;
  if (version.wProductType == VER_NT_WORKSTATION) {
    if (major == 10) return build >= 22000 ? L"Windows 11" : L"Windows 10";
    if (major == 6 && minor == 3) return L"Windows 8.1";
    if (major == 6 && minor == 2) return L"Windows 8";
    if (major == 6 && minor == 1) return L"Windows 7";
    return L"Windows";
  }
  if (major == 10) {
    if (build >= 26100) return L"Windows Server 2025";
    if (build >= 20348) return L"Windows Server 2022";
    if (build >= 17763) return L"Windows Server 2019";
    return L"Windows Server 2016";
  }
  if (major == 6 && minor == 3) return L"Windows Server 2012 R2";
  if (major == 6 && minor == 2) return L"Windows Server 2012";
  if (major == 6 && minor == 1) return L"Windows Server 2008 R2";
  return L"Windows Server";
}

// A value of the key that names the running Windows; false when it has none.
static bool ReadCurrentVersion(const wchar_t* name, DWORD flags, void* value, DWORD size) {
  return RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name,
                      flags, nullptr, value, &size) == ERROR_SUCCESS;
}

void ReportWindows() {
  typedef LONG(WINAPI * RtlGetVersionFunction)(OSVERSIONINFOEXW*);
  typedef const char*(CDECL * WineGetVersionFunction)();
  // The kernel's own version: GetVersionEx answers as the manifest allows.
  auto getVersion = SystemFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
  auto wineVersion = SystemFunction<WineGetVersionFunction>(L"ntdll.dll", "wine_get_version");
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (getVersion != nullptr) getVersion(&version);
  // The update build revision and the release ("23H2"; before 20H2, "1909"),
  // as winver shows them, where this Windows keeps them.
  DWORD revision = 0;
  wchar_t name[32], release[40] = L"", build[32] = L"", wine[64] = L"";
  if (ReadCurrentVersion(L"UBR", RRF_RT_REG_DWORD, &revision, sizeof revision))
    swprintf(build, 32, L".%lu", revision);
  if (ReadCurrentVersion(L"DisplayVersion", RRF_RT_REG_SZ, name, sizeof name) ||
      ReadCurrentVersion(L"ReleaseId", RRF_RT_REG_SZ, name, sizeof name))
    swprintf(release, 40, L" %ls", name);
  if (wineVersion != nullptr) swprintf(wine, 64, L", on Wine %hs", wineVersion());
  Report(kFact, L"windows", L"%ls%ls, %lu.%lu build %lu%ls%ls", ReleaseName(version), release,
         version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber, build, wine);
}
