# Opciones de compilación comunes a todos los destinos del proyecto.
find_program(ZOQ_CCACHE ccache)
if(ZOQ_CCACHE)
    set(CMAKE_C_COMPILER_LAUNCHER "${ZOQ_CCACHE}")
    set(CMAKE_CXX_COMPILER_LAUNCHER "${ZOQ_CCACHE}")
endif()

add_library(zoq_opciones INTERFACE)
add_library(Zoq::Opciones ALIAS zoq_opciones)
target_compile_options(zoq_opciones INTERFACE -Wall -Wextra)

if(ZOQ_SANITIZERS)
    set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_compile_options(${_san})
    add_link_options(-fsanitize=address,undefined)
endif()

if(ZOQ_FUZZ)
    # libFuzzer: toda la lógica lleva la cobertura que guía al fuzzer y los dos sanitizers; el
    # motor de libFuzzer (con su main) solo se enlaza en los programas de fuzz/.
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "ZOQ_FUZZ necesita clang (paquete «clang»): use el preset «fuzz».")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
        -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_WINDOWS_EXPORT_ALL_SYMBOLS ON)
# Los programas encuentran sus bibliotecas compartidas tanto en el árbol de compilación como
# instalados fuera de /usr; en /usr (los paquetes de Debian) están donde las busca el sistema.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()

# Las clases con Q_OBJECT se procesan con moc sin más ceremonia.
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)
