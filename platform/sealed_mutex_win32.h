// Win32 calls only: a mutex that nobody else may open, as the guard of a
// launcher started elevated or by another account looks to a launcher of the
// user, for setup-check.exe and the tests to hold in its place.
#pragma once

#include <windows.h>

// The mutex, made and owned by the caller, with an access list that grants
// nobody anything: another process's CreateMutexW on the name fails with
// ERROR_ACCESS_DENIED. Null when it cannot be made; GetLastError tells why.
inline HANDLE CreateSealedMutex(const wchar_t* name) {
  SECURITY_DESCRIPTOR descriptor;
  ACL nobody;  // an access list without entries: no access for anybody
  if (!InitializeAcl(&nobody, sizeof nobody, ACL_REVISION) ||
      !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, &nobody, FALSE))
    return nullptr;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  // Its maker still gets a handle with every right it asks for.
  return CreateMutexW(&attributes, TRUE, name);
}
