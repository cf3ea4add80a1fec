# Instalación como paquete de CMake y paquete de Debian.
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZoqConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZoqConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Zoq)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZoqConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZoqConfig.cmake ${PROJECT_BINARY_DIR}/ZoqConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Zoq)

# Las dependencias del paquete de Debian salen de la lista de controles externos del programa
# de arranque: así el paquete lleva consigo todo lo que las aplicaciones de la suite esperan.
set(_depende "")
set(_sugiere "")
file(STRINGS "${ZOQ_MANIFIESTO_CONTROLES}" _filas ENCODING UTF-8)
foreach(_fila IN LISTS _filas)
    if(_fila MATCHES "^#")
        continue()
    endif()
    string(REPLACE "\t" ";" _campos "${_fila}")
    list(LENGTH _campos _n)
    if(NOT _n EQUAL 7)
        continue()
    endif()
    list(GET _campos 5 _paquetes)
    list(GET _campos 6 _relacion)
    string(REPLACE ", " ";" _paquetes "${_paquetes}")
    if(_relacion STREQUAL "sugiere")
        list(APPEND _sugiere ${_paquetes})
    else()
        list(APPEND _depende ${_paquetes})
    endif()
endforeach()
list(APPEND _depende libssl3 libcurl4)
list(REMOVE_DUPLICATES _depende)
list(REMOVE_DUPLICATES _sugiere)
list(SORT _depende)
list(JOIN _depende ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
list(JOIN _sugiere ", " CPACK_DEBIAN_PACKAGE_SUGGESTS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zoq-runtime)
set(CPACK_PACKAGE_VENDOR "ZOQ")
set(CPACK_PACKAGE_CONTACT "Equipo ZOQ <zoq@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Además, las bibliotecas con las que están enlazados los programas.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Al instalarse crea la carpeta común del directorio de contactos (/var/lib/zoq).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/cmake/debian/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
