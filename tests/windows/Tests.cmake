# Windows test executables, run under Wine: advapi32, code page 932, WMI and the Win32 window.

# The Wine session every Windows case runs in: started once before the first case, ended after
# the last one.
add_test(NAME WineSession.Start COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-session.sh start)
add_test(NAME WineSession.Stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-session.sh stop)
set_tests_properties(WineSession.Start PROPERTIES FIXTURES_SETUP wine_session)
set_tests_properties(WineSession.Stop PROPERTIES FIXTURES_CLEANUP wine_session)

qrx_add_test(windows_tests windows/WindowsTest.cpp decode/ReportTest.cpp
  DESKTOP_CASES "Win32Window.*")
target_link_libraries(windows_tests PRIVATE qrx_windows qrx_decoder)
# The real program as a process under Wine, driven through its window.
qrx_add_test(program_tests windows/ProcessTest.cpp
  DESKTOP_CASES "Program.*")
target_link_libraries(program_tests PRIVATE qrx_windows)
add_dependencies(program_tests QRX_PC_INFO qrx_planted_dll)

# A DLL that someone dropped beside the program, for the DLL-search test.
add_library(qrx_planted_dll SHARED windows/PlantedDll.cpp)
set_target_properties(qrx_planted_dll PROPERTIES PREFIX "")
target_link_options(qrx_planted_dll PRIVATE -static -s)

# The real program takes its own folder out of the DLL search first thing, as Wine's trace of
# its calls shows.
add_test(NAME Program.TakesItsFolderOutOfTheDllSearchFirst
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/dll_search_test.sh $<TARGET_FILE:QRX_PC_INFO>)
