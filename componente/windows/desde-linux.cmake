# El componente para Windows visto desde la compilación de Linux: el generador de la IDL y de
# los guiones (a partir de la identidad y la tabla de mensajes), el guion de registro probado
# aquí, y con ZOQ_WINDOWS la compilación cruzada de MORVELIN.DLL (i686 y x86_64) como
# subproyectos aparte, probados bajo Wine cuando está instalado.
set(_win ${CMAKE_CURRENT_LIST_DIR})

find_program(ZOQ_MINGW32 i686-w64-mingw32-g++-posix)
find_program(ZOQ_MINGW64 x86_64-w64-mingw32-g++-posix)
set(_por_omision OFF)
if(DEFINED ENV{CI} AND ZOQ_MINGW32 AND ZOQ_MINGW64)
    set(_por_omision ON)
endif()
option(ZOQ_WINDOWS "Compilar MORVELIN.DLL para Windows con mingw-w64 (y probarlo con Wine)"
    ${_por_omision})

# Lo que no depende de Windows se compila y se prueba también aquí.
add_library(morvelin_textos_windows STATIC ${_win}/textos_windows.cpp ${_win}/guion_registro.cpp)
target_include_directories(morvelin_textos_windows PUBLIC ${_win})
target_link_libraries(morvelin_textos_windows PUBLIC morvelin_logica PRIVATE Zoq::Opciones)
if(ZOQ_PRUEBAS)
    zoq_prueba(pruebas_morvelin_registro
        FUENTES ${_win}/pruebas/guion_registro_test.cpp
        ENLACES morvelin_textos_windows)
endif()

if(NOT ZOQ_WINDOWS)
    return()
endif()

add_executable(morvelin_recursos_windows ${_win}/generador.cpp)
target_link_libraries(morvelin_recursos_windows PRIVATE morvelin_textos_windows Zoq::Opciones)
set(_generados ${CMAKE_CURRENT_BINARY_DIR}/windows/generados)
add_custom_target(morvelin_generados_windows
    COMMAND morvelin_recursos_windows ${_generados}
    BYPRODUCTS ${_generados}/MORVELIN.idl ${_generados}/MORVELIN.rgs ${_generados}/recursos.rc
    COMMENT "IDL, guion de registro y recursos de MORVELIN.DLL")

include(ExternalProject)
find_program(ZOQ_WINE wine)
if(ZOQ_PRUEBAS)
    # El servidor averiado de las pruebas de red, como programa: el que sirve las averías al
    # componente bajo Wine.
    add_executable(servidor-averiado ${_win}/pruebas/servir_averia.cpp)
    target_link_libraries(servidor-averiado PRIVATE morvelin_servidor_averiado CLI11::CLI11
        Zoq::Opciones)
endif()
# Las pruebas con Wine verifican contra el servicio local, en un puerto fijo por arquitectura
# (la dirección del servicio es una constante de la compilación del componente).
set(_puerto_i686 47431)
set(_puerto_x86_64 47432)
foreach(_arq i686 x86_64)
    set(_bin ${CMAKE_CURRENT_BINARY_DIR}/windows/${_arq})
    set(_local https://localhost:${_puerto_${_arq}}/sincertificados)
    ExternalProject_Add(morvelin_windows_${_arq}
        SOURCE_DIR ${_win}
        BINARY_DIR ${_bin}
        CMAKE_GENERATOR Ninja
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-${_arq}.cmake
            -DCMAKE_BUILD_TYPE=Release
            -DMORVELIN_GENERADOS=${_generados}
            -DMORVELIN_SERVICIO_URL=${MORVELIN_SERVICIO_URL}
            -DMORVELIN_SERVICIO_URL_PRUEBA=${_local}
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        DEPENDS morvelin_generados_windows
        BUILD_BYPRODUCTS ${_bin}/MORVELIN.DLL ${_bin}/prueba-local/MORVELIN.DLL
                         ${_bin}/cliente_morvelin.exe ${_bin}/importar_pfx.exe)
    if(ZOQ_PRUEBAS AND ZOQ_WINE)
        add_test(NAME morvelin_wine_${_arq}
            COMMAND ${_win}/pruebas/probar-wine ${_arq} ${_bin}
                    ${CMAKE_CURRENT_BINARY_DIR}/windows/wine-${_arq}
                    $<TARGET_FILE:servicio-verificacion> ${_puerto_${_arq}})
        # VERIFICA contra servidores averiados, en el mismo puerto: nunca a la vez que la otra.
        add_test(NAME morvelin_wine_averias_${_arq}
            COMMAND ${_win}/pruebas/probar-averias-wine ${_arq} ${_bin}
                    ${CMAKE_CURRENT_BINARY_DIR}/windows/averias-${_arq}
                    $<TARGET_FILE:servidor-averiado> ${_puerto_${_arq}})
        set_tests_properties(morvelin_wine_${_arq} morvelin_wine_averias_${_arq} PROPERTIES
            TIMEOUT 600 RESOURCE_LOCK puerto_${_puerto_${_arq}}
            # Sin el Wine de 32 bits las de i686 se omiten (y lo dicen en una línea «OMITIDA:»).
            SKIP_RETURN_CODE 77)
    endif()
endforeach()
