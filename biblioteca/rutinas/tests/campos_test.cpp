// Campos reales manejados con el teclado, como lo haría el usuario (plataforma offscreen; los
// casos «EnPantalla», en una pantalla X real, donde la activación y el foco son de verdad).
#include "en_pantalla.h"
#include "qt_gtest.h"
#include "rutinas/avisos.h"
#include "rutinas/campos.h"
#include "rutinas/controles.h"
#include "rutinas/generales.h"
#include "rutinas/nucleo/descriptor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace rutinas;

namespace {

void Asentar() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Ventana con un campo y otro detrás en el orden de tabulación; los avisos de descriptor
// se recogen en lugar de mostrarse.
class Campos : public ::testing::Test {
protected:
    void SetUp() override {
        anterior_ = PonerAvisadorFaltaDato([this](const QString& t) { avisos.append(t); });
        FechaTrabajo = QDate(2026, 12, 15);
        auto* capa = new QVBoxLayout(&ventana);
        campo = new QLineEdit(&ventana);
        campo->setObjectName("campo");
        siguiente = new QLineEdit(&ventana);
        siguiente->setObjectName("siguiente");
        PonerTag(siguiente, "T(m) A(I) L(30)");
        capa->addWidget(campo);
        capa->addWidget(siguiente);
        ventana.show();
        QApplication::setActiveWindow(&ventana);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&ventana));
    }
    void TearDown() override {
        PonerAvisadorFaltaDato(std::move(anterior_));
        FechaTrabajo = QDate();
        SinUltimoCampo = false;
    }

    // Prepara el campo con un descriptor, un texto y el foco (sin pasar por EntrarCampo).
    void Preparar(const QString& tag, const QString& texto = QString()) {
        PonerTag(campo, tag);
        campo->setText(texto);
        campo->setFocus();
        Asentar();
        ConectarCampo(campo);
        ConectarCampo(siguiente);
    }

    void Teclear(QWidget* w, const QString& teclas) {
        for (QChar c : teclas)
            QTest::keyClick(w, c.toLatin1() ? c.toLatin1() : '?');
        Asentar();
    }

    QWidget ventana;
    QLineEdit* campo = nullptr;
    QLineEdit* siguiente = nullptr;
    QStringList avisos;

private:
    Avisador anterior_;
};

} // namespace

TEST_F(Campos, TeclasPorTipo) {
    struct Caso {
        const char* tag;
        const char* teclas;
        const char* texto;
        bool pasaElFoco;
    };
    const Caso casos[] = {
        {"T(N) L(12) A(D)", "1234,567", "1234.56", false},
        {"T(N) L(12) A(D)", "-12", "-12", false},
        {"T(N) L(12) A(D)", "1-2a.3.", "12.3", false},
        {"T(n) L(12) A(D)", "-5", "5", false},
        {"T(n) L(12) A(D) D(0)", "5,", "5", false},
        {"T(N) L(12) A(D) D(3)", "1.2345", "1.234", false},
        {"T(C) L(12) A(I)", "43,12345", "43.12345", false},
        {"T(F) L(10) A(I)", "05-03.26", "05/03/26", false},
        {"T(F) L(10) A(I)", "/05//03/26/", "05/03/26", false},
        {"T(H) L(5) A(I)", "9.30:", "9:30", false},
        {"T(D) L(6) A(C)", "1a2-3", "123", false},
        {"T(M) L(10) A(I)", "abc", "ABC", false},
        {"T(X) L(10) A(I)", "12345678?", "12345678Z", false},
        {"T(X) L(10) A(I)", "?", "", false},
        {"T(m) L(10) A(I)", "a,b.c", "a,b.c", false},
        {"T(m) L(5) A(I)", "abcd", "abcd", false},
        {"T(m) L(5) A(I)", "abcde", "abcde", true},
        {"T(m) L(5) A(I)", "abcdefg", "abcde", true},
        {"T(D) L(3) A(C)", "12x", "12", false},
    };
    for (const Caso& c : casos) {
        Preparar(c.tag);
        Teclear(campo, c.teclas);
        EXPECT_EQ(campo->text(), c.texto) << c.tag << " " << c.teclas;
        EXPECT_EQ(QApplication::focusWidget() == siguiente, c.pasaElFoco)
            << c.tag << " " << c.teclas;
    }
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Campos, DecimalesSegunDondeEsteElCursor) {
    Preparar("T(N) L(12) A(D)", "12.34");
    campo->setCursorPosition(5);
    Teclear(campo, "5");
    EXPECT_EQ(campo->text(), "12.34");
    campo->setCursorPosition(3);
    Teclear(campo, "5");
    EXPECT_EQ(campo->text(), "12.534");
    campo->setCursorPosition(0);
    Teclear(campo, "-");
    EXPECT_EQ(campo->text(), "-12.534");
}

