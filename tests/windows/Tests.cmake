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
  DESKTOP_CASES "Program*")
target_link_libraries(program_tests PRIVATE qrx_windows)
add_dependencies(program_tests QRX_PC_INFO QRX_PC_INFO_DECODE qrx_planted_dll)
# A stand-in for the WMI scripting interface ("winmgmts:"), for tests only: an in-process COM
# server that serves a JSON fixture (scripts/wine-fake-wmi.sh registers it in a Wine prefix).
# It is not installed, so it stays out of the zips.
add_library(fake_wmi SHARED windows/fake_wmi/FakeWmi.cpp windows/fake_wmi/Fixture.cpp
  windows/fake_wmi/fake_wmi.def)
set_target_properties(fake_wmi PROPERTIES PREFIX "")
target_include_directories(fake_wmi PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(fake_wmi PRIVATE nlohmann_json::nlohmann_json ole32 oleaut32 uuid
  wbemuuid advapi32 qrx_warnings)
target_link_options(fake_wmi PRIVATE -static -static-libgcc -static-libstdc++)

# The real program's whole runs against the fake, in a Wine session of their own: the suite's
# prefix with "-fake-wmi" appended, prepared with the laptop's fixture. The other cases keep
# Wine's own WMI. The cases open windows, so they hold the desktop lock.
add_executable(fake_wmi_tests windows/FakeWmiTest.cpp)
target_link_libraries(fake_wmi_tests PRIVATE qrx_test_support qrx_windows crypt32
  nlohmann_json::nlohmann_json qrx_warnings)
target_compile_definitions(fake_wmi_tests PRIVATE
  QRX_WMI_FIXTURES="Z:${CMAKE_CURRENT_SOURCE_DIR}/windows/wmi-fixtures")
add_dependencies(fake_wmi_tests fake_wmi QRX_PC_INFO QRX_PC_INFO_DECODE)
set_target_properties(fake_wmi_tests PROPERTIES
  CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-run.sh)
set(QRX_FAKE_WMI_PREFIX "WINEPREFIX=string_append:-fake-wmi")
gtest_discover_tests(fake_wmi_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES ENVIRONMENT_MODIFICATION "${QRX_FAKE_WMI_PREFIX}"
  FIXTURES_REQUIRED fake_wmi_session RESOURCE_LOCK desktop)
add_test(NAME FakeWmiSession.Start COMMAND sh -c
  "case \"$WINEPREFIX\" in /*-fake-wmi) ;; *) echo 'WINEPREFIX must be an absolute path' >&2; exit 1;; esac
   '${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-session.sh' start &&
   '${PROJECT_SOURCE_DIR}/scripts/wine-fake-wmi.sh' \"$WINEPREFIX\" '${CMAKE_CURRENT_SOURCE_DIR}/windows/wmi-fixtures/laptop-windows11-ja.json' </dev/null >/dev/null 2>&1")
add_test(NAME FakeWmiSession.Stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-session.sh stop)
set_tests_properties(FakeWmiSession.Start PROPERTIES FIXTURES_SETUP fake_wmi_session
  ENVIRONMENT "QRX_FAKE_WMI_DLL=$<TARGET_FILE:fake_wmi>"
  ENVIRONMENT_MODIFICATION "${QRX_FAKE_WMI_PREFIX}")
set_tests_properties(FakeWmiSession.Stop PROPERTIES FIXTURES_CLEANUP fake_wmi_session
  ENVIRONMENT_MODIFICATION "${QRX_FAKE_WMI_PREFIX}")
# The data files of the whole runs, decoded by the Linux decoder (of the linux preset's build)
# outside Wine, give the Windows decoder's JSON.
add_test(NAME fake_wmi_decoders_agree COMMAND
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/fake_wmi/decoders_agree.sh
  ${PROJECT_SOURCE_DIR}/build/linux/QRX_PC_INFO_DECODE ${CMAKE_BINARY_DIR}
  laptop-windows11-ja desktop-no-network emoji-adapter-name)
set_tests_properties(fake_wmi_decoders_agree PROPERTIES DEPENDS FakeWmiProgram.WholeRuns)

# A DLL that someone dropped beside the program, for the DLL-search test.
add_library(qrx_planted_dll SHARED windows/PlantedDll.cpp)
set_target_properties(qrx_planted_dll PROPERTIES PREFIX "")
target_link_options(qrx_planted_dll PRIVATE -static -s)

# The real program takes its own folder out of the DLL search first thing, as Wine's trace of
# its calls shows.
add_test(NAME Program.TakesItsFolderOutOfTheDllSearchFirst
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/dll_search_test.sh $<TARGET_FILE:QRX_PC_INFO>)
set_tests_properties(Program.TakesItsFolderOutOfTheDllSearchFirst PROPERTIES
  FIXTURES_REQUIRED wine_session RESOURCE_LOCK desktop)

# The desk's inbox as it arrives, the same expected table as the Linux decoder's.
add_test(NAME Desk.InboxAsItArrives COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/decode/inbox_test.sh
  ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine-run.sh $<TARGET_FILE:QRX_PC_INFO_DECODE>)
set_tests_properties(Desk.InboxAsItArrives PROPERTIES FIXTURES_REQUIRED wine_session)
