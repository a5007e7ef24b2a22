# The Debian package, made by CPack from the install rules: cpack -G DEB in the build folder.
set(ZEMVIEW_MAINTAINER "zemview maintainers <zemview@example.org>" CACHE STRING
  "Maintainer field of the Debian package: a name and an e-mail address")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zemview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ZEMVIEW_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for ZEM polygon models")
# Read here rather than named as a file, which CPack would pass through XML escaping.
file(READ ${PROJECT_SOURCE_DIR}/cmake/debian/description CPACK_PACKAGE_DESCRIPTION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/description)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Staged through DESTDIR, so that the install rules can tell a package build from a direct install.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZEMVIEW_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# EGL loads Mesa's renderers at run time, so no linked library names their package.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1-mesa-dri")
# Without the shared MIME database the file type, the double-click and the thumbnails do nothing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info")
# The add-on for Blender's File > Import and Export menus.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "blender")

include(CPack)