TEST_F(Campos, LasLetrasCompuestasPasanPorElMismoFiltro) {
    Preparar("T(M) L(3) A(I)", "PE");
    auto componer = [this](const QString& letra) {
        QInputMethodEvent e;
        e.setCommitString(letra);
        QCoreApplication::sendEvent(campo, &e);
        Asentar();
    };
    componer(QString::fromUtf8("ñ"));
    EXPECT_EQ(campo->text(), QString::fromUtf8("PEÑ"));
    EXPECT_EQ(QApplication::focusWidget(), siguiente); // lleno: el foco ha pasado
    Preparar("T(D) L(6) A(C)", "1");
    componer(QString::fromUtf8("á"));
    EXPECT_EQ(campo->text(), "1");
}

TEST_F(Campos, CampoLlenoConSeleccionAdmiteLaTecla) {
    Preparar("T(m) L(5) A(I)", "abcde");
    campo->setSelection(1, 2);
    Teclear(campo, "x");
    EXPECT_EQ(campo->text(), "axde");
    EXPECT_EQ(QApplication::focusWidget(), campo);
}

TEST_F(Campos, IntroPasaAlSiguienteSinEscribir) {
    Preparar("T(N) L(12) A(D)", "12");
    QTest::keyClick(campo, Qt::Key_Return);
    Asentar();
    EXPECT_EQ(QApplication::focusWidget(), siguiente);
    EXPECT_EQ(campo->text(), "12,00"); // al salir, forma de ver
}

