# What `cmake --install` puts under the prefix: the three programs, the initial database, the demo
# sources, the desktop entry, icons, AppStream metadata, manual pages and the package documents.
include(GNUInstallDirs)

set(RAMUX_UPDATE_URL "http://127.0.0.1:8642/api.php" CACHE STRING
    "Update-server address stored in the initial database that an installation ships")

set(RAMUX_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(RAMUX_STAGE_DIR ${CMAKE_BINARY_DIR}/packaging)

# The changelog's newest entry must be the version the program reports.
file(STRINGS ${RAMUX_PACKAGING_DIR}/changelog RAMUX_CHANGELOG_HEAD LIMIT_COUNT 1)
if(NOT RAMUX_CHANGELOG_HEAD MATCHES "^ramux \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${RAMUX_CHANGELOG_HEAD}', "
                      "but the project version is ${PROJECT_VERSION}: add an entry for it")
endif()
# Its date is the release date of the metadata.
file(STRINGS ${RAMUX_PACKAGING_DIR}/changelog RAMUX_CHANGELOG_TRAILER REGEX "^ -- " LIMIT_COUNT 1)
if(NOT RAMUX_CHANGELOG_TRAILER MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: no date in '${RAMUX_CHANGELOG_TRAILER}'")
endif()
set(RAMUX_RELEASE_DAY ${CMAKE_MATCH_1})
set(RAMUX_RELEASE_YEAR ${CMAKE_MATCH_3})
set(RAMUX_MONTHS Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND RAMUX_MONTHS ${CMAKE_MATCH_2} RAMUX_RELEASE_MONTH)
math(EXPR RAMUX_RELEASE_MONTH "${RAMUX_RELEASE_MONTH} + 1" OUTPUT_FORMAT DECIMAL)
if(RAMUX_RELEASE_MONTH LESS 10)
  set(RAMUX_RELEASE_MONTH 0${RAMUX_RELEASE_MONTH})
endif()
set(RAMUX_RELEASE_DATE ${RAMUX_RELEASE_YEAR}-${RAMUX_RELEASE_MONTH}-${RAMUX_RELEASE_DAY})

# Rewritten only when the address changes, so the database is remade exactly then.
file(CONFIGURE OUTPUT ${RAMUX_STAGE_DIR}/update-url.txt CONTENT "${RAMUX_UPDATE_URL}\n")

# The initial database: the schema and its options row, carrying the chosen update server.
# Never the demo content, which is illustrative and must not reach a veterinarian as reference.
add_custom_command(
  OUTPUT ${RAMUX_STAGE_DIR}/Ramux.rxd
  COMMAND ${CMAKE_COMMAND} -E make_directory ${RAMUX_STAGE_DIR}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${RAMUX_STAGE_DIR}/Ramux.rxd
  COMMAND ramuxctl create ${RAMUX_STAGE_DIR}/Ramux.rxd --server ${RAMUX_UPDATE_URL}
  DEPENDS ramuxctl ${RAMUX_STAGE_DIR}/update-url.txt
  COMMENT "Writing the initial database (update server ${RAMUX_UPDATE_URL})"
  VERBATIM)

# Versioned texts and the compressed documents the package layout wants.
configure_file(${RAMUX_PACKAGING_DIR}/org.ramux.Ramux.metainfo.xml.in
               ${RAMUX_STAGE_DIR}/org.ramux.Ramux.metainfo.xml @ONLY)
set(RAMUX_GZIPPED)
foreach(page ramux.1 ramuxctl.1 ramux-server.1)
  configure_file(${RAMUX_PACKAGING_DIR}/man/${page} ${RAMUX_STAGE_DIR}/${page} @ONLY)
  list(APPEND RAMUX_GZIPPED ${page})
endforeach()
configure_file(${RAMUX_PACKAGING_DIR}/changelog ${RAMUX_STAGE_DIR}/changelog COPYONLY)
list(APPEND RAMUX_GZIPPED changelog)
set(RAMUX_GZIP_OUTPUTS)
foreach(name ${RAMUX_GZIPPED})
  # -n: no name or time stamp inside, so the same text gives the same bytes.
  add_custom_command(
    OUTPUT ${RAMUX_STAGE_DIR}/${name}.gz
    COMMAND gzip -9nf -k ${name}
    DEPENDS ${RAMUX_STAGE_DIR}/${name}
    WORKING_DIRECTORY ${RAMUX_STAGE_DIR}
    VERBATIM)
  list(APPEND RAMUX_GZIP_OUTPUTS ${RAMUX_STAGE_DIR}/${name}.gz)
endforeach()
# Sanitizer and fuzzing trees are never installed; their instrumented ramuxctl need not run at build.
if(RAMUX_SANITIZE OR RAMUX_FUZZ)
  set(RAMUX_INSTALL_FILES_ALL)
else()
  set(RAMUX_INSTALL_FILES_ALL ALL)
endif()
add_custom_target(install_files ${RAMUX_INSTALL_FILES_ALL} DEPENDS ${RAMUX_STAGE_DIR}/Ramux.rxd ${RAMUX_GZIP_OUTPUTS})

set(RAMUX_INSTALLED_PROGRAMS ramuxctl ramux-server)
if(RAMUX_GUI)
  list(PREPEND RAMUX_INSTALLED_PROGRAMS ramux)
endif()
install(TARGETS ${RAMUX_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(RAMUX_DATA_DEST ${CMAKE_INSTALL_DATADIR}/ramux)
install(FILES ${RAMUX_STAGE_DIR}/Ramux.rxd DESTINATION ${RAMUX_DATA_DEST})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/demo/ DESTINATION ${RAMUX_DATA_DEST}/demo)

install(FILES ${RAMUX_PACKAGING_DIR}/org.ramux.Ramux.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${RAMUX_STAGE_DIR}/org.ramux.Ramux.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/ramux.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME org.ramux.Ramux.svg)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${RAMUX_PACKAGING_DIR}/icons/ramux-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME org.ramux.Ramux.png)
endforeach()

install(FILES ${RAMUX_STAGE_DIR}/ramux.1.gz ${RAMUX_STAGE_DIR}/ramuxctl.1.gz ${RAMUX_STAGE_DIR}/ramux-server.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${RAMUX_PACKAGING_DIR}/copyright ${RAMUX_STAGE_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/ramux)
