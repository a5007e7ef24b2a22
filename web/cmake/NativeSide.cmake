# The web page seen from the native build: the emscripten tree built through an ExternalProject,
# the page turned into a C++ source that zemconvert carries (so that an installed zemconvert needs
# no other file), its install rule, and the web tests. Without emscripten, zemconvert is built
# without the page (its HTML export says so) and the web tests report why they are skipped; the
# viewer and the other programs never need emscripten.
include(ExternalProject)
include(GNUInstallDirs)

option(ZEMVIEW_WEB "Build the web viewer's page with emscripten, for zemconvert and the install" ON)
find_program(ZEM_EMCMAKE emcmake)
# By default the tree of the web preset, which scripts/test.sh builds first, so that the plain and
# the sanitised trees share it.
set(ZEMVIEW_WEB_BUILD "${PROJECT_SOURCE_DIR}/build-web" CACHE PATH
    "The emscripten build tree of the web viewer (the web preset's), configured and built by the native build")
set(zem_emscripten_toolchain /usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(zem_page ${ZEMVIEW_WEB_BUILD}/zemview.html)

if(ZEMVIEW_WEB AND ZEM_EMCMAKE)
  # Built every time the native tree is: emscripten's own Ninja decides what is out of date.
  ExternalProject_Add(zemview_web
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${ZEMVIEW_WEB_BUILD}
    CONFIGURE_COMMAND ${ZEM_EMCMAKE} ${CMAKE_COMMAND} -S <SOURCE_DIR> -B <BINARY_DIR> -G Ninja
                      -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=${zem_emscripten_toolchain}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR>
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${zem_page} ${ZEMVIEW_WEB_BUILD}/zem_dump.js)

  set(zem_page_source ${CMAKE_CURRENT_BINARY_DIR}/web_page_data.cpp)
  add_custom_command(OUTPUT ${zem_page_source}
    COMMAND ${CMAKE_COMMAND} -DPAGE=${zem_page} -DOUTPUT=${zem_page_source}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_page.cmake
    DEPENDS ${zem_page} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed_page.cmake
    COMMENT "The web page as a C++ source"
    VERBATIM)
  add_library(zem_web_page STATIC page_export.cpp ${zem_page_source})
  target_compile_definitions(zem_web_page PRIVATE ZEM_WEB_PAGE_BUILT=1)
  add_dependencies(zem_web_page zemview_web)

  install(FILES ${zem_page} DESTINATION ${CMAKE_INSTALL_DATADIR}/zemview)
else()
  message(STATUS "No web page (ZEMVIEW_WEB off, or emcmake not found): zemconvert writes no pages; the web tests fail, naming the packages, unless ZEMVIEW_WEB is off")
  add_library(zem_web_page STATIC page_export.cpp)
endif()
target_link_libraries(zem_web_page PUBLIC zem_model PRIVATE zem_base)