TEST_F(Campos, AtajosYTeclasSinCaracterSiguenSuCamino) {
    Preparar("T(D) L(6) A(C)", "123");
    QTest::keyClick(campo, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(campo->selectedText(), "123");
    QTest::keyClick(campo, Qt::Key_Home);
    QTest::keyClick(campo, Qt::Key_Delete);
    EXPECT_EQ(campo->text(), "23");
    QTest::keyClick(campo, Qt::Key_Backspace);
    EXPECT_EQ(campo->text(), "23");
    QTest::keyClick(campo, Qt::Key_End);
    QTest::keyClick(campo, Qt::Key_Backspace);
    EXPECT_EQ(campo->text(), "2");
}

TEST_F(Campos, MasPoneElValorPorOmisionEnCadaClaseDeControl) {
    // Cuadro de texto.
    Preparar("T(m) L(10) A(I) +(Madrid)", "Toledo");
    Teclear(campo, "+");
    EXPECT_EQ(campo->text(), "Madrid");
    EXPECT_EQ(QApplication::focusWidget(), siguiente);
    // Sin "+" en el descriptor: queda vacío.
    Preparar("T(m) L(10) A(I)", "Toledo");
    Teclear(campo, "+");
    EXPECT_EQ(campo->text(), "");

    // Casilla.
    auto* casilla = new QCheckBox("Activo", &ventana);
    ventana.layout()->addWidget(casilla);
    QWidget::setTabOrder(casilla, siguiente);
    PonerTag(casilla, "T(m) L(1) A(I) +(1)");
    ConectarCampo(casilla);
    casilla->setFocus();
    Asentar();
    Teclear(casilla, "+");
    EXPECT_EQ(casilla->checkState(), Qt::Checked);
    EXPECT_EQ(QApplication::focusWidget(), siguiente);
    // Otras letras no le llegan al motor: la casilla sigue como estaba.
    casilla->setFocus();
    Asentar();
    Teclear(casilla, "x");
    EXPECT_EQ(QApplication::focusWidget(), casilla);

    // Combinado de lista fija: se elige la entrada igual sin blancos.
    auto* lista = new QComboBox(&ventana);
    lista->addItems({" A ", " B "});
    ventana.layout()->addWidget(lista);
    QWidget::setTabOrder(lista, siguiente);
    PonerTag(lista, "T(m) L(1) A(I) +(B)");
    ConectarCampo(lista);
    lista->setFocus();
    Asentar();
    Teclear(lista, "+");
    EXPECT_EQ(lista->currentIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), siguiente);

    // Combinado editable: el valor va a su texto.
    auto* editable = new QComboBox(&ventana);
    editable->setEditable(true);
    editable->addItems({"uno", "dos"});
    ventana.layout()->addWidget(editable);
    PonerTag(editable, "T(M) L(9) A(I) +(TRES)");
    ConectarCampo(editable);
    editable->setFocus();
    Asentar();
    Teclear(editable, "ab");
    EXPECT_EQ(editable->currentText(), "AB");
    Teclear(editable, "+");
    EXPECT_EQ(editable->currentText(), "TRES");
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Campos, EntrarYSalirDeCadaTipo) {
    struct Caso {
        const char* tag;
        const char* tecleado;
        const char* visto;
        const char* editado;
    };
    const Caso casos[] = {
        {"T(N) L(12) A(D) D(3)", "1234.5", "1.234,500", "1234.500"},
        {"T(N) L(12) A(D)", "", "", ""},
        {"T(n) L(12) A(D) D(0)", "1234.6", "1.235", "1235"},
        {"T(D) L(6) A(C)", "42", "000042", "000042"},
        {"T(D) L(6) A(D)", "42", "    42", "42"},
        {"T(D) L(6) A(I)", "42", "42    ", "42"},
        {"T(F) L(10) A(I)", "7", "07 dic 2026", "07/12/2026"},
        {"T(F) L(10) A(I)", "31/2", "", ""},
        {"T(f) L(10) A(I)", "24/6", "24 junio", "24/06/2026"},
        {"T(C) L(8) A(I)", "43.15", "43000015", "43000015"},
        {"T(H) L(5) A(I)", "7:5", "07:05", "07:05"},
        {"T(X) L(9) A(I)", "12345678?", "12345678Z", "12345678Z"},
        {"T(M) L(9) A(I)", " ABC ", "ABC", "ABC"}, // al entrar se quitan los blancos
    };
    en_pantalla::LeerAvisos usuario; // el de la fecha que no existe
    PonerTag(campo, casos[0].tag);
    ConectarCampo(campo);
    ConectarCampo(siguiente);
    for (const Caso& c : casos) {
        siguiente->setFocus();
        Asentar();
        PonerTag(campo, c.tag);
        campo->setText(c.tecleado);
        campo->setFocus(); // entra: forma de edición
        Asentar();
        siguiente->setFocus(); // sale: forma de ver
        Asentar();
        EXPECT_EQ(campo->text(), c.visto) << c.tag << " " << c.tecleado;
        campo->setFocus();
        Asentar();
        const QString editado = QString::fromUtf8(c.editado);
        EXPECT_EQ(campo->text(), editado) << c.tag << " " << c.tecleado;
        EXPECT_EQ(campo->selectedText(), editado) << c.tag; // todo seleccionado
    }
    EXPECT_EQ(usuario.textos, QStringList{"La fecha «31/2» no existe y se ha borrado del campo."});
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Campos, ElColorPropioSeGuardaEnPYVuelveAlSalir) {
    ConectarCampo(campo);
    ConectarCampo(siguiente);
    PonerTag(campo, "T(m) A(I) L(30)");
    siguiente->setFocus();
    Asentar();

    campo->setFocus();
    Asentar();
    EXPECT_EQ(Tag(campo), "T(m) A(I) L(30) P(-2147483643)");
    EXPECT_EQ(campo->palette().color(QPalette::Base), QColor(192, 255, 255));
    siguiente->setFocus();
    Asentar();
    EXPECT_EQ(BackColor(campo), kColorFondoSistema);

    PonerBackColor(campo, 0x00FFFF); // amarillo propio
    campo->setFocus();
    Asentar();
    EXPECT_EQ(Tag(campo), "T(m) A(I) L(30) P(65535)"); // solo cambia el valor
    EXPECT_EQ(BackColor(campo), 16777152);
    siguiente->setFocus();
    Asentar();
    EXPECT_EQ(campo->palette().color(QPalette::Base), QColor(255, 255, 0));
}

