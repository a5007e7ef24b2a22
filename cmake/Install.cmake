# Installation: the programs, manual pages, desktop integration (file type, desktop file,
# thumbnailer, icon), shell completions and the Blender add-on, laid out by GNUInstallDirs under any prefix.
include(GNUInstallDirs)

find_program(SCDOC scdoc REQUIRED)
find_program(GZIP gzip REQUIRED)

set(zem_programs zemview zemrender zemconvert)
install(TARGETS ${zem_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages from every docs/man/NAME.SECTION.scd, gzip-compressed at the highest level and
# without a time stamp, as Debian packages carry them. A section 1 page is installed with its program.
file(GLOB zem_man_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.scd)
set(zem_man_pages)
foreach(source ${zem_man_sources})
  get_filename_component(page ${source} NAME_WLE)  # zemview.1
  string(REGEX MATCH "[^.]+$" section ${page})
  string(REGEX REPLACE "\\.[^.]+$" "" topic ${page})
  set(output ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "\"$0\" < \"$1\" | \"$2\" -9n > \"$3\"" ${SCDOC} ${source} ${GZIP} ${output}
    DEPENDS ${source}
    COMMENT "Manual page ${page}"
    VERBATIM)
  list(APPEND zem_man_pages ${output})
  if(NOT section STREQUAL "1" OR topic IN_LIST zem_programs)
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
endforeach()
add_custom_target(zem_man_pages ALL DEPENDS ${zem_man_pages})

# The package's changelog, compressed as the Debian tools expect; a source install carries it too.
set(zem_changelog ${PROJECT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${zem_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
  COMMAND sh -c "\"$0\" -9n < \"$1\" > \"$2\"" ${GZIP} ${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${zem_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
  VERBATIM)
add_custom_target(zem_changelog ALL DEPENDS ${zem_changelog})
install(FILES ${zem_changelog} ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The file type and the desktop file that opens it.
install(FILES ${PROJECT_SOURCE_DIR}/data/zemview-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME zemview.xml)
install(FILES ${PROJECT_SOURCE_DIR}/data/zemview.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Completions where bash-completion and Debian's zsh look for them by command name: every program
# has both, and a missing one is a fault of the source tree, not something to skip.
foreach(program ${zem_programs})
  foreach(completion bash/${program} zsh/_${program})
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/data/completions/${completion})
      message(FATAL_ERROR "data/completions/${completion} is missing: every program has its completions")
    endif()
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/data/completions/bash/${program}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${PROJECT_SOURCE_DIR}/data/completions/zsh/_${program}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
endforeach()

# The Blender add-on's folder where Debian's Blender looks for system add-ons; it stays disabled
# until the user enables it in Blender's preferences.
install(FILES ${zem_addon_sources} DESTINATION ${CMAKE_INSTALL_DATADIR}/blender/scripts/addons/io_scene_zem)

# Thumbnails and the icon are zemrender's pictures: the icon is a sample model it renders at build
# time, at the sizes desktops look for in the hicolor theme.
install(FILES ${PROJECT_SOURCE_DIR}/data/zemview.thumbnailer DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)

set(zem_icons)
foreach(size 16 22 24 32 48 64 128 256)
  set(icon ${PROJECT_BINARY_DIR}/icons/${size}x${size}/zemview.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
    # Mesa keeps memory to the end, which a sanitised build's leak check would call a failure.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:zemrender> --thumbnail ${size} --time-limit 0 ${PROJECT_SOURCE_DIR}/models/torus.zem ${icon}
    DEPENDS zemrender ${PROJECT_SOURCE_DIR}/models/torus.zem
    COMMENT "Icon of ${size} x ${size} pixels"
    VERBATIM)
  list(APPEND zem_icons ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(zem_icons ALL DEPENDS ${zem_icons})

# A direct install (not into a DESTDIR staging tree, where packages are built) refreshes the caches
# that file managers read, so that the file type and the desktop file work at once.
install(CODE "set(zem_datadir \"${CMAKE_INSTALL_DATADIR}\")")
install(CODE [[
  if("$ENV{DESTDIR}" STREQUAL "")
    find_program(ZEM_UPDATE_MIME update-mime-database)
    find_program(ZEM_UPDATE_DESKTOP update-desktop-database)
    find_program(ZEM_UPDATE_ICONS gtk-update-icon-cache)
    if(ZEM_UPDATE_MIME)
      execute_process(COMMAND ${ZEM_UPDATE_MIME} "${CMAKE_INSTALL_PREFIX}/${zem_datadir}/mime")
    endif()
    if(ZEM_UPDATE_DESKTOP)
      execute_process(COMMAND ${ZEM_UPDATE_DESKTOP} -q "${CMAKE_INSTALL_PREFIX}/${zem_datadir}/applications")
    endif()
    if(ZEM_UPDATE_ICONS AND EXISTS "${CMAKE_INSTALL_PREFIX}/${zem_datadir}/icons/hicolor/index.theme")
      execute_process(COMMAND ${ZEM_UPDATE_ICONS} -q -t "${CMAKE_INSTALL_PREFIX}/${zem_datadir}/icons/hicolor")
    endif()
  endif()
]])
