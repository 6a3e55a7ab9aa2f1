# The Windows backends: Win32, the WMI scripting interface, CryptoAPI and code page 932.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

qrx_layer(qrx_windows FOLDERS platform/windows DEPENDS qrx_platform SOURCES
  platform/windows/WinText.cpp
  platform/windows/WinFailure.cpp
  platform/windows/WinSystem.cpp
  platform/windows/WinCrypto.cpp
  platform/windows/WinKeyedHash.cpp
  platform/windows/WinCodec.cpp
  platform/windows/WinWmi.cpp
  platform/windows/Win32Window.cpp
  platform/windows/WinDesktopShell.cpp)
target_link_libraries(qrx_windows PUBLIC advapi32 bcrypt ole32 oleaut32 wbemuuid uuid user32
  gdi32 shell32)

enable_language(RC)
set(QRX_RC_FLAGS
  "-DQRX_VERSION_COMMAS=${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0"
  "-DQRX_VERSION_TEXT=\\\"${PROJECT_VERSION}\\\"")
set_source_files_properties(resources/QRX_PC_INFO.rc PROPERTIES
  COMPILE_OPTIONS "${QRX_RC_FLAGS}"
  OBJECT_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/resources/QRX_PC_INFO.ico;${CMAKE_CURRENT_SOURCE_DIR}/resources/QRX_PC_INFO.manifest")

add_executable(QRX_PC_INFO WIN32 programs/pc_info_windows.cpp resources/QRX_PC_INFO.rc)
target_link_libraries(QRX_PC_INFO PRIVATE qrx_windows qrx_core qrx_warnings)
# Subsystem 6.1 (Windows 7): an older version puts the window into a frame-compatibility mode
# on Windows 10 and 11. The shipped programs carry no debugging sections.
target_link_options(QRX_PC_INFO PRIVATE -municode -Wl,--subsystem,windows:6.1 -Wl,--tsaware -s)
# The DLLs the program imports are all system DLLs that Windows takes from its own folder; those
# the system loads later are kept to the system folder by programs/pc_info_windows.cpp. Marking
# the imports' dependencies as system32-only in the image (the load configuration's
# DependentLoadFlags) needs a linker option that GNU ld does not have (Debian 12's binutils 2.40
# has neither --dependent-load-flag nor a load configuration from _load_config_used).

set(QRX_PLATFORM_LIB qrx_windows)

# The JSON library of the support decoder. The header-only Debian package has no build for the
# cross compiler, and the build machine's include folder must stay out of its sight: the
# package's headers are installed into the build tree and used from there.
find_path(QRX_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(COPY ${QRX_NLOHMANN_JSON_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/nlohmann_json/include)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE
  ${CMAKE_BINARY_DIR}/nlohmann_json/include)

# The support decoder is a console program of the same vintage.
set(QRX_DECODE_LINK_OPTIONS -municode -Wl,--subsystem,console:6.1 -Wl,--tsaware -s)

# Archives through libarchive, made with zlib and liblzma (for 7z) from Debian's source packages;
# zips with AES passwords through Windows' own cryptography (CNG, bcrypt.dll). Its build looks
# for "Bcrypt.h", which the cross compiler spells in small letters.
include(cmake/MingwDeps.cmake)
file(WRITE ${QRX_MINGW_DEPS}/casefold/Bcrypt.h "#include <bcrypt.h>\n")
qrx_mingw_dep(zlib SOURCE zlib TARGETS zlibstatic
  COPY <SOURCE_DIR>/zlib.h include <BINARY_DIR>/zconf.h include <BINARY_DIR>/libzlibstatic.a lib)
qrx_mingw_dep(liblzma SOURCE xz-utils TARGETS liblzma
  COPY <SOURCE_DIR>/src/liblzma/api/lzma.h include <SOURCE_DIR>/src/liblzma/api/lzma include
    <BINARY_DIR>/liblzma.a lib)
qrx_mingw_dep(libarchive SOURCE libarchive TARGETS archive_static
  CMAKE_ARGS -DWINDOWS_VERSION=WIN7 -DENABLE_CNG=ON -DENABLE_ZLIB=ON -DENABLE_LZMA=ON
    -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_LIBB2=OFF
    -DENABLE_LZ4=OFF -DENABLE_ZSTD=OFF -DENABLE_BZip2=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF
    -DENABLE_PCREPOSIX=OFF -DENABLE_ICONV=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF
    -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_TEST=OFF -DENABLE_WERROR=OFF
    -DCMAKE_C_FLAGS=-I${QRX_MINGW_DEPS}/casefold
  COPY <SOURCE_DIR>/libarchive/archive.h include <SOURCE_DIR>/libarchive/archive_entry.h include
    <BINARY_DIR>/libarchive/libarchive_static.a lib)
# The decoder's --xlsx: libxlsxwriter from Debian's source package, with its own minizip and the
# zlib above.
qrx_mingw_dep(libxlsxwriter SOURCE libxlsxwriter TARGETS xlsxwriter
  CMAKE_ARGS -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF -DUSE_SYSTEM_MINIZIP=OFF
    -DZLIB_INCLUDE_DIR=${QRX_MINGW_PREFIX}/include
    -DZLIB_LIBRARY=${QRX_MINGW_PREFIX}/lib/libzlibstatic.a
  COPY <SOURCE_DIR>/include/xlsxwriter.h include <SOURCE_DIR>/include/xlsxwriter include
    <BINARY_DIR>/libxlsxwriter.a lib)
add_library(PkgConfig::XLSXWRITER STATIC IMPORTED)
set_target_properties(PkgConfig::XLSXWRITER PROPERTIES
  IMPORTED_LOCATION ${QRX_MINGW_PREFIX}/lib/libxlsxwriter.a
  INTERFACE_INCLUDE_DIRECTORIES ${QRX_MINGW_PREFIX}/include
  INTERFACE_LINK_LIBRARIES ${QRX_MINGW_PREFIX}/lib/libzlibstatic.a)
add_library(LibArchive::LibArchive STATIC IMPORTED)
set_target_properties(LibArchive::LibArchive PROPERTIES
  IMPORTED_LOCATION ${QRX_MINGW_PREFIX}/lib/libarchive_static.a
  INTERFACE_INCLUDE_DIRECTORIES ${QRX_MINGW_PREFIX}/include
  INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC
  INTERFACE_LINK_LIBRARIES
    "${QRX_MINGW_PREFIX}/lib/liblzma.a;${QRX_MINGW_PREFIX}/lib/libzlibstatic.a;bcrypt")
