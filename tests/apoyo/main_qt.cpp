// Punto de entrada de las pruebas con ventanas: una QApplication viva durante todos los casos.
//
// Por omisión en la plataforma «offscreen». Con ZOQ_PANTALLA (la pone CTest a los casos del
// grupo «pantalla», ver cmake/ZoqPruebas.cmake) el programa va a una pantalla X real con
// gestor de ventanas: ZOQ_PANTALLA es el nombre de la pantalla (":5") o un fichero que lo
// tiene. Sin ella, los casos «EnPantalla» no se ejecutan: sin activación ni foco reales no
// prueban nada.
#include <QApplication>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

// Nombre de la pantalla que dice ZOQ_PANTALLA; vacío si no se puede leer.
QByteArray PantallaPedida() {
    QByteArray valor = qgetenv("ZOQ_PANTALLA").trimmed();
    if (valor.startsWith(':'))
        return valor;
    QFile fichero(QString::fromLocal8Bit(valor));
    if (!fichero.open(QIODevice::ReadOnly))
        return {};
    valor = fichero.readAll().trimmed();
    return valor.startsWith(':') ? valor : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool listar = ::testing::GTEST_FLAG(list_tests);
    if (!listar && qEnvironmentVariableIsSet("ZOQ_PANTALLA")) {
        const QByteArray pantalla = PantallaPedida();
        if (pantalla.isEmpty()) {
            std::fprintf(stderr,
                         "ZOQ_PANTALLA=%s no da una pantalla (¿no arrancó la de "
                         "pruebas?)\n",
                         qgetenv("ZOQ_PANTALLA").constData());
            return 1;
        }
        qputenv("DISPLAY", pantalla);
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!listar) {
            std::string& filtro = ::testing::GTEST_FLAG(filter);
            filtro += filtro.find('-') == std::string::npos ? "-*EnPantalla*" : ":*EnPantalla*";
        }
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
