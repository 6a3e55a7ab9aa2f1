# Linux test executables: the real OpenSSL, iconv, sysfs reader, terminal and Qt window.
qrx_add_test(linux_tests
  linux/ContractTest.cpp
  linux/SysfsWmiTest.cpp
  linux/TerminalTest.cpp
  linux/EndToEndTest.cpp
  linux/FileWriterTest.cpp)
target_link_libraries(linux_tests PRIVATE qrx_linux qrx_decoder)
target_compile_definitions(linux_tests PRIVATE
  QRX_PROGRAM="$<TARGET_FILE:QRX_PC_INFO>")
add_dependencies(linux_tests QRX_PC_INFO)

qrx_add_test(qt_tests qt/QtWindowTest.cpp)
target_link_libraries(qt_tests PRIVATE qrx_qt)
