# The Debian package, orvane-light_VERSION-1_ARCH.deb: "cpack -G DEB" in the build folder.
# scripts/package.sh builds it with Debian's hardening flags.

# The icon is drawn by the program's own code, at the hicolor theme's usual sizes.
add_executable(orvane-icons packaging/writeicons.cpp)
target_link_libraries(orvane-icons PRIVATE orvane_widgets)
set(ORVANE_ICONS ${CMAKE_BINARY_DIR}/icons)
# Debian wants the manual page and the changelog compressed, without a time stamp inside.
add_custom_command(
  OUTPUT ${ORVANE_ICONS}/256x256/apps/orvane-light.png ${CMAKE_BINARY_DIR}/orvane-light.1.gz
         ${CMAKE_BINARY_DIR}/changelog.Debian.gz
  COMMAND orvane-icons ${ORVANE_ICONS}
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/orvane-light.1 > orvane-light.1.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog.Debian > changelog.Debian.gz
  DEPENDS orvane-icons packaging/orvane-light.1 packaging/changelog.Debian
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_target(package-files ALL DEPENDS ${ORVANE_ICONS}/256x256/apps/orvane-light.png)

install(TARGETS orvane-light RUNTIME DESTINATION bin)
# The sample interpreter is a program, so it goes where programs that are not commands go.
install(TARGETS qmx RUNTIME DESTINATION lib/orvane-light)
# The sample site as the repository has it, without what a run left in site/.
install(DIRECTORY site/docs DESTINATION share/orvane-light)
install(FILES site/server.cfg DESTINATION share/orvane-light)
install(FILES site/system/template.html DESTINATION share/orvane-light/system)
install(FILES packaging/orvane-light.desktop DESTINATION share/applications)
install(DIRECTORY ${ORVANE_ICONS}/ DESTINATION share/icons/hicolor)
install(FILES ${CMAKE_BINARY_DIR}/orvane-light.1.gz DESTINATION share/man/man1)
install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/changelog.Debian.gz
        DESTINATION share/doc/orvane-light)
install(FILES packaging/orvane-light.service DESTINATION /lib/systemd/system)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-light)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Orvane Light developers <maintainers@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small web server that publishes a folder of files")
set(CPACK_PACKAGE_DESCRIPTION "Orvane Light serves the docs folder of its program folder to web
browsers, from a window with a running log, transfers and a tray icon, or
without one as a system service. Pages get their tags filled (date, time,
a hit counter), folders without an index page get a listing, and forms
posted to .qmx scripts are answered by a script interpreter. A
password-protected administration site on a second port shows the log,
erases files and takes uploads. HTTPS with a certificate of its own.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION httpd)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.orvane.example")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs Qt's platform plugins, which no library links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
