# Instalación como paquete de CMake y paquetes de Debian.
#
# Los paquetes siguen la costumbre de Debian:
#   zoq-runtime      (componente Runtime)    programas, bibliotecas compartidas, datos, la carpeta
#                                            común /var/lib/zoq y el grupo zoq;
#   zoq-runtime-dev  (componente Desarrollo) cabeceras, paquetes de CMake y los enlaces .so sin
#                                            versión; depende de zoq-runtime de la misma versión;
#   zoq-runtime-web  (componente AyudaWeb)   el módulo de la página web de la ayuda, que es lo
#                                            único que enlaza Qt WebEngine; zoq-runtime lo
#                                            recomienda: sin él la ayuda en RTF sigue funcionando.
include(CMakePackageConfigHelpers)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZoqConfig.cmake.in
    ${PROJECT_BINARY_DIR}/ZoqConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Zoq)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZoqConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZoqConfig.cmake ${PROJECT_BINARY_DIR}/ZoqConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Zoq COMPONENT Desarrollo)

set(_componentes Runtime Desarrollo)
if(ZOQ_WEBENGINE)
    list(APPEND _componentes AyudaWeb)
endif()
set(_nombre_Runtime zoq-runtime)
set(_nombre_Desarrollo zoq-runtime-dev)
set(_nombre_AyudaWeb zoq-runtime-web)

# Las dependencias del paquete salen de la lista de controles externos del programa de arranque:
# así lleva consigo todo lo que las aplicaciones de la suite esperan.
set(_depende "")
set(_recomienda "")
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
    elseif(_relacion STREQUAL "recomienda")
        list(APPEND _recomienda ${_paquetes})
    else()
        list(APPEND _depende ${_paquetes})
    endif()
endforeach()
# groupadd, en el postinst; las bibliotecas del sistema las pone dpkg-shlibdeps.
list(APPEND _depende passwd)
# La letra de métrica compatible con la del diseño de las ventanas; sin ella, la del sistema.
list(APPEND _recomienda fonts-wine)
# El diálogo del PIN de las tarjetas y de la contraseña de las bases NSS; OpenSC, el módulo de
# las tarjetas (el DNI entre ellas).
list(APPEND _recomienda "pinentry-gnome3 | pinentry-qt | pinentry-curses")
list(APPEND _sugiere opensc)
if(ZOQ_WEBENGINE)
    list(APPEND _recomienda ${_nombre_AyudaWeb})
endif()
foreach(_lista _depende _recomienda _sugiere)
    list(REMOVE_DUPLICATES ${_lista})
    list(SORT ${_lista})
endforeach()

# Versión de Debian: la del proyecto y la revisión del empaquetado.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(_version_deb "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${_componentes})
set(CPACK_PACKAGE_NAME zoq-runtime)
set(CPACK_PACKAGE_VENDOR "ZOQ")
set(CPACK_PACKAGE_CONTACT "Equipo ZOQ <soporte@zoq.es>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Binarios sin símbolos de depuración (los paquetes pesan la décima parte).
set(CPACK_STRIP_FILES ON)
# Las bibliotecas con las que están enlazados los programas, por dpkg-shlibdeps; las del paquete
# llevan su fichero shlibs y el disparador de ldconfig.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${_nombre_Runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION misc)
list(JOIN _depende ", " CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS)
list(JOIN _recomienda ", " CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS)
list(JOIN _sugiere ", " CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS)
# Las descripciones: la primera línea es el resumen de cada paquete; lo demás, líneas de menos de
# 80 caracteres. El resumen común se deja en el valor por omisión de CPack, que así no lo antepone.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "${PROJECT_DESCRIPTION}
Vandrel y la biblioteca de interfaz de la suite (campos guiados por
descriptores, rejillas y editor de tablas, cuadros de mensaje, entrada, visor,
progreso, impresora y ayuda, calculadora con rollo de papel y directorio de
contactos), el programa residente Zodivazod y el componente MORVELIN, que firma
facturas electrónicas y verifica su firma con el servicio de la agencia
tributaria.")
# Al instalarse crea la carpeta común del directorio de contactos (/var/lib/zoq) y el grupo
# zoq; al purgarse dice qué hace con los datos.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/cmake/debian/postinst;${PROJECT_SOURCE_DIR}/cmake/debian/postrm;${PROJECT_SOURCE_DIR}/cmake/debian/triggers")

set(CPACK_DEBIAN_DESARROLLO_PACKAGE_NAME ${_nombre_Desarrollo})
set(CPACK_DEBIAN_DESARROLLO_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DESARROLLO_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DESARROLLO_PACKAGE_DEPENDS
    "${_nombre_Runtime} (= ${_version_deb}), qt6-base-dev (>= 6.4)")
set(CPACK_DEBIAN_DESARROLLO_DESCRIPTION
    "${PROJECT_DESCRIPTION} (desarrollo)
Cabeceras y paquetes de CMake (find_package(Zoq) y find_package(Morvelin))
para compilar aplicaciones de la suite con su biblioteca de interfaz y con el
componente de firma MORVELIN.")

set(CPACK_DEBIAN_AYUDAWEB_PACKAGE_NAME ${_nombre_AyudaWeb})
set(CPACK_DEBIAN_AYUDAWEB_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_AYUDAWEB_PACKAGE_DEPENDS "${_nombre_Runtime} (= ${_version_deb})")
set(CPACK_DEBIAN_AYUDAWEB_DESCRIPTION
    "${PROJECT_DESCRIPTION} (páginas web de la ayuda)
El módulo que muestra las páginas web de la ventana de ayuda con Qt
WebEngine. Se carga la primera vez que se abre una página: los programas que no
la abren no cargan el motor del navegador.")

# Cada paquete lleva su copyright y su registro de cambios donde Debian los espera.
execute_process(COMMAND gzip -9 -n -c "${PROJECT_SOURCE_DIR}/cmake/debian/changelog"
    OUTPUT_FILE "${PROJECT_BINARY_DIR}/changelog.Debian.gz")
foreach(_c IN LISTS _componentes)
    install(FILES "${PROJECT_SOURCE_DIR}/cmake/debian/copyright"
                  "${PROJECT_BINARY_DIR}/changelog.Debian.gz"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_nombre_${_c}} COMPONENT ${_c})
endforeach()
# Las páginas de manual de los programas.
foreach(_programa morvelin Vandrel Zodivazod)
    execute_process(COMMAND gzip -9 -n -c "${PROJECT_SOURCE_DIR}/cmake/debian/man/${_programa}.1"
        OUTPUT_FILE "${PROJECT_BINARY_DIR}/${_programa}.1.gz")
    install(FILES "${PROJECT_BINARY_DIR}/${_programa}.1.gz"
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
endforeach()
include(CPack)
