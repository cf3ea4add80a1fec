// Escalado, letra, centrado, colores y avisos sobre ventanas reales (plataforma offscreen).
#include "basicos/pantalla.h"
#include "qt_gtest.h"
#include "rutinas/avisos.h"
#include "rutinas/controles.h"
#include "rutinas/escalado.h"
#include "rutinas/nucleo/descriptor.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace rutinas;

namespace {

// Área de trabajo de 800 × 600 píxeles a 15 twips por píxel: 12000 × 9000 twips.
class Ventanas : public ::testing::Test {
protected:
    void SetUp() override {
        basicos::MedidasPantalla m;
        m.areaTrabajo = QRect(0, 0, 800, 600);
        basicos::PonerMedidasPantalla(m);
        FactorX = FactorY = 0;
        SinEscalar = false;
    }
    void TearDown() override {
        basicos::PonerMedidasPantalla(std::nullopt);
        FactorX = FactorY = 0;
        SinEscalar = false;
    }
};

// Rejilla mínima con anchos de columna en twips.
class RejillaFalsa : public QWidget, public AnchosDeColumna {
public:
    using QWidget::QWidget;
    int Cols() const override { return static_cast<int>(anchos.size()); }
    int ColWidth(int c) const override { return anchos[static_cast<size_t>(c)]; }
    void setColWidth(int c, int t) override { anchos[static_cast<size_t>(c)] = t; }
    std::vector<int> anchos{0, 1200, 3000};
};

} // namespace

TEST_F(Ventanas, LaPrincipalCalculaLosFactoresYEscalaTodo) {
    QWidget ventana;
    ventana.resize(600, 400); // 9000 × 6000 twips
    auto* marco = new QFrame(&ventana);
    marco->setGeometry(20, 20, 200, 100);
    auto* dentro = new QLabel("Dentro", marco);
    dentro->setGeometry(60, 30, 60, 18);
    auto* aparcado = new QLineEdit(&ventana);
    aparcado->setGeometry(-74000 / 15, 0, 60, 20); // −74000 twips
    QFont letra = aparcado->font();
    letra.setPointSizeF(9);
    letra.setBold(true);
    aparcado->setFont(letra);
    auto* rejilla = new RejillaFalsa(&ventana);
    rejilla->setGeometry(0, 200, 300, 150);

    float ancho = 0, alto = 0;
    EscalarFormulario(&ventana, ancho, alto, false);
    EXPECT_NEAR(FactorX, 1.1667, 1e-4);
    EXPECT_EQ(FactorY, FactorX);
    EXPECT_EQ(ventana.geometry(), QRect(0, 0, 700, 467));
    EXPECT_EQ(marco->geometry(), QRect(23, 23, 233, 117));
    EXPECT_EQ(dentro->geometry(), QRect(70, 35, 70, 21)); // los de dentro de un marco también
    // −73995 twips: su posición visible 1005 pasa a 1172,5 y sigue aparcado en −73827,5.
    EXPECT_EQ(aparcado->x(), -4922);
    EXPECT_NEAR(aparcado->font().pointSizeF(), 9 * 1.1667, 0.01);
    EXPECT_TRUE(aparcado->font().bold());
    EXPECT_EQ(rejilla->anchos, (std::vector<int>{0, 1400, 3500}));
}

TEST_F(Ventanas, SinFactoresLasDemasNoCambian) {
    QWidget ventana;
    ventana.setGeometry(100, 100, 300, 200);
    float ancho = 7, alto = 8;
    EscalarFormulario(&ventana, ancho, alto, true);
    EXPECT_EQ(ventana.geometry(), QRect(100, 100, 300, 200));
    EXPECT_EQ(ancho, 7);
    EXPECT_EQ(alto, 8);

    FactorX = FactorY = 1.5f;
    SinEscalar = true;
    EscalarFormulario(&ventana, ancho, alto, true);
    EXPECT_EQ(ventana.geometry(), QRect(100, 100, 300, 200));
}

