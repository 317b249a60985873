# The Debian package: `cpack -G DEB` in the build folder packs what
# `cmake --install` installs, below /usr.

set(CPACK_PACKAGE_NAME varnok)
set(CPACK_PACKAGE_VENDOR "Tavrin Software")
set(CPACK_PACKAGE_CONTACT "Tavrin Software <packages@varnok.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://varnok.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search and replace across many files at once")
set(CPACK_PACKAGE_DESCRIPTION
  "Varnok Quillet searches and replaces across many files at once. Name the
folders to visit, the file masks, whether sub-folders count, and a change list
of search patterns and replacements in the product's own wild-card language.
A run rewrites every file in which anything was replaced, keeps its previous
contents beside it as a backup, and reports one line per file.

The package holds the desktop program varnok and the batch runner varnok-run,
which runs the same jobs from a shell or a script.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded on demand, so not among the libraries shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VARNOK_LIBGIT2_PACKAGE}")
if(NOT VARNOK_CORE_ONLY)
  # Qt merely recommends its platform plugins; without one no window opens.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()

include(CPack)
