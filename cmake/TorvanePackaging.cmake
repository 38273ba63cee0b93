# The Debian package (`make package`): the app and its resources under /usr, laid out as an
# installed prefix (design: <prefix>/bin/torvane, <prefix>/share/torvane/...):
#   share/torvane/Info.json         production lane metadata
#   share/torvane/bin/node          the bundled official Node build the service runs on
#   share/torvane/bin/tvn-pop-signer
#   share/torvane/Service/          the local service the app copies into the user's data directory
# plus the desktop entry, its icon and the PAM service file.
if(NOT TVN_PRODUCTION_METADATA)
  message(FATAL_ERROR "A package carries the production Info.json: configure with -DTVN_PRODUCTION_METADATA=ON")
endif()

set(TVN_BUNDLED_NODE_DIR ${PROJECT_SOURCE_DIR}/.tools/node CACHE PATH
  "Official Node build to bundle (scripts/install-deps.sh package puts it here)")
if(NOT EXISTS ${TVN_BUNDLED_NODE_DIR}/bin/node)
  message(FATAL_ERROR "No Node build in ${TVN_BUNDLED_NODE_DIR}: run scripts/install-deps.sh package")
endif()

set(TVN_SERVICE_DESTINATION share/torvane/Service)
set(TVN_SERVICE_STAGE ${CMAKE_BINARY_DIR}/service)

install(TARGETS torvane RUNTIME DESTINATION bin)
install(FILES ${TVN_RESOURCES_DIR}/Info.json DESTINATION share/torvane)
install(PROGRAMS ${TVN_BUNDLED_NODE_DIR}/bin/node DESTINATION share/torvane/bin)
install(FILES ${TVN_BUNDLED_NODE_DIR}/LICENSE DESTINATION share/doc/torvane RENAME node-LICENSE)

# The service's own build stamp names this build, so a new package refreshes every user's copy.
configure_file(${PROJECT_SOURCE_DIR}/packaging/tvn-build.json.in ${TVN_SERVICE_STAGE}/tvn-build.json @ONLY)

# Production npm packages only, installed from the lock file.
find_program(TVN_NPM npm REQUIRED)
add_custom_command(
  OUTPUT ${TVN_SERVICE_STAGE}/node_modules/.package-lock.json
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/package.json ${PROJECT_SOURCE_DIR}/package-lock.json
          ${TVN_SERVICE_STAGE}
  COMMAND ${TVN_NPM} ci --omit=dev --ignore-scripts --no-audit --no-fund --loglevel=error
  WORKING_DIRECTORY ${TVN_SERVICE_STAGE}
  DEPENDS ${PROJECT_SOURCE_DIR}/package.json ${PROJECT_SOURCE_DIR}/package-lock.json
  COMMENT "Installing the service's production npm packages")
add_custom_target(service_node_modules ALL DEPENDS ${TVN_SERVICE_STAGE}/node_modules/.package-lock.json)

install(FILES ${PROJECT_SOURCE_DIR}/package.json ${PROJECT_SOURCE_DIR}/package-lock.json
              ${TVN_SERVICE_STAGE}/tvn-build.json
        DESTINATION ${TVN_SERVICE_DESTINATION})
install(DIRECTORY ${TVN_SERVICE_STAGE}/node_modules DESTINATION ${TVN_SERVICE_DESTINATION} USE_SOURCE_PERMISSIONS)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/scripts ${PROJECT_SOURCE_DIR}/script
        DESTINATION ${TVN_SERVICE_DESTINATION} USE_SOURCE_PERMISSIONS
        PATTERN install-deps.sh EXCLUDE)
# Everything the broker serves or runs, its help pages included; its tests stay behind.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/server DESTINATION ${TVN_SERVICE_DESTINATION} USE_SOURCE_PERMISSIONS
        REGEX "/server/(test|testkit)$" EXCLUDE)
# The user's copy of the service lives in their data directory, away from this prefix; an
# absolute link to the resources' bin directory lets its wrapper find the bundled Node and the
# signer from there (the app copies the link as a link).
install(CODE "file(CREATE_LINK \"\${CMAKE_INSTALL_PREFIX}/share/torvane/bin\"
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TVN_SERVICE_DESTINATION}/bin\" SYMBOLIC)")

install(FILES ${PROJECT_SOURCE_DIR}/packaging/com.torvane.mac.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/server/dashboard/icon.svg DESTINATION share/icons/hicolor/scalable/apps
        RENAME com.torvane.mac.svg)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/pam/torvane DESTINATION /etc/pam.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Scoped, revocable keys for AI agents; your real credentials stay on this computer")
set(CPACK_PACKAGE_DESCRIPTION
  "Torvane keeps provider API keys in an encrypted local vault and gives each AI agent its own revocable, scoped key, exchanged by a local broker for the real credential on every call. Risky writes wait for approval, a kill switch stops every agent, and every decision lands in a tamper-evident audit chain.")
set(CPACK_PACKAGE_CONTACT "Torvane developers")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TVN_BUNDLE_VERSION})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries the programs link come from dpkg-shlibdeps at cpack time; these are loaded at run
# time instead: Qt's window-system plugins, and the TPM transmission interface for /dev/tpmrm0.
set(TVN_PACKAGE_PROGRAMS $<TARGET_FILE:torvane> $<TARGET_FILE:tvn-pop-signer> ${TVN_BUNDLED_NODE_DIR}/bin/node)
set(TVN_RUNTIME_DEPENDS "qt6-qpa-plugins, libtss2-tcti-device0, libpam-runtime")
configure_file(${PROJECT_SOURCE_DIR}/cmake/TorvaneDebianDepends.cmake.in ${CMAKE_BINARY_DIR}/TorvaneDebianDepends.cmake.in @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/TorvaneDebianDepends.cmake INPUT ${CMAKE_BINARY_DIR}/TorvaneDebianDepends.cmake.in)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/TorvaneDebianDepends.cmake)
# Opening the dashboard and help pages in the browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
