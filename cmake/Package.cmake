# Two packages per platform, each one folder that runs where it is unpacked:
# - the customer's (`QRX_PC_INFO-<v>-win64.zip`, `QRX_PC_INFO-<v>-linux-<cpu>.tar.gz`): the
#   program and its read-me, on Linux with the window's module and the licence of its font;
# - the desk's (`QRX_PC_INFO_DESK-<v>-…`): the decoder and the desk's read-me.
# `windows-zip` and `linux-package` build both. The zips hold the files at their top, as
# Windows users expect; a tar.gz holds one folder named like the archive.
if(QRX_WINDOWS)
  set(QRX_PACKAGE_SUFFIX win64)
  set(CPACK_GENERATOR ZIP)
else()
  set(QRX_PACKAGE_SUFFIX "linux-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_GENERATOR TGZ)
  set(CPACK_STRIP_FILES ON)
endif()
set(QRX_CUSTOMER_PACKAGE "QRX_PC_INFO-${PROJECT_VERSION}-${QRX_PACKAGE_SUFFIX}")
set(QRX_DESK_PACKAGE "QRX_PC_INFO_DESK-${PROJECT_VERSION}-${QRX_PACKAGE_SUFFIX}")
if(QRX_WINDOWS)
  set(customer .)
  set(desk .)
else()
  set(customer ${QRX_CUSTOMER_PACKAGE})
  set(desk ${QRX_DESK_PACKAGE})
endif()

install(TARGETS QRX_PC_INFO RUNTIME DESTINATION ${customer} COMPONENT customer)
install(TARGETS QRX_PC_INFO_DECODE RUNTIME DESTINATION ${desk} COMPONENT desk)
install(FILES resources/readme_desk_ja.txt DESTINATION ${desk} RENAME README_ja.txt
  COMPONENT desk)
if(QRX_WINDOWS)
  install(FILES resources/readme_ja.txt DESTINATION . RENAME README_ja.txt COMPONENT customer)
  # The decoder links libarchive, whose licence asks that its notice goes with the binary.
  install(FILES ${QRX_MINGW_DEPS}/src/libarchive/COPYING DESTINATION . RENAME
    LICENSE_libarchive.txt COMPONENT desk)
  # And libxlsxwriter (--xlsx), whose BSD licence (with its bundled minizip's) asks the same.
  install(FILES ${QRX_MINGW_DEPS}/src/libxlsxwriter/License.txt DESTINATION . RENAME
    LICENSE_libxlsxwriter.txt COMPONENT desk)
else()
  install(TARGETS qrx_qt_module LIBRARY DESTINATION ${customer} COMPONENT customer)
  install(FILES resources/readme_linux_ja.txt DESTINATION ${customer} RENAME README_ja.txt
    COMPONENT customer)
  # The font's licence asks that the cut font and the licence travel with it.
  install(FILES ${QRX_UI_FONT} DESTINATION ${customer}/font COMPONENT customer)
  install(FILES ${QRX_UI_FONT_LICENCE} DESTINATION ${customer}/font
    RENAME IPA_Font_License.txt COMPONENT customer)
  # Both programs link mbed TLS, whose Apache License 2.0 asks that its text goes with them.
  foreach(component customer desk)
    install(FILES ${QRX_MBEDTLS_LICENCE} DESTINATION ${${component}} RENAME LICENSE_mbedTLS.txt
      COMPONENT ${component})
  endforeach()
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL customer desk)
set(CPACK_PACKAGE_FILE_NAME ${QRX_CUSTOMER_PACKAGE})
set(CPACK_ARCHIVE_CUSTOMER_FILE_NAME ${QRX_CUSTOMER_PACKAGE})
set(CPACK_ARCHIVE_DESK_FILE_NAME ${QRX_DESK_PACKAGE})
include(CPack)
