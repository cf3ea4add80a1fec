#include "MiVisor/MiVisor.h"

#include "MiVisor/MsgBoxPlataforma.h"
#include "MiVisor/Rejilla.h"
#include "basicos/nucleo/error.h"
#include "rutinas/nucleo/escalado.h"

#include "qt_gtest.h"

#include <gtest/gtest.h>

using namespace MiVisor;

namespace {

// Recoge los mensajes de la caja estándar durante la prueba, sin ventanas.
struct CajaGrabadora {
    struct Mensaje {
        QString texto, titulo;
        int estilo;
    };
    std::vector<Mensaje> mensajes;
    CajaGrabadora() {
        PonerMsgBox([this](const QString& t, int e, const QString& ti) {
            mensajes.push_back({t, ti, e});
            return 1;
        });
    }
    ~CajaGrabadora() { PonerMsgBox({}); }
};

QStringList columna(const Rejilla& r, int c) {
    QStringList l;
    for (int f = 1; f < r.Rows(); ++f)
        l << r.TextMatrix(f, c);
    return l;
}

void ponerColumna(Rejilla& r, int c, const QStringList& textos) {
    for (int i = 0; i < textos.size(); ++i)
        PonerCelda(r, i + 1, c, textos[i]);
}

TEST(DefinirColumnas, SeparadoresYMarcas) {
    struct {
        const char* titulos;
        QStringList cabeceras;
    } casos[] = {
        {"A|B|C", {"A", "B", "C"}},
        {"A|B;C", {"A|B", "C"}}, // con los dos, manda ";"
        {"A;B;", {"A", "B"}},    // el separador final no cuenta
        {"Solo", {"Solo"}},
        {"#0;Nombre#34;Teléfono#18;Fax#18;eMail#25", {"", "Nombre", "Teléfono", "Fax", "eMail"}},
    };
    for (const auto& c : casos) {
        Rejilla r;
        DefinirColumnas(r, QString::fromUtf8(c.titulos));
        QStringList cabeceras;
        for (int i = 0; i < r.Cols(); ++i)
            cabeceras << r.TextMatrix(0, i);
        EXPECT_EQ(cabeceras, c.cabeceras) << c.titulos;
        EXPECT_EQ(r.Rows(), 2) << c.titulos;
    }
}

TEST(DefinirColumnas, AnchosYAlineacionesDeCadaElemento) {
    struct {
        const char* elemento;
        const char* titulo;
        int ancho, alinTitulo, alinDatos;
    } casos[] = {
        {"Nombre#34", "Nombre", 34 * 120, 4, 1},
        {"#0", "", 0, 4, 1},
        {"?", "?", 0, 4, 1},
        {"Fax", "Fax", 3 * 120, 4, 1},
        {"<Importe#10>", "Importe", 1200, 1, 7},
        {">Centro=", "Centro", 6 * 120, 7, 4},
        {"Dato<", "Dato<", 5 * 120, 4, 1},
    };
    for (const auto& c : casos) {
        Rejilla r;
        r.setCols(1);
        DefinirColumna(r, 0, 0, QString::fromUtf8(c.elemento));
        EXPECT_EQ(r.TextMatrix(0, 0), QString::fromUtf8(c.titulo)) << c.elemento;
        EXPECT_EQ(r.ColWidth(0), c.ancho) << c.elemento;
        EXPECT_EQ(r.FixedAlignment(0), c.alinTitulo) << c.elemento;
        EXPECT_EQ(r.ColAlignment(0), c.alinDatos) << c.elemento;
    }
}

TEST(DefinirColumnas, LosAnchosPasanPorLaEscalaDeLaSuite) {
    Rejilla r;
    rutinas::FactorX = 1.5f;
    DefinirColumnas(r, "Nombre#34;?;Fax");
    rutinas::FactorX = 0;
    EXPECT_EQ(r.ColWidth(0), 34 * 120 * 3 / 2);
    EXPECT_EQ(r.ColWidth(1), 0);
    EXPECT_EQ(r.ColWidth(2), 3 * 120 * 3 / 2);
}

TEST(DefinirColumnas, DejaUnaFilaDeDatosVisibleYRestauraRedraw) {
    Rejilla r;
    DefinirColumnas(r, "A;B");
    for (int f = 1; f <= 5; ++f)
        PonerCelda(r, f, 0, "x");
    r.setRowHeight(1, 0);
    r.setRedraw(false);
    DefinirColumnas(r, "C|D|E");
    EXPECT_EQ(r.Rows(), 2);
    EXPECT_EQ(r.Cols(), 3);
    EXPECT_EQ(r.RowHeight(1), -1);
    EXPECT_EQ(r.TextMatrix(1, 0), QString());
    EXPECT_FALSE(r.Redraw());
}

TEST(PonerCelda, CreceHastaLaFilaPedida) {
    Rejilla r;
    DefinirColumnas(r, "A;B");
    r.setRows(3);
    PonerCelda(r, 10, 1, "diez");
    EXPECT_EQ(r.Rows(), 11);
    EXPECT_EQ(LeerCelda(r, 10, 1), QStringLiteral("diez"));
    PonerCelda(r, 4, 1, "cuatro");
    EXPECT_EQ(r.Rows(), 11);
}

TEST(PonerCelda, UnaCeldaFueraDeLaRejillaEsUnError) {
    Rejilla r;
    r.setObjectName("Telfs");
    DefinirColumnas(r, "A;B");
    ponerColumna(r, 0, {"b", "a"});
    // Lo escrito en una columna que no existe no se pierde en silencio.
    EXPECT_THROW(PonerCelda(r, 1, 2, "perdido"), basicos::ErrorZoq);
    EXPECT_THROW(PonerCelda(r, -1, 0, "perdido"), basicos::ErrorZoq);
    EXPECT_THROW(LeerCelda(r, 1, -1), basicos::ErrorZoq);
    EXPECT_THROW(LeerCelda(r, 3, 0), basicos::ErrorZoq);
    try {
        LeerCelda(r, 1, 5);
        ADD_FAILURE() << "sin error";
    } catch (const basicos::ErrorZoq& e) {
        EXPECT_EQ(e.Descripcion(),
                  QStringLiteral("La columna 5 no existe en la rejilla Telfs: sus columnas van "
                                 "de la 0 a la 1."));
    }
    EXPECT_THROW(OrdenarColumna(r, 2), basicos::ErrorZoq);
    EXPECT_THROW(OrdenarColumna(r, 0, true, 7), basicos::ErrorZoq);
    EXPECT_EQ(columna(r, 0), (QStringList{"b", "a"})); // nada ordenado
    EXPECT_EQ(r.Rows(), 3);
}

TEST(PonerCelda, AcumulaImportes) {
    Rejilla r;
    DefinirColumnas(r, "Importe");
    PonerCelda(r, 1, 0, "1234.5", true);
    EXPECT_EQ(LeerCelda(r, 1, 0), QStringLiteral("1.234,50"));
    PonerCelda(r, 1, 0, "10", true);
    EXPECT_EQ(LeerCelda(r, 1, 0), QStringLiteral("1.244,50"));
    PonerCelda(r, 1, 0, "-1244.50", true);
    EXPECT_EQ(LeerCelda(r, 1, 0), QString()); // suma cero sin MostrarCeros: vacía
    PonerCelda(r, 1, 0, "0", true, true);
    EXPECT_EQ(LeerCelda(r, 1, 0), QStringLiteral("0,00"));
}

TEST(VaciarYQuitar, VaciarConservaFilasYTitulos) {
    Rejilla r;
    DefinirColumnas(r, "A;B");
    PonerCelda(r, 3, 1, "x");
    VaciarRejilla(r);
    EXPECT_EQ(r.Rows(), 4);
    EXPECT_EQ(LeerCelda(r, 3, 1), QString());
    EXPECT_EQ(LeerCelda(r, 0, 1), QStringLiteral("B"));
}

TEST(VaciarYQuitar, QuitarFila) {
    Rejilla r;
    DefinirColumnas(r, "A;B");
    ponerColumna(r, 0, {"uno", "dos", "tres"});
    QuitarFila(r, 2);
    EXPECT_EQ(columna(r, 0), (QStringList{"uno", "tres"}));
    QuitarFila(r, 1);
    QuitarFila(r, 1); // la única fila de datos se vacía y se queda
    EXPECT_EQ(r.Rows(), 2);
    EXPECT_EQ(columna(r, 0), QStringList{""});
}

TEST(Ordenar, TextoEnOrdenEspanolSinMayusculasYMarcaLaColumna) {
    Rejilla r;
    DefinirColumnas(r, "Nombre;Otra");
    ponerColumna(r, 0, {"ñu", "Nube", "ángel", "Zoe", "Angel"});
    r.setCol(1);
    OrdenarColumna(r, 0, true);
    EXPECT_EQ(columna(r, 0), (QStringList{"Angel", "ángel", "Nube", "ñu", "Zoe"}));
    EXPECT_EQ(r.Col(), 1); // vuelve la columna actual de antes
    r.setRow(0);
    r.setCol(0);
    EXPECT_EQ(r.CellForeColor(), 255);
    r.setCol(1);
    EXPECT_EQ(r.CellForeColor(), 0);
}

TEST(Ordenar, FechasConUnaNoValida) {
    Rejilla r;
    DefinirColumnas(r, "Fecha;Dato");
    r.setTag("F");
    ponerColumna(r, 0, {"15/03/2024", "31/02/2024", "01/12/2023", "7/1/2024"});
    ponerColumna(r, 1, {"a", "b", "c", "d"});
    OrdenarColumna(r, 0);
    EXPECT_EQ(columna(r, 0), (QStringList{"", "01/12/2023", "07/01/2024", "15/03/2024"}));
    EXPECT_EQ(columna(r, 1), (QStringList{"b", "c", "d", "a"}));
}

TEST(Ordenar, FechasDescendente) {
    Rejilla r;
    DefinirColumnas(r, "Fecha");
    ponerColumna(r, 0, {"01/01/2020", "01/01/2021", "31/12/2019"});
    OrdenarFechas(r, "dd/mm/yyyy", true);
    EXPECT_EQ(columna(r, 0), (QStringList{"01/01/2021", "01/01/2020", "31/12/2019"}));
}

TEST(Ordenar, ImportesConTextosQueNoSonNumero) {
    Rejilla r;
    DefinirColumnas(r, "Concepto;Importe");
    r.setTag("XI");
    ponerColumna(r, 1, {"1.234,50", "abc", "-5", "99,9", "0"});
    OrdenarColumna(r, 1);
    QStringList col = columna(r, 1);
    EXPECT_EQ(col.count(QString()), 2); // "abc" y "0" quedan vacías
    col.removeAll(QString());
    EXPECT_EQ(col, (QStringList{"-5,00", "99,90", "1.234,50"}));
}

TEST(BuscarColumna, PorTituloPorNumeroYNoEncontrada) {
    Rejilla r;
    r.setObjectName("VisorTabla");
    DefinirColumnas(r, "Código;Nombre;Nombre;Alta");
    CajaGrabadora caja;
    EXPECT_EQ(BuscarColumna(r, "Nombre"), 1);
    // Por número, sin mirar los títulos ni el número de columnas: el fallo llega al usarla.
    EXPECT_EQ(BuscarColumna(r, "#3"), 3);
    EXPECT_EQ(BuscarColumna(r, "#7"), 7);
    EXPECT_THROW(LeerCelda(r, 0, BuscarColumna(r, "#7")), basicos::ErrorZoq);
    EXPECT_EQ(BuscarColumna(r, "nombre", true), -1);
    EXPECT_TRUE(caja.mensajes.empty());
    EXPECT_EQ(BuscarColumna(r, "Fax"), 0);
    ASSERT_EQ(caja.mensajes.size(), 1u);
    EXPECT_EQ(caja.mensajes[0].texto,
              QStringLiteral("No encontrado ninguna columna con el título [Fax]"));
    EXPECT_EQ(caja.mensajes[0].titulo, QStringLiteral("Búsqueda en [VisorTabla]"));
    EXPECT_EQ(caja.mensajes[0].estilo, 16);
}

TEST(Ordenar, RedrawDelLlamanteSeRespeta) {
    Rejilla r;
    DefinirColumnas(r, "A");
    ponerColumna(r, 0, {"b", "a"});
    r.setRedraw(false);
    OrdenarColumna(r, 0);
    EXPECT_FALSE(r.Redraw());
    r.setRedraw(true);
    OrdenarColumna(r, 0);
    EXPECT_TRUE(r.Redraw());
}

} // namespace
