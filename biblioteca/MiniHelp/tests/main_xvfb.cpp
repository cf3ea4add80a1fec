// Punto de entrada de las pruebas que necesitan una pantalla con OpenGL (Qt WebEngine): la
// plataforma «offscreen» no la tiene, así que el programa se vuelve a lanzar dentro de una
// pantalla virtual con xvfb-run. Sin xvfb-run las pruebas se saltan.
#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    // Los argumentos tal como llegaron (InitGoogleTest quita los suyos), para relanzar.
    const std::vector<char*> originales(argv, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    if (!qEnvironmentVariableIsSet("ZOQ_EN_PANTALLA_VIRTUAL")) {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
        if (xvfb.isEmpty()) {
            qputenv("ZOQ_SIN_PANTALLA_VIRTUAL", "1");
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QApplication app(argc, argv);
            return RUN_ALL_TESTS();
        }
        qputenv("ZOQ_EN_PANTALLA_VIRTUAL", "1");
        qputenv("QT_QPA_PLATFORM", "xcb");
        // El motor del navegador (compilado sin los comprobadores) y la pila gráfica reservan
        // memoria que no devuelven al salir, parte desde bibliotecas ya descargadas, y liberan
        // objetos con un tamaño distinto del reservado; la biblioteca de teclado de X copia
        // textos sin terminar con strndup, que la comprobación estricta de cadenas da por
        // desbordamiento. En este proceso no se buscan fugas ni esas discrepancias; el código
        // propio de la ventana se comprueba en las demás pruebas.
        if (qEnvironmentVariableIsSet("ASAN_OPTIONS"))
            qputenv("ASAN_OPTIONS",
                    qgetenv("ASAN_OPTIONS") +
                        ":detect_leaks=0:new_delete_type_mismatch=0:strict_string_checks=0");
        // Cada proceso busca pantalla libre desde un número suyo: dos xvfb-run que empiezan
        // a la vez por el mismo número pueden quedarse con la misma.
        const QByteArray desde = QByteArray::number(100 + ::getpid() % 400);
        const QByteArray ruta = xvfb.toLocal8Bit();
        std::vector<char*> args = {const_cast<char*>(ruta.constData()),
                                   const_cast<char*>("-a"),
                                   const_cast<char*>("-n"),
                                   const_cast<char*>(desde.constData()),
                                   const_cast<char*>("-s"),
                                   const_cast<char*>("-screen 0 1280x1024x24 -nolisten tcp")};
        args.insert(args.end(), originales.begin(), originales.end());
        args.push_back(nullptr);
        ::execv(ruta.constData(), args.data());
        return 127;
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
