# What the users get: the program, the support decoder and a short read-me in one archive; a zip
# for Windows (`windows-zip`), a tar.gz for Linux (`linux-package`) with the Qt module beside the
# program and the licence of the embedded font. Everything sits in one folder and runs from there.
install(TARGETS QRX_PC_INFO QRX_PC_INFO_DECODE RUNTIME DESTINATION .)
if(QRX_WINDOWS)
  install(FILES resources/readme_ja.txt DESTINATION . RENAME README_ja.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "QRX_PC_INFO-${PROJECT_VERSION}-win64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS qrx_qt_module LIBRARY DESTINATION .)
  install(FILES resources/readme_linux_ja.txt DESTINATION . RENAME README_ja.txt)
  # The font's licence asks that the cut font and the licence travel with it.
  install(FILES ${QRX_UI_FONT} DESTINATION font)
  install(FILES ${QRX_UI_FONT_LICENCE} DESTINATION font RENAME IPA_Font_License.txt)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "QRX_PC_INFO-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
endif()
include(CPack)
