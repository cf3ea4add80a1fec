# zoq_prueba(<nombre> FUENTES ... ENLACES ... [QT] [PANTALLA] [DEFINICIONES NOMBRE="valor" ...])
#
# Crea un ejecutable de GoogleTest y registra cada caso en CTest. Con QT, el programa de
# prueba arranca una QApplication en la plataforma «offscreen» antes de los casos.
# Las rutas que necesita una prueba le llegan como definiciones de compilación (siempre
# ZOQ_FUENTES, la raíz del proyecto); el entorno de cada caso lo fijan los presets de CTest.
#
# Pruebas en una pantalla real (PANTALLA, junto con QT). Lo que depende del foco (que la
# ventana al abrirse lo dé a su primer campo al activarse, que un cuadro modal lo devuelva al
# cerrarse, lo que llega por el método de entrada) no pasa en «offscreen». Los casos cuyo
# nombre (el del grupo o el del caso) lleva «EnPantalla» se ejecutan entonces en una pantalla
# X con gestor de ventanas:
#   - CTest arranca un Xvfb en una pantalla libre con openbox (la prueba pantalla_arrancar de
#     tests/apoyo, preparación del grupo de pruebas «pantalla») antes del primero de esos
#     casos, lo comparte entre todos y lo para al final (pantalla_parar);
#   - cada caso lleva la etiqueta «pantalla»: `ctest --preset normal -L pantalla` los lista
#     (con -N) o los pasa solos; `-LE pantalla` los deja fuera;
#   - el main de las pruebas (tests/apoyo/main_qt.cpp) va a esa pantalla con la plataforma
#     xcb por la variable ZOQ_PANTALLA, por encima del QT_QPA_PLATFORM=offscreen de los
#     presets; los casos se pasan de uno en uno (RESOURCE_LOCK), para que no se quiten el foco;
#   - los demás casos del mismo programa siguen en «offscreen».
# Un caso en pantalla muestra la ventana y deja que se active (QTest::qWaitForWindowActive),
# teclea con QTest sobre la ventana activa y cierra los cuadros con el teclado o con la
# petición de cierre del gestor de ventanas. A mano, fuera de CTest:
#   tests/apoyo/pantalla arrancar /tmp/p
#   ZOQ_PANTALLA=/tmp/p/pantalla build/normal/.../pruebas_x --gtest_filter='*EnPantalla*'
#   tests/apoyo/pantalla parar /tmp/p
# (ZOQ_PANTALLA acepta también el nombre de una pantalla, ":99"). Sin ZOQ_PANTALLA el
# programa se salta los casos «EnPantalla».
set(ZOQ_PANTALLA_CARPETA ${CMAKE_BINARY_DIR}/pantalla-pruebas)

function(zoq_prueba nombre)
    cmake_parse_arguments(P "QT;PANTALLA" "" "FUENTES;ENLACES;DEFINICIONES" ${ARGN})
    add_executable(${nombre} ${P_FUENTES})
    target_link_libraries(${nombre} PRIVATE Zoq::Opciones ${P_ENLACES} GTest::gtest GTest::gmock)
    target_compile_definitions(${nombre} PRIVATE
        ZOQ_FUENTES="${PROJECT_SOURCE_DIR}" ${P_DEFINICIONES})
    if(P_QT)
        target_link_libraries(${nombre} PRIVATE zoq_pruebas_qt_main)
    else()
        target_link_libraries(${nombre} PRIVATE GTest::gtest_main)
    endif()
    if(P_PANTALLA)
        if(NOT P_QT)
            message(FATAL_ERROR "zoq_prueba(${nombre}): PANTALLA necesita QT")
        endif()
        gtest_discover_tests(${nombre} DISCOVERY_MODE PRE_TEST TEST_FILTER "-*EnPantalla*"
            PROPERTIES TIMEOUT 120)
        set(entorno ENVIRONMENT "ZOQ_PANTALLA=${ZOQ_PANTALLA_CARPETA}/pantalla")
        if(ZOQ_SANITIZERS)
            # La biblioteca de teclado de X (libxkbcommon-x11, sin instrumentar) copia textos
            # sin terminar con strndup, que la comprobación estricta de cadenas de
            # AddressSanitizer da por desbordamiento al arrancar la plataforma xcb.
            list(APPEND entorno ENVIRONMENT_MODIFICATION
                "ASAN_OPTIONS=string_append::strict_string_checks=0")
        endif()
        gtest_discover_tests(${nombre} DISCOVERY_MODE PRE_TEST TEST_FILTER "*EnPantalla*"
            PROPERTIES TIMEOUT 120 LABELS pantalla FIXTURES_REQUIRED pantalla
                RESOURCE_LOCK pantalla ${entorno})
    else()
        gtest_discover_tests(${nombre} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
    endif()
endfunction()
