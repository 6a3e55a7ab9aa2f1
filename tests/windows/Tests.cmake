# Windows test executables, run under Wine: advapi32, code page 932, WMI and the Win32 window.
qrx_add_test(windows_tests windows/WindowsTest.cpp decode/ReportTest.cpp)
target_link_libraries(windows_tests PRIVATE qrx_windows qrx_decoder)
# The real program as a process under Wine, driven through its window.
qrx_add_test(program_tests windows/ProcessTest.cpp)
target_link_libraries(program_tests PRIVATE qrx_windows)
add_dependencies(program_tests QRX_PC_INFO)
