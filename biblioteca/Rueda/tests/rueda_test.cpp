// La rueda del ratón en una ventana enganchada: una línea al control con el foco, nada al
// control bajo el puntero, el evento sigue llegando a la ventana.
#include "Rueda/Rueda.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

class Ventana : public QWidget {
public:
    int ruedas = 0;

protected:
    void wheelEvent(QWheelEvent* e) override {
        ++ruedas;
        e->accept();
    }
};

class RuedaTest : public ::testing::Test {
protected:
    Ventana ventana;
    QTableWidget* rejilla = new QTableWidget(200, 3);
    QListWidget* lista = new QListWidget;
    QTextEdit* texto = new QTextEdit;
    QComboBox* combo = new QComboBox;
    QLineEdit* linea = new QLineEdit;
    QPushButton* boton = new QPushButton(QStringLiteral("Salir"));

    void SetUp() override {
        auto* capa = new QVBoxLayout(&ventana);
        for (QWidget* w :
             std::initializer_list<QWidget*>{rejilla, lista, texto, combo, linea, boton})
            capa->addWidget(w);
        for (int i = 0; i < 200; ++i) {
            lista->addItem(QString::number(i));
            combo->addItem(QString::number(i));
            texto->append(QStringLiteral("línea %1").arg(i));
        }
        ventana.resize(400, 800);
        ventana.show();
        for (QAbstractScrollArea* a :
             std::initializer_list<QAbstractScrollArea*>{rejilla, lista, texto})
            a->verticalScrollBar()->setValue(5);
    }
    void TearDown() override {
        Rueda::Desenganchar(&ventana);
        combo->hidePopup();
    }

    // Una muesca de la rueda sobre `bajo` (hacia el usuario si `muescas` es negativo).
    static void Rodar(QWidget* bajo, int muescas = -1, int paso = 120) {
        const QPointF local(5, 5);
        QWheelEvent e(local, bajo->mapToGlobal(local), QPoint(), QPoint(0, muescas * paso),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bajo, &e);
    }
    static int Pos(QAbstractScrollArea* a) { return a->verticalScrollBar()->value(); }
};

} // namespace

TEST_F(RuedaTest, UnaLineaAlControlConFocoYNadaAlDeDebajo) {
    Rueda::Enganchar(&ventana);
    struct Caso {
        QAbstractScrollArea* foco;
        int muescas, paso;
        int esperado;
    };
    // Hacia el usuario baja una línea, hacia fuera sube; el tamaño del paso no cuenta.
    const Caso casos[] = {
        {rejilla, -1, 120, 6}, {rejilla, 1, 120, 4}, {rejilla, -1, 480, 6},
        {rejilla, -1, 15, 6},  {lista, -1, 120, 6},  {lista, 1, 120, 4},
    };
    for (const Caso& c : casos) {
        rejilla->verticalScrollBar()->setValue(5);
        lista->verticalScrollBar()->setValue(5);
        c.foco->setFocus();
        QAbstractScrollArea* otro =
            c.foco == rejilla ? static_cast<QAbstractScrollArea*>(lista) : rejilla;
        Rodar(otro->viewport(), c.muescas, c.paso);
        EXPECT_EQ(Pos(c.foco), c.esperado) << c.muescas << " " << c.paso;
        EXPECT_EQ(Pos(otro), 5);
    }
    texto->setFocus();
    const int antes = Pos(texto);
    Rodar(rejilla->viewport());
    EXPECT_EQ(Pos(texto), antes + texto->verticalScrollBar()->singleStep());
    EXPECT_EQ(Pos(rejilla), 5);
}

TEST_F(RuedaTest, ConElFocoEnUnBotonOEnUnaLineaNadaSeDesplaza) {
    Rueda::Enganchar(&ventana);
    for (QWidget* foco : {static_cast<QWidget*>(boton), static_cast<QWidget*>(linea)}) {
        foco->setFocus();
        Rodar(lista->viewport());
        Rodar(rejilla->viewport(), 1);
        EXPECT_EQ(Pos(lista), 5);
        EXPECT_EQ(Pos(rejilla), 5);
    }
}

TEST_F(RuedaTest, LaVentanaSigueRecibiendoElEvento) {
    Rueda::Enganchar(&ventana);
    rejilla->setFocus();
    Rodar(lista->viewport());
    Rodar(boton);
    Rodar(&ventana);
    EXPECT_EQ(ventana.ruedas, 3);
    EXPECT_EQ(Pos(rejilla), 8);
}

TEST_F(RuedaTest, ElCuadroCombinadoSoloDesplazaSuListaAbierta) {
    Rueda::Enganchar(&ventana);
    combo->setCurrentIndex(10);
    combo->setFocus();
    Rodar(combo);
    Rodar(combo, 1);
    EXPECT_EQ(combo->currentIndex(), 10);
    combo->showPopup();
    ASSERT_TRUE(combo->view()->isVisible());
    const int antes = combo->view()->verticalScrollBar()->value();
    Rodar(combo->view()->viewport());
    EXPECT_EQ(combo->view()->verticalScrollBar()->value(), antes + 1);
    EXPECT_EQ(combo->currentIndex(), 10);
}

TEST_F(RuedaTest, DesenganchadaVuelveElComportamientoPropio) {
    // Muchas activaciones y desactivaciones: tras la última, la rueda es la de Qt.
    Rueda::SeguirActivacion(&ventana);
    for (int i = 0; i < 5; ++i) {
        QEvent activar(QEvent::WindowActivate), desactivar(QEvent::WindowDeactivate);
        QApplication::sendEvent(&ventana, &activar);
        EXPECT_EQ(Rueda::VentanaEnganchada(), &ventana);
        QApplication::sendEvent(&ventana, &desactivar);
        EXPECT_EQ(Rueda::VentanaEnganchada(), nullptr);
    }
    rejilla->setFocus();
    Rodar(lista->viewport());
    EXPECT_GT(Pos(lista), 5); // la lista bajo el puntero se desplaza a su manera
    EXPECT_EQ(Pos(rejilla), 5);
}

TEST_F(RuedaTest, SoloUnaVentanaEnganchadaALaVez) {
    Ventana otra;
    auto* suLista = new QListWidget(&otra);
    for (int i = 0; i < 200; ++i)
        suLista->addItem(QString::number(i));
    otra.show();
    Rueda::Enganchar(&ventana);
    Rueda::Enganchar(&otra);
    EXPECT_EQ(Rueda::VentanaEnganchada(), &otra);
    rejilla->setFocus();
    Rodar(lista->viewport());
    EXPECT_EQ(Pos(rejilla), 5);    // la primera ya no está enganchada
    Rueda::Desenganchar(&ventana); // desenganchar la que no está no suelta la otra
    EXPECT_EQ(Rueda::VentanaEnganchada(), &otra);
    Rueda::Desenganchar(&otra);
    EXPECT_EQ(Rueda::VentanaEnganchada(), nullptr);
}
