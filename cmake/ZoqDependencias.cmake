# Dependencias externas. Si falta alguna, la configuración se detiene con un mensaje claro
# que dice qué paquete de Debian la trae (herramientas/instalar-dependencias las instala todas).

macro(zoq_requerir paquete debian)
    if(NOT ${paquete}_FOUND)
        message(FATAL_ERROR
            "Falta ${paquete}. En Debian 12 lo trae el paquete «${debian}»; "
            "herramientas/instalar-dependencias instala todo lo necesario.")
    endif()
endmacro()

find_package(OpenSSL 3.0 QUIET)
zoq_requerir(OpenSSL libssl-dev)
find_package(CURL QUIET)
zoq_requerir(CURL libcurl4-openssl-dev)
find_package(CLI11 QUIET CONFIG)
zoq_requerir(CLI11 libcli11-dev)

find_package(Qt6 6.4 QUIET COMPONENTS Core Gui Widgets PrintSupport Svg)
zoq_requerir(Qt6 "qt6-base-dev y qt6-svg-dev")
if(ZOQ_WEBENGINE STREQUAL "AUTO")
    find_package(Qt6 6.4 QUIET COMPONENTS WebEngineWidgets)
    if(Qt6WebEngineWidgets_FOUND)
        set(ZOQ_WEBENGINE ON)
    else()
        message(STATUS "Sin Qt WebEngine (paquete «qt6-webengine-dev»): la ayuda no mostrará páginas web.")
        set(ZOQ_WEBENGINE OFF)
    endif()
elseif(ZOQ_WEBENGINE)
    find_package(Qt6 6.4 QUIET COMPONENTS WebEngineWidgets)
    if(NOT Qt6WebEngineWidgets_FOUND)
        message(FATAL_ERROR
            "Falta Qt WebEngine (paquete «qt6-webengine-dev»). "
            "Instálelo o configure con -DZOQ_WEBENGINE=OFF.")
    endif()
endif()

if(ZOQ_PRUEBAS)
    find_package(GTest QUIET)
    zoq_requerir(GTest "libgtest-dev y libgmock-dev")
    find_package(Qt6 6.4 QUIET COMPONENTS Test)
    zoq_requerir(Qt6Test qt6-base-dev)
    enable_testing()
    include(GoogleTest)
    include(ZoqPruebas)
endif()
