# Installing the exit and building its packages.
#
# Linux: `cmake --install` puts the library (libZT0NID.so.1, with its soname), the header
# as zt0nid/host_records.h, a CMake package (find_package(ZT0NID), target ZT0NID::ZT0NID)
# and a pkg-config file (zt0nid) under the GNUInstallDirs paths; host/ztnid installs
# ztnid and its man page.  `cpack` makes one Debian package per component:
#   lib    libzt0nid1      the library
#   dev    libzt0nid-dev   header, CMake package, pkg-config file, the libZT0NID.so link
#   ztnid  ztnid           the reference host and its man page
#   sqlite   sqlite3-ztnid         the SQLite extension (where it is built)
#   postgres postgresql-N-ztnid    the PostgreSQL extension, for the server pg_config names
# Configure with -DCMAKE_INSTALL_PREFIX=/usr for packages: the files land where the
# build put them (the pkg-config file and ztnid know their paths from it).
#
# Windows: the target dll_zip makes ZT0NID-<version>-win64.zip: the DLL (without debug
# information), the header and a text for those who write a Windows host.
if(WIN32)
  set(zt_zip_name ZT0NID-${PROJECT_VERSION}-win64)
  set(zt_zip_dir ${CMAKE_BINARY_DIR}/${zt_zip_name})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/README-windows.txt.in ${zt_zip_dir}/README.txt @ONLY NEWLINE_STYLE CRLF)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${zt_zip_name}.zip
    COMMAND ${CMAKE_STRIP} --strip-debug -o ${zt_zip_dir}/ZT0NID.dll $<TARGET_FILE:ZT0NID>
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/exit/host_records.h ${zt_zip_dir}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${zt_zip_name}.zip --format=zip
            ${zt_zip_name}/ZT0NID.dll ${zt_zip_name}/host_records.h ${zt_zip_name}/README.txt
    DEPENDS ZT0NID ${PROJECT_SOURCE_DIR}/exit/host_records.h ${zt_zip_dir}/README.txt
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Packing ${zt_zip_name}.zip")
  add_custom_target(dll_zip DEPENDS ${CMAKE_BINARY_DIR}/${zt_zip_name}.zip)
  return()
endif()

# ---------------------------------------------------------------- install rules
include(CMakePackageConfigHelpers)
set(zt_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ZT0NID)

target_include_directories(ZT0NID INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS ZT0NID EXPORT ZT0NIDTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/exit/host_records.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zt0nid
  COMPONENT dev)

install(EXPORT ZT0NIDTargets NAMESPACE ZT0NID:: DESTINATION ${zt_cmake_dir} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZT0NIDConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ZT0NIDConfig.cmake INSTALL_DESTINATION ${zt_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZT0NIDConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZT0NIDConfig.cmake ${CMAKE_BINARY_DIR}/ZT0NIDConfigVersion.cmake
  DESTINATION ${zt_cmake_dir} COMPONENT dev)

configure_file(${CMAKE_CURRENT_LIST_DIR}/zt0nid.pc.in ${CMAKE_BINARY_DIR}/zt0nid.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zt0nid.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# ---------------------------------------------------------------- Debian packages
# A new package: add its component to CPACK_COMPONENTS_ALL and its CPACK_DEBIAN_<COMPONENT>_*.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zt0nid)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ZT0NID maintainers <maintainers@zt0nid.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL lib dev ztnid)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)           # for the package holding the library
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(zt_lib_dep "libzt0nid1 (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libzt0nid1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIB_DESCRIPTION "column map exit masking national identification numbers
 libZT0NID.so exports KLOColMapWExit, the column map exit that a table-copying host
 calls per row: it replaces French NIR, Italian codice fiscale, Spanish NIF/NIE and
 UK National Insurance numbers by other well-formed numbers of the same country.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzt0nid-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${zt_lib_dep}")
set(CPACK_COMPONENT_DEV_DESCRIPTION "column map exit masking national identification numbers - development files
 The host records header (zt0nid/host_records.h), a CMake package (find_package(ZT0NID),
 target ZT0NID::ZT0NID) and a pkg-config file (zt0nid) for hosts written in C or C++.")

set(CPACK_DEBIAN_ZTNID_PACKAGE_NAME ztnid)
set(CPACK_DEBIAN_ZTNID_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_ZTNID_PACKAGE_DEPENDS "${zt_lib_dep}")
set(CPACK_COMPONENT_ZTNID_DESCRIPTION "masks national identification numbers in CSV files and database tables
 ztnid copies a CSV file, an SQLite table or a PostgreSQL table to another, calling the
 ZT0NID exit for every mapped column exactly as a host does.")

# The SQL extensions link the exit in, so they need no libzt0nid1.
if(TARGET ztnid_sqlite)
  list(APPEND CPACK_COMPONENTS_ALL sqlite)
  set(CPACK_DEBIAN_SQLITE_PACKAGE_NAME sqlite3-ztnid)
  set(CPACK_DEBIAN_SQLITE_PACKAGE_SECTION database)
  set(CPACK_COMPONENT_SQLITE_DESCRIPTION "SQLite functions masking national identification numbers
 ztnid_sqlite.so, loaded with .load or sqlite3_load_extension, adds ztnid_mask,
 ztnid_check, ztnid_random, ztnid_keyed_mask and ztnid_keyed_unmask.")
endif()
if(TARGET ztnid_pg)
  # The server's major version, from its bin directory (/usr/lib/postgresql/N/bin).
  get_filename_component(zt_pg_home ${ZT_PG_BINDIR} DIRECTORY)
  get_filename_component(zt_pg_major ${zt_pg_home} NAME)
  list(APPEND CPACK_COMPONENTS_ALL postgres)
  set(CPACK_DEBIAN_POSTGRES_PACKAGE_NAME postgresql-${zt_pg_major}-ztnid)
  set(CPACK_DEBIAN_POSTGRES_PACKAGE_SECTION database)
  set(CPACK_DEBIAN_POSTGRES_PACKAGE_DEPENDS "postgresql-${zt_pg_major}")
  set(CPACK_COMPONENT_POSTGRES_DESCRIPTION "PostgreSQL ${zt_pg_major} extension masking national identification numbers
 CREATE EXTENSION ztnid adds ztnid.mask, ztnid.check, ztnid.random, ztnid.keyed_mask
 and ztnid.keyed_unmask, which run the ZT0NID exit per call site.")
endif()

include(CPack)
