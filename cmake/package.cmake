# The Debian package (CPack, DEB generator) of what cmake/install.cmake installs.
# scripts/package.sh runs it on the release tree: `cpack --config build/CPackConfig.cmake`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ramux)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_VENDOR "Ramux developers")
set(CPACK_PACKAGE_CONTACT "Ramux developers <packages@ramux.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reference of veterinary medicinal products")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://ramux.example.org/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to the library scan: the platform plugins, the SVG icon
# engine and Qt's Russian words for its own dialogs. Wayland support and the elevated start of
# program updates are welcome, not required.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pkexec")
# The extended description, below the summary; CPack indents its lines and turns the empty one
# into the " ." paragraph break that control files want.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ramux is a desktop reference of veterinary medicinal products for
veterinarians and animal owners, with a Russian interface. It browses
products by Russian or Latin name, pharmacological groups and
manufacturers, shows each record as a page with links between them,
finds products by part of a name and prints product pages.

The reference starts empty and is filled from the update server chosen
when the package was built; later updates bring changed records and new
program versions. The package also holds ramuxctl, a command-line
companion, and ramux-server, the reference update server with demo
content.")
include(CPack)
