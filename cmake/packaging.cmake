# What users install, made by `cmake --build <tree> --target package`:
#   Windows trees  vorlane-logo-extractor-1.02-<win32|win64>.zip: the plug-in DLL, logo-viewer.exe
#                  and the user guide in Russian and English.
#   native tree    vorlane-logo-extractor_1.02_<arch>.deb: logo-extract and the plug-in in
#                  /usr/lib/vorlane-logo-extractor/ (logo-extract loads the plug-in from its own
#                  folder), /usr/bin/logo-extract linking to it, and the manual page logo-extract(1).
set(VLE_PRODUCT_VERSION 1.02)

set(CPACK_PACKAGE_NAME vorlane-logo-extractor)
set(CPACK_PACKAGE_VERSION ${VLE_PRODUCT_VERSION})
set(CPACK_PACKAGE_VENDOR Vorlane)
set(CPACK_PACKAGE_CONTACT "Vorlane <dev@vorlane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "logo templates of a broadcaster's on-screen logo")
set(CPACK_PACKAGE_DESCRIPTION
    "A video plug-in that keeps, per pixel, the brightest and the darkest picture seen while it \
captures, and paints everything that is not the steady logo in a key colour. logo-extract runs it \
over recordings (anything FFmpeg decodes) or raw frames and saves the template as a bitmap.")
set(CPACK_STRIP_FILES ON)

if(VLE_WIN32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(VLE_PACKAGE_ARCH win64)
  else()
    set(VLE_PACKAGE_ARCH win32)
  endif()
  install(TARGETS Vorlane_LogoExtractor RUNTIME DESTINATION . LIBRARY DESTINATION .)
  if(TARGET logo-viewer)
    install(TARGETS logo-viewer RUNTIME DESTINATION .)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/README.en.txt ${PROJECT_SOURCE_DIR}/docs/README.ru.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${VLE_PRODUCT_VERSION}-${VLE_PACKAGE_ARCH})
else()
  set(VLE_INSTALL_DIR lib/${CPACK_PACKAGE_NAME})
  install(TARGETS Vorlane_LogoExtractor LIBRARY DESTINATION ${VLE_INSTALL_DIR})
  if(TARGET logo-extract)
    install(TARGETS logo-extract RUNTIME DESTINATION ${VLE_INSTALL_DIR})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
    # A relative link: the program resolves it (through /proc/self/exe) to its own folder.
    file(CREATE_LINK ../${VLE_INSTALL_DIR}/logo-extract ${CMAKE_BINARY_DIR}/packaging/logo-extract
         SYMBOLIC)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/logo-extract DESTINATION bin)
    file(ARCHIVE_CREATE OUTPUT ${CMAKE_BINARY_DIR}/packaging/logo-extract.1.gz
         PATHS ${PROJECT_SOURCE_DIR}/docs/logo-extract.1 FORMAT raw COMPRESSION GZip)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${PROJECT_SOURCE_DIR}/docs/logo-extract.1)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/logo-extract.1.gz DESTINATION share/man/man1)
  endif()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