TEST_F(Ventanas, LasDemasAplicanLosFactoresYDevuelvenSuTamano) {
    FactorX = FactorY = 1.5f;
    QWidget ventana;
    ventana.setGeometry(100, 100, 300, 200);
    auto* campo = new QLineEdit(&ventana);
    campo->setGeometry(10, 10, 100, 20);
    float ancho = 0, alto = 0;
    EscalarFormulario(&ventana, ancho, alto, true);
    EXPECT_FLOAT_EQ(ancho, 6750);
    EXPECT_FLOAT_EQ(alto, 4500);
    EXPECT_EQ(ventana.geometry(), QRect(0, 0, 450, 300));
    EXPECT_EQ(campo->geometry(), QRect(15, 15, 150, 30));
}

TEST_F(Ventanas, UnTamanoPedidoEnPixeles) {
    QWidget ventana;
    ventana.resize(400, 300);
    float ancho = 600, alto = 600;
    EscalarFormulario(&ventana, ancho, alto, false);
    EXPECT_FLOAT_EQ(FactorX, 1.5f);
    EXPECT_EQ(ventana.size(), QSize(600, 450));
}

TEST_F(Ventanas, FuenteFormularioRespetaLaMarcaFF) {
    QWidget ventana;
    auto* normal = new QLabel("a", &ventana);
    auto* propia = new QLabel("b", &ventana);
    QFont f("Courier");
    f.setPointSize(14);
    propia->setFont(f);
    PonerTag(propia, "L(3) (FF)");
    auto* otra = new QLineEdit(&ventana);
    otra->setFont(f);
    PonerTag(otra, "T(m) L(3) A(I)");
    FuenteFormulario(&ventana);
    EXPECT_EQ(normal->font().family(), "MS Shell Dlg 2");
    EXPECT_EQ(propia->font().family(), "Courier");
    EXPECT_EQ(otra->font().family(), "MS Shell Dlg 2");
    EXPECT_EQ(otra->font().pointSize(), 14);
    // Nombres de la suite servidos por letras que el sistema tiene.
    EXPECT_FALSE(QFont::substitutes("MS Shell Dlg 2").isEmpty());
    EXPECT_FALSE(QFont::substitutes("Courier").isEmpty());
}

TEST_F(Ventanas, CentrarEnElAreaDeTrabajo) {
    QWidget ventana;
    ventana.resize(400, 300); // 6000 × 4500 twips
    basicos::CentrarFormulario(&ventana);
    EXPECT_EQ(basicos::AnchoTrabajo(), 12000);
    EXPECT_EQ(basicos::AltoTrabajo(), 9000);
    // Left = (12000 − 6000) / 2 + 1 = 3001 twips, 200 píxeles.
    EXPECT_EQ(ventana.pos(), QPoint(200, 150));
}

TEST(Controles, ColorDeFondoPropioYDelEstilo) {
    QLineEdit campo;
    EXPECT_EQ(BackColor(&campo), kColorFondoSistema);
    EXPECT_LT(kColorFondoSistema, 0);
    const QColor delEstilo = campo.palette().color(QPalette::Base);
    PonerBackColor(&campo, kColorEdicion);
    EXPECT_EQ(campo.palette().color(QPalette::Base), QColor(192, 255, 255));
    EXPECT_EQ(BackColor(&campo), 16777152);
    PonerBackColor(&campo, 0x0000FF); // rojo en azul-verde-rojo
    EXPECT_EQ(campo.palette().color(QPalette::Base), QColor(255, 0, 0));
    PonerBackColor(&campo, kColorFondoSistema);
    EXPECT_EQ(BackColor(&campo), kColorFondoSistema);
    EXPECT_EQ(campo.palette().color(QPalette::Base), delEstilo);
}

TEST(Avisos, ElementoAusenteEnCuadroEstandarDeError) {
    InstalarAvisos();
    QApplication::setApplicationDisplayName("Contabilidad");
    QString texto, titulo;
    QMessageBox::Icon icono = QMessageBox::NoIcon;
    int botones = 0;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* caja = qobject_cast<QMessageBox*>(w); caja && caja->isVisible()) {
                texto = caja->text();
                titulo = caja->windowTitle();
                icono = caja->icon();
                botones = static_cast<int>(caja->buttons().size());
                caja->accept();
            }
        }
    });
    EXPECT_EQ(TipoCampo("A(I) L(30)"), "");
    EXPECT_EQ(texto, " No encontrado dato TAG obligatorio (T) Tipo en A(I) L(30)");
    EXPECT_EQ(titulo, "Contabilidad");
    EXPECT_EQ(icono, QMessageBox::Critical);
    EXPECT_EQ(botones, 1);
}