TEST_F(Campos, UltimoCampoYEnFormato) {
    ConectarCampo(campo);
    ConectarCampo(siguiente);
    PonerTag(campo, "T(N) L(12) A(D)");
    QList<bool> enFormato;
    QObject::connect(campo, &QLineEdit::textChanged, [&] { enFormato.append(EnFormato); });
    campo->setFocus();
    Asentar();
    Teclear(campo, "5");
    siguiente->setFocus();
    Asentar();
    EXPECT_EQ(campo->text(), "5,00");
    EXPECT_EQ(enFormato, QList<bool>({false, true})); // lo tecleado y la salida
    EXPECT_FALSE(EnFormato);
    EXPECT_EQ(UltimoCampo, campo);

    SinUltimoCampo = true;
    campo->setFocus();
    Asentar();
    siguiente->setFocus();
    Asentar();
    campo->setFocus();
    Asentar();
    EXPECT_EQ(UltimoCampo, campo); // no ha pasado a "siguiente"
    SinUltimoCampo = false;
    siguiente->setFocus();
    Asentar();
    campo->setFocus();
    Asentar();
    EXPECT_EQ(UltimoCampo, siguiente);
}

TEST_F(Campos, EntrarEnUnControlSinTextoAvisa) {
    QApplication::setApplicationName("Contabilidad");
    QCheckBox casilla;
    PonerTag(&casilla, "T(m) L(1) A(I)");
    QString texto;
    QTimer::singleShot(0, [&] {
        if (auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texto = caja->text();
            caja->accept();
        }
    });
    EntrarCampo(&casilla);
    EXPECT_EQ(texto, "El objeto no acepta esta propiedad o métodoContabilidad");
    EXPECT_FALSE(EnFormato);
}

TEST_F(Campos, PonerFocoNoFallaNunca) {
    PonerFoco(siguiente);
    Asentar();
    EXPECT_EQ(QApplication::focusWidget(), siguiente);
    campo->setEnabled(false);
    PonerFoco(campo);
    campo->setEnabled(true);
    campo->hide();
    PonerFoco(campo);
    PonerFoco(nullptr);
    QPointer<QWidget> ido(new QLineEdit(&ventana));
    delete ido;
    PonerFoco(ido);
    Asentar();
    EXPECT_EQ(QApplication::focusWidget(), siguiente);
}

TEST_F(Campos, EnPantalla_AlAbrirseLaVentanaSuPrimerCampoEntra) {
    // Al abrirse un formulario, su primer campo recibe el foco por la activación de la
    // ventana: ha de pasar a la forma de edición, y salir con Tab de vuelta a la misma forma
    // de ver (no a la de lo que tenía leído como si fuera de edición).
    struct Caso {
        const char* tag;
        const char* cargado;
        const char* editado;
    };
    const Caso casos[] = {
        {"T(N) L(12) A(D)", "1.234,50", "1234.50"},
        {"T(F) L(10) A(I)", "07 dic 2026", "07/12/2026"},
        {"T(N) L(12) A(D)", "", ""},
    };
    for (const Caso& c : casos) {
        QWidget formulario;
        auto* capa = new QVBoxLayout(&formulario);
        auto* primero = new QLineEdit(QString::fromUtf8(c.cargado));
        auto* otro = new QLineEdit;
        capa->addWidget(primero);
        capa->addWidget(otro);
        PonerTag(primero, c.tag);
        PonerTag(otro, "T(m) A(I) L(30)");
        ConectarCampos(&formulario);
        formulario.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&formulario));
        EXPECT_TRUE(QTest::qWaitFor([primero] { return primero->hasFocus(); }));
        EXPECT_EQ(primero->selectedText(), QString::fromUtf8(c.editado)) << c.tag;
        EXPECT_EQ(BackColor(primero), kColorEdicion);
        if (c.cargado[0] == 0) {
            // Irse a otra ventana y volver no es salir ni entrar: lo tecleado sigue igual.
            Teclear(primero, "5");
            QWidget otra;
            otra.show();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&otra));
            formulario.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&formulario));
            EXPECT_TRUE(QTest::qWaitFor([primero] { return primero->hasFocus(); }));
            EXPECT_EQ(primero->text(), "5");
            EXPECT_FALSE(primero->hasSelectedText());
            continue;
        }
        en_pantalla::Pulsar(Qt::Key_Tab);
        Asentar();
        EXPECT_TRUE(otro->hasFocus());
        EXPECT_EQ(primero->text(), QString::fromUtf8(c.cargado)) << c.tag;
    }
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Campos, EnPantalla_TrasUnAvisoElFocoPasaAlSiguiente) {
    // Un campo sin L avisa con un cuadro modal a cada tecla, y el foco ha de pasar al control
    // que sigue al campo cuando el cuadro se cierra con Intro (al cerrarse, nadie tiene el
    // foco aún). Al salir, el campo vuelve a avisar de la L que le falta.
    PonerAvisadorFaltaDato([](const QString& t) { AvisoCritico(t); });
    Preparar("T(m) A(I)");
    int avisos = 0;
    QTimer usuario;
    QObject::connect(&usuario, &QTimer::timeout, [&] {
        if (qobject_cast<QMessageBox*>(QApplication::activeWindow())) {
            ++avisos;
            en_pantalla::Pulsar(Qt::Key_Return);
        }
    });
    usuario.start(20);
    Teclear(campo, "a");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == siguiente; }, 3000));
    EXPECT_EQ(avisos, 2);
    EXPECT_EQ(campo->text(), "");
}

