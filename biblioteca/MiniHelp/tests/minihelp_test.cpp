// Ventana de ayuda con documentos de ayuda (sin navegador web).
#include "MiniHelp/MiniHelp.h"
#include "MiniHelp/documento_ayuda.h"
#include "MiniHelp/navegador.h"
#include "basicos/nucleo/error.h"

#include "qt_gtest.h"

#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace MiniHelp;

namespace {

QString Datos(const char* nombre) {
    return QStringLiteral(ZOQ_FUENTES "/biblioteca/MiniHelp/tests/datos/") +
           QString::fromUtf8(nombre);
}

// Formato del carácter en la posición del documento donde empieza `texto`.
QTextCharFormat FormatoEn(const QTextDocument& doc, const QString& texto) {
    const QTextCursor c = doc.find(texto);
    EXPECT_FALSE(c.isNull()) << texto.toStdString();
    QTextCursor dentro(const_cast<QTextDocument*>(&doc));
    dentro.setPosition(c.selectionStart() + 1);
    return dentro.charFormat();
}

class VentanaAyuda : public ::testing::Test {
protected:
    void TearDown() override {
        Descargar();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(Cargada());
    }
};

TEST_F(VentanaAyuda, CargaUnDocumentoRtfConSuFormato) {
    CargarAyuda(Datos("ayuda.rtf"));
    const QTextDocument& doc = *Instancia().TextoAyuda->document();
    EXPECT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(doc.firstBlock().text(), QStringLiteral("Ayuda de facturación"));
    EXPECT_TRUE(doc.firstBlock().blockFormat().alignment() & Qt::AlignHCenter);

    const auto titulo = FormatoEn(doc, QStringLiteral("Ayuda"));
    EXPECT_EQ(titulo.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(titulo.fontPointSize(), 16);
    EXPECT_EQ(titulo.foreground().color(), QColor(0, 0, 128));
    EXPECT_TRUE(titulo.fontFamilies().toStringList().contains(QStringLiteral("Tahoma")));

    EXPECT_EQ(FormatoEn(doc, QStringLiteral("F4")).fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatoEn(doc, QStringLiteral(" para abrir")).fontWeight(), QFont::Normal);
    EXPECT_TRUE(FormatoEn(doc, QStringLiteral("F8")).fontItalic());
    EXPECT_TRUE(FormatoEn(doc, QStringLiteral("Importante")).fontUnderline());
    EXPECT_DOUBLE_EQ(FormatoEn(doc, QStringLiteral("Pulse")).fontPointSize(), 10);
    EXPECT_EQ(FormatoEn(doc, QStringLiteral("dos decimales")).foreground().color(),
              QColor(192, 0, 0));
    EXPECT_FALSE(doc.find(QStringLiteral("en € y")).isNull());

    // Un documento de ayuda no enseña ni el navegador ni la franja de título.
    EXPECT_EQ(Instancia().MiniWeb, nullptr);
    EXPECT_TRUE(Instancia().MiVersion->isHidden());
}

TEST_F(VentanaAyuda, CargaTambienAyudaEnHtml) {
    CargarAyuda(Datos("ayuda.html"));
    const QTextDocument& doc = *Instancia().TextoAyuda->document();
    EXPECT_FALSE(doc.find(QStringLiteral("Ayuda en HTML")).isNull());
    EXPECT_EQ(FormatoEn(doc, QStringLiteral("números")).fontWeight(), QFont::Bold);
}

TEST_F(VentanaAyuda, UnFicheroQueNoSePuedeLeerONoEsAyudaEsUnError) {
    CargarAyuda(Datos("ayuda.rtf"));
    for (const char* malo : {"no-existe.rtf", "llano.txt"}) {
        try {
            CargarAyuda(Datos(malo));
            ADD_FAILURE() << "no lanzó con " << malo;
        } catch (const basicos::ErrorZoq& e) {
            EXPECT_TRUE(e.Descripcion().contains(QString::fromUtf8(malo))) << e.what();
        }
        // Lo que había sigue ahí.
        EXPECT_EQ(Instancia().TextoAyuda->document()->firstBlock().text(),
                  QStringLiteral("Ayuda de facturación"));
    }
}

TEST_F(VentanaAyuda, ElTituloSeDibujaYSeCambia) {
    Ventana& v = Instancia();
    EXPECT_TRUE(v.MiVersion->isHidden());
    TituloMiniWeb(QStringLiteral("Manual de usuario"));
    EXPECT_FALSE(v.MiVersion->isHidden());
    EXPECT_EQ(v.MiVersion->Texto(), QStringLiteral("Manual de usuario"));
    TituloMiniWeb(QString());
    EXPECT_EQ(v.MiVersion->Texto(), TituloPrograma());
    // Sin versión propia de la aplicación, la del paquete.
    EXPECT_EQ(TituloPrograma(),
              QStringLiteral("Programa pruebas_minihelp  -  Versión " ZOQ_VERSION_PAQUETE));
}

TEST_F(VentanaAyuda, ElBotonCerrarYEscapeDescarganLaVentana) {
    Ventana* v = &Instancia();
    EXPECT_EQ(v->cmdCerrar->toolTip(), QStringLiteral("Cerrar"));
    v->show();
    v->cmdCerrar->click();
    EXPECT_FALSE(Cargada());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    v = &Instancia();
    v->FalloNavegacion = true;
    v->show();
    QTest::keyClick(v, Qt::Key_Escape);
    EXPECT_FALSE(Cargada());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // La siguiente carga empieza con el indicador de fallo borrado.
    EXPECT_FALSE(Instancia().FalloNavegacion);
}

TEST_F(VentanaAyuda, ElModuloWebSeBuscaJuntoALaBiblioteca) {
    ASSERT_FALSE(qEnvironmentVariableIsSet("ZOQ_CARPETA_MODULOS"));
    EXPECT_TRUE(CarpetaModulos().endsWith(QStringLiteral("/zoq/modulos")));
    EXPECT_EQ(QFileInfo(RutaModuloWeb()).dir().absolutePath(), CarpetaModulos());
}

// Sin el módulo del navegador web, o con uno que no se puede cargar (como cuando falta Qt
// WebEngine en el sistema), la ventana usa su visor local: los ficheros de ayuda se abren, una
// página de la red no (Problema y la ventana descargada), y la ayuda en RTF sigue.
class SinModuloWeb : public VentanaAyuda, public ::testing::WithParamInterface<bool> {};

TEST_P(SinModuloWeb, LaAyudaLocalSeAbreConElVisorLocalYUnaPaginaDeLaRedNo) {
    const bool roto = GetParam();
    QTemporaryDir carpeta;
    ASSERT_TRUE(carpeta.isValid());
    const auto restaurar = qScopeGuard([] { qunsetenv("ZOQ_CARPETA_MODULOS"); });
    qputenv("ZOQ_CARPETA_MODULOS",
            QFile::encodeName(roto ? carpeta.path() : carpeta.filePath("no-existe")));
    if (roto) {
        // Un fichero con el nombre del módulo que no es una biblioteca.
        QFile modulo(RutaModuloWeb());
        ASSERT_TRUE(modulo.open(QIODevice::WriteOnly));
        modulo.write("no es una biblioteca");
    }

    Instancia().show();
    bool problema = false;
    MiExplorer(Datos("ayuda.html"), problema);
    EXPECT_FALSE(problema);
    ASSERT_TRUE(Cargada());
    EXPECT_FALSE(ModuloWebCargado());
    EXPECT_FALSE(Instancia().MiniWeb->isHidden());
    EXPECT_EQ(Instancia().MiVersion->Texto(), TituloPrograma());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    MiExplorer(QStringLiteral("http://127.0.0.1:1/"), problema);
    EXPECT_TRUE(problema);
    EXPECT_FALSE(Cargada());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    CargarAyuda(Datos("ayuda.rtf"));
    EXPECT_EQ(Instancia().TextoAyuda->document()->firstBlock().text(),
              QStringLiteral("Ayuda de facturación"));
}

INSTANTIATE_TEST_SUITE_P(AusenteORoto, SinModuloWeb, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) {
                             return i.param ? "ModuloRoto" : "SinModulo";
                         });

} // namespace
