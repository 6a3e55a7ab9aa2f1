# Windows test executables, run under Wine: advapi32, code page 932, WMI and the Win32 window.
qrx_add_test(windows_tests windows/WindowsTest.cpp)
target_link_libraries(windows_tests PRIVATE qrx_windows qrx_decoder)
set_tests_properties(windows_tests PROPERTIES ENVIRONMENT "WINEDEBUG=-all;LANG=ja_JP.UTF-8")
