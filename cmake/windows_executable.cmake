# setup.exe: a 64-bit GUI program that imports only system DLLs.
enable_language(RC)

add_executable(setup WIN32
  launcher/main.cpp
  platform/platform_win32.cpp
  resources/setup.rc)
target_link_libraries(setup PRIVATE launcher_logic)
set_target_properties(setup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

if(MSVC)
  # Not exercised on the Debian build machine; kept for a Windows developer.
  # The resource script embeds the manifest, so the linker must not add one.
  set_property(TARGET setup PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
  target_link_options(setup PRIVATE /MANIFEST:NO /SUBSYSTEM:WINDOWS,6.00 /ENTRY:mainCRTStartup)
else()
  foreach(target launcher_logic setup)
    target_compile_options(${target} PRIVATE
      -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections)
  endforeach()
  # Static GCC and C++ runtimes: the only DLLs left to import are the
  # system's, so nothing planted beside setup.exe can be loaded in their place.
  target_link_options(setup PRIVATE
    -static -static-libgcc -static-libstdc++
    -Wl,--subsystem,windows:6.0
    -Wl,--gc-sections -s)
endif()
