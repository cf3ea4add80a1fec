// Ventana de ayuda con páginas web (Qt WebEngine), servidas desde la propia prueba por la
// interfaz de bucle local. Corre en una pantalla virtual: ver main_xvfb.cpp.
#include "MiniHelp/MiniHelp.h"
#include "MiniHelp/navegador.h"

#include "qt_gtest.h"

#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using namespace MiniHelp;

namespace {

// Servidor HTTP mínimo que da siempre la misma página.
class ServidorPagina {
public:
    ServidorPagina() {
        servidor_.listen(QHostAddress::LocalHost);
        QObject::connect(&servidor_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = servidor_.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
                    if (!s->readAll().contains("\r\n\r\n"))
                        return;
                    const QByteArray cuerpo =
                        "<html><body><h1>P\xc3\xa1gina de prueba</h1></body></html>";
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                             "Connection: close\r\nContent-Length: " +
                             QByteArray::number(cuerpo.size()) + "\r\n\r\n" + cuerpo);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString Direccion() const {
        return QStringLiteral("http://127.0.0.1:%1/ayuda.html").arg(servidor_.serverPort());
    }

private:
    QTcpServer servidor_;
};

// Un puerto del bucle local en el que nadie escucha.
quint16 PuertoCerrado() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    const quint16 puerto = s.serverPort();
    s.close();
    return puerto;
}

class NavegadorAyuda : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsSet("ZOQ_SIN_PANTALLA_VIRTUAL"))
            GTEST_SKIP() << "no hay xvfb-run: las pruebas de Qt WebEngine necesitan pantalla";
        if (!QFileInfo(RutaModuloWeb()).isFile())
            GTEST_SKIP() << "sin el módulo web (compilación sin Qt WebEngine)";
    }
    void TearDown() override {
        Descargar();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(NavegadorAyuda, AbreUnaPaginaDelBucleLocalConElTituloDelPrograma) {
    ServidorPagina servidor;
    Instancia().show();
    bool problema = false;
    // Mientras se cargan el módulo y la página se ve el puntero de espera; después, ya no.
    Qt::CursorShape durante = Qt::ArrowCursor;
    QTimer::singleShot(0, [&durante] {
        if (const QCursor* c = QApplication::overrideCursor())
            durante = c->shape();
    });
    MiExplorer(servidor.Direccion(), problema);
    EXPECT_FALSE(problema);
    ASSERT_TRUE(Cargada());
    EXPECT_TRUE(ModuloWebCargado());
    EXPECT_EQ(durante, Qt::BusyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    Ventana& v = Instancia();
    EXPECT_FALSE(v.FalloNavegacion);
    EXPECT_TRUE(v.MiniWeb->isVisible());
    EXPECT_TRUE(v.MiVersion->isVisible());
    EXPECT_EQ(v.MiVersion->Texto(), TituloPrograma());
    EXPECT_TRUE(v.MiVersion->Texto().startsWith(QStringLiteral("Programa pruebas_minihelp_web")));
    EXPECT_EQ(v.TextoAyuda->palette().color(QPalette::Base), QColor(128, 128, 255));

    // Un título propio sustituye al de omisión, y otra página no lo pisa.
    TituloMiniWeb(QStringLiteral("Novedades de la versión"));
    MiExplorer(servidor.Direccion(), problema);
    EXPECT_FALSE(problema);
    EXPECT_EQ(v.MiVersion->Texto(), QStringLiteral("Novedades de la versión"));
}

TEST_F(NavegadorAyuda, UnPuertoSinServidorPoneProblemaYCierraLaVentana) {
    // Sin mostrar la ventana: quien llama la enseña después, si la página se abrió.
    bool problema = false;
    MiExplorer(QStringLiteral("http://127.0.0.1:%1/").arg(PuertoCerrado()), problema);
    EXPECT_TRUE(problema);
    EXPECT_FALSE(Cargada());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // La ventana vuelve a cargarse limpia.
    EXPECT_FALSE(Instancia().FalloNavegacion);
}

} // namespace
