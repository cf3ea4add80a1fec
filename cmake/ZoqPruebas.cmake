# zoq_prueba(<nombre> FUENTES ... ENLACES ... [QT] [DEFINICIONES NOMBRE="valor" ...])
#
# Crea un ejecutable de GoogleTest y registra cada caso en CTest. Con QT, el programa de
# prueba arranca una QApplication en la plataforma «offscreen» antes de los casos.
# Las rutas que necesita una prueba le llegan como definiciones de compilación (siempre
# ZOQ_FUENTES, la raíz del proyecto); el entorno de cada caso lo fijan los presets de CTest.
function(zoq_prueba nombre)
    cmake_parse_arguments(P "QT" "" "FUENTES;ENLACES;DEFINICIONES" ${ARGN})
    add_executable(${nombre} ${P_FUENTES})
    target_link_libraries(${nombre} PRIVATE Zoq::Opciones ${P_ENLACES} GTest::gtest GTest::gmock)
    target_compile_definitions(${nombre} PRIVATE
        ZOQ_FUENTES="${PROJECT_SOURCE_DIR}" ${P_DEFINICIONES})
    if(P_QT)
        target_link_libraries(${nombre} PRIVATE zoq_pruebas_qt_main)
    else()
        target_link_libraries(${nombre} PRIVATE GTest::gtest_main)
    endif()
    gtest_discover_tests(${nombre} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 120)
endfunction()
