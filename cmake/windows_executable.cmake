# setup.exe: a 64-bit GUI program that imports only system DLLs, built the
# same, byte for byte, from the same sources.
enable_language(RC)
# Resource scripts are read as UTF-8, so that names given at configure time
# may carry any character.
if(MSVC)
  string(APPEND CMAKE_RC_FLAGS " /c65001")
else()
  string(APPEND CMAKE_RC_FLAGS " -c 65001")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/brand.cmake)

# The C runtime that a mingw-w64 toolchain links against: msvcrt.dll, which
# every Windows carries (Debian's cross toolchain), or the Universal C Runtime
# of MSYS2's UCRT64, imported through the api-ms-win-crt-* API sets. The PE
# checks read it from the cache, to allow those imports for such a build
# alone. MSVC links its own runtime statically.
if(MSVC)
  set(SETUP_C_RUNTIME static CACHE INTERNAL "The C runtime the programs use")
else()
  include(CheckCXXSourceCompiles)
  check_cxx_source_compiles("#include <stdio.h>
#ifndef _UCRT
#error msvcrt
#endif
int main() { return 0; }" SETUP_LINKS_UCRT)
  if(SETUP_LINKS_UCRT)
    set(SETUP_C_RUNTIME ucrt CACHE INTERNAL "The C runtime the programs use")
  else()
    set(SETUP_C_RUNTIME msvcrt CACHE INTERNAL "The C runtime the programs use")
  endif()
endif()
message(STATUS "setup ${PROJECT_VERSION}: C runtime ${SETUP_C_RUNTIME}")

set(SETUP_PRODUCT_NAME "Quellbrook Setup" CACHE STRING "ProductName of the version resource")
set(SETUP_COPYRIGHT_HOLDER "the Quellbrook Setup authors" CACHE STRING
    "Named after the year in LegalCopyright")

# The copyright year is the only date in the executable. It comes from
# SOURCE_DATE_EPOCH when that is set (string(TIMESTAMP) honours it), and
# otherwise from the last commit, so that a rebuild never depends on the clock.
# The clone may belong to another user, as a CI container's workspace does:
# git's ownership check is let pass for this one clone only.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -c safe.directory=${PROJECT_SOURCE_DIR} log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_failed ERROR_VARIABLE git_said ERROR_STRIP_TRAILING_WHITESPACE)
  if(git_failed OR NOT commit_time MATCHES "^[0-9]+$")
    message(WARNING "No commit date (git: ${git_failed} ${git_said}): the copyright year "
                    "comes from 2025-12-01, the date of a source tree without history. "
                    "Set SOURCE_DATE_EPOCH to the commit's date instead.")
    set(commit_time 1764547200)  # 2025-12-01
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
endif()
string(TIMESTAMP SETUP_YEAR "%Y" UTC)
configure_file(resources/version.h.in ${PROJECT_BINARY_DIR}/generated/version.h @ONLY)

# A launcher executable: target, built from the launcher's sources and
# resources, with the manifest that the resource script manifest_rc embeds.
# LOGIC names another library of the launcher's logic than launcher_logic.
function(add_launcher_executable target manifest_rc manifest)
  cmake_parse_arguments(PARSE_ARGV 3 launcher "" "LOGIC" "")
  if(NOT launcher_LOGIC)
    set(launcher_LOGIC launcher_logic)
  endif()
  add_executable(${target} WIN32
    ${PROJECT_SOURCE_DIR}/launcher/main.cpp
    ${PROJECT_SOURCE_DIR}/platform/platform_win32.cpp
    ${PROJECT_SOURCE_DIR}/platform/process_win32.cpp
    ${PROJECT_SOURCE_DIR}/resources/setup.rc
    ${manifest_rc})
  target_link_libraries(${target} PRIVATE ${launcher_LOGIC})
  # The resource scripts find their icon and manifest by these folders too.
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR}/generated
    ${PROJECT_SOURCE_DIR}/resources)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/setup.rc
    TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${PROJECT_BINARY_DIR}/generated/setup-icon.ico)
  set_source_files_properties(${manifest_rc}
    TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${manifest})

  if(MSVC)
    # Not exercised on the Debian build machine; kept for a Windows developer.
    # The resource script embeds the manifest, so the linker must not add one.
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
    target_link_options(${target} PRIVATE /MANIFEST:NO /SUBSYSTEM:WINDOWS,6.00
      /ENTRY:mainCRTStartup /DYNAMICBASE /HIGHENTROPYVA /NXCOMPAT /Brepro)
  else()
    target_compile_options(${target} PRIVATE
      -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
    # Static GCC and C++ runtimes: the only DLLs left to import are the
    # system's, so nothing planted beside setup.exe can be loaded in their
    # place. No link timestamp, so that two builds give the same bytes. The
    # link map beside the program tells what the static link put into it.
    target_link_options(${target} PRIVATE
      -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${target}.map
      -static -static-libgcc -static-libstdc++
      -Wl,--subsystem,windows:6.0
      -Wl,--dynamicbase,--high-entropy-va,--nxcompat
      -Wl,--no-insert-timestamp
      -Wl,--gc-sections -s)
  endif()
endfunction()

if(NOT MSVC)
  target_compile_options(launcher_logic PRIVATE
    -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
endif()

add_launcher_executable(setup ${PROJECT_SOURCE_DIR}/resources/manifest.rc
  ${PROJECT_SOURCE_DIR}/resources/setup.manifest)
set_target_properties(setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
