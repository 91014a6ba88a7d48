# Install rules and the Debian package (cpack -G DEB).
#
#   bin/velmora, bin/velmora-term
#   share/velmora/          gui.glade, smilies/, icon.png, license.txt (the programs look
#                           here, ../share/velmora from themselves, when nothing is beside them)
#   share/man/man1/         velmora.1.gz, velmora-term.1.gz
#   share/applications/     velmora.desktop
#   share/icons/hicolor/96x96/apps/velmora.png
#   share/doc/velmora/      copyright, changelog.gz (what Debian asks of every package)
#   share/lintian/overrides/velmora   why lintian's notes on license.txt do not apply

include(GNUInstallDirs)

set(VELMORA_MAINTAINER "The Velmora developers <developers@velmora.example>")
set(VELMORA_HOME_PAGE "https://velmora.example/")
set(velmora_data_dir ${CMAKE_INSTALL_DATADIR}/velmora)
set(velmora_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/velmora)
set(package_dir ${CMAKE_BINARY_DIR}/package)

foreach(program velmora velmora-term)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES data/gui.glade data/icon.png DESTINATION ${velmora_data_dir})
install(FILES LICENSE DESTINATION ${velmora_data_dir} RENAME license.txt)
install(DIRECTORY data/smilies/ DESTINATION ${velmora_data_dir}/smilies FILES_MATCHING PATTERN "*.png")
install(FILES data/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/icon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/96x96/apps
        RENAME velmora.png)

# Debian wants man pages and the changelog compressed, reproducibly (-n: no name, no time).
find_program(GZIP gzip REQUIRED)
set(gzipped)
function(velmora_gzip file)  # file.gz beside file
  add_custom_command(OUTPUT ${file}.gz
    COMMAND ${GZIP} -9nkf ${file}
    DEPENDS ${file}
    COMMENT "Compressing ${file}")
  set(gzipped ${gzipped} ${file}.gz PARENT_SCOPE)
endfunction()

# The man pages carry the project's version and the settings as app/settings_table.cpp
# describes them.
add_executable(write_man_page app/write_man_page.cpp)
target_link_libraries(write_man_page PRIVATE velmora_app)
foreach(page velmora velmora-term)
  add_custom_command(OUTPUT ${package_dir}/${page}.1
    COMMAND write_man_page ${PROJECT_SOURCE_DIR}/data/man/${page}.1 ${package_dir}/${page}.1
            ${PROJECT_VERSION}
    DEPENDS write_man_page ${PROJECT_SOURCE_DIR}/data/man/${page}.1
    COMMENT "Writing the man page ${page}.1")
  velmora_gzip(${package_dir}/${page}.1)
  install(FILES ${package_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The licence in Debian's machine-readable copyright format: every line indented by a
# space, empty lines written as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE VELMORA_LICENSE_TEXT)
string(STRIP "${VELMORA_LICENSE_TEXT}" VELMORA_LICENSE_TEXT)
string(REPLACE "\n" "\n " VELMORA_LICENSE_TEXT " ${VELMORA_LICENSE_TEXT}")
string(REGEX REPLACE "\n [ \t]*\n" "\n .\n" VELMORA_LICENSE_TEXT "${VELMORA_LICENSE_TEXT}")
string(REGEX REPLACE "\n [ \t]*\n" "\n .\n" VELMORA_LICENSE_TEXT "${VELMORA_LICENSE_TEXT}")
configure_file(cmake/package/copyright.in ${package_dir}/copyright @ONLY)
configure_file(cmake/package/changelog.in ${package_dir}/changelog @ONLY)
velmora_gzip(${package_dir}/changelog)
install(FILES ${package_dir}/copyright ${package_dir}/changelog.gz DESTINATION ${velmora_doc_dir})
install(FILES cmake/package/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME velmora)
add_custom_target(velmora_package_files ALL DEPENDS ${gzipped})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT ${VELMORA_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IRC client that keeps one channel private among its users")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped as dh_strip does (cmake/package/strip.cmake.in), not with CPack's plain strip.
configure_file(cmake/package/strip.cmake.in ${package_dir}/strip.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${package_dir}/strip.cmake)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMORA_HOME_PAGE})
# The dependencies are those of the binaries, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# CPack puts the summary on the first line; this is the long description under it.
set(CPACK_PACKAGE_DESCRIPTION "Velmora joins one IRC channel and seals every chat line with Blowfish under a
channel key that only the Velmora users in the channel share. A newcomer gets
the key from a holder through a Diffie-Hellman exchange after proving it knows
the channel's passphrase; ordinary IRC users see only hexadecimal.
.
The package holds the GTK+ 2 window (velmora) and the same client on a
terminal (velmora-term).")
include(CPack)
