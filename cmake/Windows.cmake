# The Windows backends: Win32, the WMI scripting interface, CryptoAPI and code page 932.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_library(qrx_windows STATIC
  platform/windows/WinText.cpp
  platform/windows/WinSystem.cpp
  platform/windows/WinCrypto.cpp
  platform/windows/WinCodec.cpp
  platform/windows/WinWmi.cpp
  platform/windows/Win32Window.cpp)
target_link_libraries(qrx_windows PUBLIC qrx_core advapi32 ole32 oleaut32 wbemuuid uuid user32
  gdi32)

enable_language(RC)
set(QRX_RC_FLAGS
  "-DQRX_VERSION_COMMAS=${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0"
  "-DQRX_VERSION_TEXT=\\\"${PROJECT_VERSION}\\\"")
set_source_files_properties(resources/QRX_PC_INFO.rc PROPERTIES
  COMPILE_OPTIONS "${QRX_RC_FLAGS}"
  OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/resources/QRX_PC_INFO.ico;${CMAKE_CURRENT_SOURCE_DIR}/resources/QRX_PC_INFO.manifest")

add_executable(QRX_PC_INFO WIN32 platform/windows/main.cpp resources/QRX_PC_INFO.rc)
target_link_libraries(QRX_PC_INFO PRIVATE qrx_windows)
# Subsystem 6.1 (Windows 7): an older version puts the window into a frame-compatibility mode
# on Windows 10 and 11. The shipped programs carry no debugging sections.
target_link_options(QRX_PC_INFO PRIVATE -municode -Wl,--subsystem,windows:6.1 -Wl,--tsaware -s)

# The support decoder, a console program.
# The header-only JSON library of the build machine, reached through a folder of its own so
# that no other host header is seen by the cross compiler.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/host-include)
file(CREATE_LINK /usr/include/nlohmann ${CMAKE_BINARY_DIR}/host-include/nlohmann SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/host-include)
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
add_executable(QRX_PC_INFO_DECODE tools/decode/main_windows.cpp)
target_link_libraries(QRX_PC_INFO_DECODE PRIVATE qrx_decoder qrx_windows)
target_link_options(QRX_PC_INFO_DECODE PRIVATE -municode -Wl,--subsystem,console:6.1
  -Wl,--tsaware -s)

# The zip for the users: the program, the support decoder and a short read-me.
install(TARGETS QRX_PC_INFO QRX_PC_INFO_DECODE RUNTIME DESTINATION .)
install(FILES resources/readme_ja.txt DESTINATION . RENAME README_ja.txt)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "QRX_PC_INFO-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
