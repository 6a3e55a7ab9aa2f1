# Linux test executables: the real mbed TLS, iconv, sysfs reader, terminal and Qt window.
qrx_add_test(linux_tests
  linux/ContractTest.cpp
  linux/SysfsWmiTest.cpp
  linux/TerminalTest.cpp
  linux/EndToEndTest.cpp
  linux/FileWriterTest.cpp
  linux/FrontEndProcessTest.cpp
  linux/EdgeProcessTest.cpp
  linux/ReportProcessTest.cpp
  linux/DecoderProcessTest.cpp
  linux/SharedFolderProcessTest.cpp
  linux/OwnershipTest.cpp
  linux/DeskProcessTest.cpp
  ${PROJECT_SOURCE_DIR}/tools/decode/inputs/ArchiveTree.cpp
  decode/ReportTest.cpp
  decode/LineTextTest.cpp
  decode/DesktopStartTest.cpp)
target_link_libraries(linux_tests PRIVATE qrx_linux qrx_decoder LibArchive::LibArchive)
target_compile_definitions(linux_tests PRIVATE
  QRX_PROGRAM="$<TARGET_FILE:QRX_PC_INFO>"
  QRX_QT_MODULE="$<TARGET_FILE:qrx_qt_module>"
  QRX_DECODER="$<TARGET_FILE:QRX_PC_INFO_DECODE>"
  QRX_PLANTED_MODULE="$<TARGET_FILE:qrx_planted_module>"
  QRX_PLANTED_QT_PLUGIN="$<TARGET_FILE:qrx_planted_qt_plugin>"
  QRX_SCREENSHOT="${CMAKE_BINARY_DIR}/report-screenshot.png")
add_dependencies(linux_tests QRX_PC_INFO QRX_PC_INFO_DECODE qrx_planted_module
  qrx_planted_qt_plugin)

# A module that someone else put beside the program, for the shared-folder tests.
add_library(qrx_planted_module MODULE linux/PlantedModule.cpp)
target_include_directories(qrx_planted_module PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(qrx_planted_module PROPERTIES PREFIX "")
add_library(qrx_planted_qt_plugin MODULE linux/PlantedQtPlugin.cpp)
set_target_properties(qrx_planted_qt_plugin PROPERTIES AUTOMOC ON)
target_link_libraries(qrx_planted_qt_plugin PRIVATE Qt6::Widgets)

# The Qt window through its module, as the program loads it.
qrx_add_test(qt_tests qt/QtWindowTest.cpp ${PROJECT_SOURCE_DIR}/platform/linux/QtPlatformChoice.cpp)
target_link_libraries(qt_tests PRIVATE qrx_linux Qt6::Widgets)
target_compile_definitions(qt_tests PRIVATE QRX_QT_MODULE="$<TARGET_FILE:qrx_qt_module>")
add_dependencies(qt_tests qrx_qt_module)

# The portable archive, unpacked and run where it lies.
add_test(NAME LinuxArchive.RunsWhereUnpackedAndItsDataFileDecodes
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/linux/archive_test.sh ${CMAKE_CPACK_COMMAND}
    ${CMAKE_BINARY_DIR})

# What leaves the desk: a leaky collection through every masked mode, the map back, the diff's
# warnings and the workbook read back (python3-cryptography writes the files, python3-openpyxl
# reads the workbook).
add_test(NAME Desk.LeakyCollectionLeavesNothingPersonal
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/decode/leaky_desk.py
    $<TARGET_FILE:QRX_PC_INFO_DECODE> ${CMAKE_BINARY_DIR}/leaky-desk)

# The desk's inbox as it arrives through --summary: one expected table for both decoders
# (tests/windows/Tests.cmake runs the Windows one under Wine against the same).
add_test(NAME Desk.InboxAsItArrives COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/decode/inbox_test.sh
  $<TARGET_FILE:QRX_PC_INFO_DECODE>)
