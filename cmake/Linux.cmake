# The Linux backends: the terminal or a Qt 6 window, mbed TLS, iconv, sysfs and procfs.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

# The version of the interface between the program and the window's module: a digest of the
# headers they share, so that a module of another build beside the program is refused rather
# than called wrongly. It is taken again whenever one of them changes.
set(QRX_QT_INTERFACE_HEADERS platform/Windowing.h platform/linux/QtFrontEnd.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QRX_QT_INTERFACE_HEADERS})
set(QRX_QT_INTERFACE_TEXT "")
foreach(header ${QRX_QT_INTERFACE_HEADERS})
  file(READ ${CMAKE_CURRENT_SOURCE_DIR}/${header} text)
  string(APPEND QRX_QT_INTERFACE_TEXT "${text}")
endforeach()
string(SHA256 QRX_QT_INTERFACE "${QRX_QT_INTERFACE_TEXT}")
string(SUBSTRING ${QRX_QT_INTERFACE} 0 8 QRX_QT_INTERFACE)
set_source_files_properties(platform/linux/QtFrontEndLoader.cpp platform/linux/QtModule.cpp
  PROPERTIES COMPILE_DEFINITIONS QRX_QT_INTERFACE=0x${QRX_QT_INTERFACE}u)

qrx_layer(qrx_linux FOLDERS platform/linux DEPENDS qrx_platform SOURCES
  platform/linux/LinuxSystem.cpp platform/linux/PosixFileSystem.cpp
  platform/linux/Ownership.cpp
  platform/linux/IconvCodec.cpp
  platform/linux/MbedTlsCrypto.cpp
  platform/linux/MbedTlsKeyedHash.cpp
  platform/linux/SysfsWmi.cpp
  platform/linux/facts/Dmi.cpp
  platform/linux/facts/Files.cpp
  platform/linux/facts/IdDatabases.cpp
  platform/linux/facts/Network.cpp
  platform/linux/facts/OperatingSystem.cpp
  platform/linux/facts/Processor.cpp
  platform/linux/TerminalWindowing.cpp
  platform/linux/TerminalStreams.cpp
  platform/linux/CloseSignals.cpp
  platform/linux/DisplayCheck.cpp
  platform/linux/QtFrontEndLoader.cpp)
target_link_libraries(qrx_linux PUBLIC ${CMAKE_DL_LIBS})
# AES and HMAC-SHA256 from mbed TLS's static library (Debian's libmbedtls-dev, Apache-2.0), for
# the program, the decoder, the tests and the benchmark alike: about 30 KB of code in the program,
# no library to load at start and no configuration to read.
find_library(QRX_MBEDCRYPTO_STATIC libmbedcrypto.a REQUIRED)
find_file(QRX_MBEDTLS_LICENCE Apache-2.0 PATHS /usr/share/common-licenses NO_DEFAULT_PATH REQUIRED)
target_link_libraries(qrx_linux PUBLIC ${QRX_MBEDCRYPTO_STATIC})
set(QRX_PLATFORM_LIB qrx_linux)

# The window's Japanese font: the characters the program shows, cut at build time with Debian's
# fonttools from Debian's IPAGothic and compiled into the Qt module. It serves where the system
# has no Japanese font (ssh -X from a server, a desktop in another language, a container).
find_program(QRX_PYFTSUBSET pyftsubset REQUIRED)
file(STRINGS ${QRX_PYFTSUBSET} QRX_FONTTOOLS_PYTHON LIMIT_COUNT 1)  # the Python fonttools runs in
string(REGEX REPLACE "^#! *" "" QRX_FONTTOOLS_PYTHON "${QRX_FONTTOOLS_PYTHON}")
find_file(QRX_UI_FONT_SOURCE ipag.ttf PATHS /usr/share/fonts/opentype/ipafont-gothic
  NO_DEFAULT_PATH REQUIRED)
find_file(QRX_UI_FONT_LICENCE copyright PATHS /usr/share/doc/fonts-ipafont-gothic NO_DEFAULT_PATH
  REQUIRED)
file(GLOB QRX_UI_TEXT_SOURCES CONFIGURE_DEPENDS
  app/*.cpp app/*.h cipher/*.cpp collect/*.cpp output/*.cpp platform/*.cpp platform/*.h
  platform/linux/*.cpp platform/linux/*.h platform/linux/facts/*.cpp programs/pc_info_linux.cpp)
set(QRX_UI_FONT ${CMAKE_BINARY_DIR}/QRX_UI_Gothic.ttf)
add_custom_command(OUTPUT ${QRX_UI_FONT} ${CMAKE_BINARY_DIR}/QrxUiFont.cpp
  COMMAND ${QRX_FONTTOOLS_PYTHON} ${CMAKE_SOURCE_DIR}/resources/make_font.py ${QRX_UI_FONT_SOURCE}
    ${QRX_UI_FONT} ${CMAKE_BINARY_DIR}/QrxUiFont.cpp ${QRX_UI_TEXT_SOURCES}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_font.py ${QRX_UI_TEXT_SOURCES}
  COMMENT "Cutting the window's Japanese font" VERBATIM)

# The Qt window, a module beside the program that it loads only when a window can be shown:
# the program itself links no Qt. Only the module's entry function is exported.
add_library(qrx_qt_module MODULE
  platform/linux/QtModule.cpp
  platform/linux/QtWindowing.cpp
  platform/linux/QtPlatformChoice.cpp
  platform/linux/CloseSignals.cpp
  resources/qrx_resources.qrc
  ${CMAKE_BINARY_DIR}/QrxUiFont.cpp)
set_target_properties(qrx_qt_module PROPERTIES
  OUTPUT_NAME QRX_PC_INFO_qt PREFIX "" AUTORCC ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
qrx_include_root(qrx_qt_module platform)
target_link_libraries(qrx_qt_module PRIVATE Qt6::Widgets qrx_warnings)
target_link_options(qrx_qt_module PRIVATE -Wl,--no-undefined -Wl,--as-needed)

add_executable(QRX_PC_INFO programs/pc_info_linux.cpp)
target_link_libraries(QRX_PC_INFO PRIVATE qrx_linux qrx_core qrx_warnings)
add_dependencies(QRX_PC_INFO qrx_qt_module)

# The JSON library of the support decoder, a Debian package.
find_package(nlohmann_json REQUIRED)
# The decoder reads zip, 7z, lzh and tar.gz archives with libarchive (Debian's libarchive-dev).
find_package(LibArchive REQUIRED)
# The decoder's --xlsx: Debian's libxlsxwriter (libxlsxwriter-dev).
find_package(PkgConfig REQUIRED)
pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)

# The fuzz targets, built with clang's libFuzzer when QRX_FUZZ is on: the line decoder and the
# codecs, and the whole decoder from its command line to its output (with archives).
option(QRX_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(QRX_FUZZ)
  add_executable(fuzz_decoder tools/decode/fuzz/FuzzDecoder.cpp)
  target_link_libraries(fuzz_decoder PRIVATE qrx_decoder qrx_linux qrx_warnings)
  add_executable(fuzz_pipeline tools/decode/fuzz/FuzzPipeline.cpp
    tools/decode/inputs/ArchiveTree.cpp)
  target_link_libraries(fuzz_pipeline PRIVATE qrx_decoder qrx_linux LibArchive::LibArchive
    qrx_warnings)
  foreach(target fuzz_decoder fuzz_pipeline)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  endforeach()
endif()