TEST_F(Campos, EnPantalla_LoQueConfirmaElMetodoDeEntradaPasaPorElFiltro) {
    // Cada carácter de un texto confirmado de golpe (o de fuera del plano básico) pasa por
    // el mismo filtro y la misma regla de longitud que lo tecleado.
    struct Caso {
        const char* tag;
        const char* antes;
        const char* confirmado;
        const char* despues;
        bool pasaElFoco;
    };
    const Caso casos[] = {
        {"T(D) L(3) A(C)", "12", "abc", "12", false},
        {"T(D) L(6) A(C)", "1", "2a3", "123", false},
        {"T(M) L(5) A(I)", "ab", "cdefg", "abCDE", true},
        {"T(m) L(9) A(I)", "a", "\U0001F600b", "a\U0001F600b", false},
        {"T(D) L(9) A(C)", "1", "\U0001F6002", "12", false},
    };
    for (const Caso& c : casos) {
        Preparar(c.tag, QString::fromUtf8(c.antes));
        campo->deselect();
        campo->end(false);
        QInputMethodEvent confirmar;
        confirmar.setCommitString(QString::fromUtf8(c.confirmado));
        QCoreApplication::sendEvent(QApplication::focusWidget(), &confirmar);
        Asentar();
        EXPECT_EQ(campo->text(), QString::fromUtf8(c.despues)) << c.tag << " " << c.confirmado;
        EXPECT_EQ(QApplication::focusWidget() == siguiente, c.pasaElFoco) << c.tag;
    }
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Campos, EnPantalla_LoPegadoPasaPorLasReglasDelCampoONoEntra) {
    // Con el portapapeles de verdad y cada manera de pegar: lo pegado entra entero por las
    // reglas del campo o no entra nada, y entonces se dice.
    enum class Como { CtrlV, MayusInsert, Menu, Central, Soltar };
    struct Caso {
        const char* tag;
        const char* antes; // todo seleccionado al pegar
        QString pegado;
        Como como;
        const char* despues;
        bool avisa;
    };
    // Las reglas una a una las prueba DecidirPegado; aquí, cada manera de pegar.
    const Caso casos[] = {
        {"T(N) L(12) A(D) D(2)", "", "1.234,56", Como::CtrlV, "1234.56", false},
        {"T(N) L(12) A(D) D(2)", "1234.50", "12 345,67 €", Como::MayusInsert, "1234.50", true},
        {"T(N) L(12) A(D) D(2)", "1234.50", "abc", Como::Menu, "1234.50", true},
        {"T(M) L(40) A(I)", "", "pérez", Como::Menu, "PÉREZ", false},
        {"T(N) L(12) A(D) D(2)", "", "1.234", Como::Central, "", true},
        {"T(X) L(9) A(I)", "", "12.345.678-z", Como::Soltar, "", true},
        {"T(X) L(9) A(I)", "", "12345678?", Como::Soltar, "12345678Z", false},
    };
    en_pantalla::LeerAvisos usuario;
    for (const Caso& c : casos) {
        const std::string que = std::string(c.tag) + " " + c.pegado.toStdString();
        Preparar(c.tag, QString::fromUtf8(c.antes));
        campo->selectAll();
        const qsizetype avisosAntes = usuario.textos.size();
        QClipboard* portapapeles = QGuiApplication::clipboard();
        portapapeles->setText(c.pegado);
        switch (c.como) {
        case Como::CtrlV:
            ASSERT_TRUE(en_pantalla::TeclearEnX("ctrl+v"));
            break;
        case Como::MayusInsert:
            ASSERT_TRUE(en_pantalla::TeclearEnX("shift+Insert"));
            break;
        case Como::Menu: {
            ASSERT_TRUE(en_pantalla::TeclearEnX("Menu")); // la tecla del menú del campo
            ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget(); }));
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            QAction* pegar = menu->findChild<QAction*>("edit-paste");
            ASSERT_NE(pegar, nullptr);
            menu->setActiveAction(pegar);
            ASSERT_TRUE(en_pantalla::TeclearEnX("Return"));
            break;
        }
        case Como::Central:
            portapapeles->setText(c.pegado, QClipboard::Selection);
            campo->clear(); // el botón central pega donde se pulsa: en un campo vacío
            ASSERT_TRUE(en_pantalla::PulsarConElRaton(campo, 2));
            break;
        case Como::Soltar: {
            auto* datos = new QMimeData;
            datos->setText(c.pegado);
            const QPointF punto = campo->rect().center();
            QDragEnterEvent entra(punto.toPoint(), Qt::CopyAction, datos, Qt::LeftButton, {});
            QCoreApplication::sendEvent(campo, &entra);
            QDropEvent suelta(punto, Qt::CopyAction, datos, Qt::LeftButton, {});
            QCoreApplication::sendEvent(campo, &suelta);
            delete datos;
            break;
        }
        }
        if (c.avisa) {
            ASSERT_TRUE(usuario.Esperar(avisosAntes + 1)) << que;
            EXPECT_TRUE(usuario.textos.last().startsWith("No se puede pegar «")) << que;
        } else {
            QTest::qWait(100);
            EXPECT_EQ(usuario.textos.size(), avisosAntes) << que;
        }
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return campo->text() == QString::fromUtf8(c.despues); }, 2000))
            << que << ": «" << campo->text().toStdString() << "»";
    }
    EXPECT_TRUE(avisos.isEmpty());
}

