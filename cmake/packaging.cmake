# What `cmake --install` puts where, and the release archives CPack makes.
#
#   bin/sfxpack[.exe]                          the packer
#   share/sfx/stubs/TARGET/sfxstub[.exe]       the stubs it knows by --target
#   share/man/man1/sfxpack.1                   its manual page (native builds)
#   share/doc/sfx/README.md, LICENSE
#
# sfxpack finds the stubs relative to itself, so the tree works wherever it is
# unpacked. A build installs its own stub; SFX_EXTRA_STUBS adds stubs built
# elsewhere (the release script passes the two Windows builds), each as
# TARGET=FILE.
include(GNUInstallDirs)

set(SFX_EXTRA_STUBS "" CACHE STRING "Stubs built elsewhere to install too, as TARGET=FILE;...")

if(WIN32)
  set(sfx_own_target windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(sfx_own_target native)
endif()

# Without SFX_EXTRA_STUBS a native build installs the Windows stubs that the
# mingw presets built beside it, where they exist at install time, so that
# the README's build-then-install gives a sfxpack with its default target.
if(NOT WIN32 AND NOT SFX_EXTRA_STUBS)
  foreach(arch i686 x86_64)
    install(FILES ${PROJECT_SOURCE_DIR}/build/mingw-${arch}/bin/sfxstub.exe
            DESTINATION ${CMAKE_INSTALL_DATADIR}/sfx/stubs/windows-${arch} OPTIONAL
            PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
  endforeach()
endif()

install(TARGETS sfxpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS sfxstub RUNTIME DESTINATION ${CMAKE_INSTALL_DATADIR}/sfx/stubs/${sfx_own_target})
foreach(stub IN LISTS SFX_EXTRA_STUBS)
  string(REPLACE "=" ";" stub_parts "${stub}")
  list(GET stub_parts 0 stub_target)
  list(GET stub_parts 1 stub_file)
  get_filename_component(stub_name "${stub_file}" NAME)
  install(FILES ${stub_file} DESTINATION ${CMAKE_INSTALL_DATADIR}/sfx/stubs/${stub_target}
          PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                      WORLD_READ WORLD_EXECUTE)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The manual page is made from sfxpack's own --help and --version, so it
# cannot fall behind them. Only where sfxpack runs: not in a cross build.
if(NOT CMAKE_CROSSCOMPILING)
  find_program(SFX_HELP2MAN help2man REQUIRED)
  set(sfx_man_page ${CMAKE_CURRENT_BINARY_DIR}/sfxpack.1)
  set(sfx_man_commands ${CMAKE_CURRENT_BINARY_DIR}/sfxpack-commands.h2m)
  add_custom_command(
    OUTPUT ${sfx_man_page}
    COMMAND ${CMAKE_COMMAND} -DSFXPACK=$<TARGET_FILE:sfxpack> -DOUTPUT=${sfx_man_commands}
            -P ${PROJECT_SOURCE_DIR}/cmake/man_page_commands.cmake
    COMMAND ${SFX_HELP2MAN} --no-info --no-discard-stderr --include ${sfx_man_commands}
            --name "make and inspect self-extracting installer packages"
            --output ${sfx_man_page} $<TARGET_FILE:sfxpack>
    DEPENDS sfxpack ${PROJECT_SOURCE_DIR}/cmake/man_page_commands.cmake
    COMMENT "Writing the manual page of sfxpack")
  add_custom_target(sfxpack_man_page ALL DEPENDS ${sfx_man_page})
  install(FILES ${sfx_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME sfx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the sfx authors")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME sfx-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
include(CPack)