TEST_F(Campos, EnPantalla_ElFocoQuePasaConUnCuadroEncimaSaleDelCampo) {
    // Un botón con atajo (el foco sigue en el campo) abre un cuadro y, mientras está encima,
    // el programa pone el foco de la ventana en otro campo: al volver a la ventana, el primero
    // ha de salir (forma de ver, su color) y solo el otro queda pintado como en edición.
    Preparar("T(N) L(12) A(D)");
    Teclear(campo, "5");
    bool cerrado = false;
    QTimer usuario;
    QObject::connect(&usuario, &QTimer::timeout, [&] {
        auto* caja = qobject_cast<QMessageBox*>(QApplication::activeWindow());
        if (!caja || cerrado)
            return;
        cerrado = true;
        siguiente->setFocus(); // la ventana no está activa: el cambio se ve al volver a ella
        en_pantalla::TeclearEnX("Return");
    });
    usuario.start(20);
    QTimer::singleShot(0, [] { AvisoSimple("Falta un dato."); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return cerrado; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return siguiente->hasFocus(); }));
    Asentar();
    EXPECT_EQ(campo->text(), "5,00");
    EXPECT_EQ(BackColor(campo), kColorFondoSistema);
    EXPECT_EQ(BackColor(siguiente), kColorEdicion);
}

TEST(LlenarLista, DeTextoODeFichero) {
    QComboBox combo;
    LlenarLista("uno<<dos<<tres", &combo);
    EXPECT_EQ(combo.count(), 3);
    LlenarLista("A;B<<C", &combo);
    ASSERT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.itemText(1), "B<<C");
    LlenarLista("sola", &combo);
    EXPECT_EQ(combo.count(), 1);
    LlenarLista("@/no/existe.txt", &combo);
    EXPECT_EQ(combo.count(), 0);
    QTemporaryDir dir;
    QFile f(dir.filePath("opciones.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Contado\r\nTransferencia\r\nRecibo\r\n");
    f.close();
    LlenarLista("@" + f.fileName(), &combo);
    ASSERT_EQ(combo.count(), 3);
    EXPECT_EQ(combo.itemText(2), "Recibo");
}

TEST(IndiceImpresora, LaActualEntreLasInstaladas) {
    class Falsas : public Impresoras {
    public:
        explicit Falsas(QString* actual) : actual_(actual) {}
        QStringList Nombres() const override { return {"PDF", "Laser", "Matricial"}; }
        QString Actual() const override { return *actual_; }

    private:
        QString* actual_;
    };
    QString actual = "Laser";
    PonerImpresoras(std::make_unique<Falsas>(&actual));
    EXPECT_EQ(IndiceImpresora(), 1);
    actual = "Matricial";
    EXPECT_EQ(IndiceImpresora(), 2);
    actual = "Retirada";
    EXPECT_EQ(IndiceImpresora(), 0);
    PonerImpresoras(nullptr);
}
