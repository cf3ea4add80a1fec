#pragma once
// Motor de la calculadora de sobremesa: una sumadora con rollo de papel.
//
// Todo el estado son unos pocos textos; los números viven en notación invariable ("." como
// separador decimal) entre pulsación y pulsación y solo se pasan a coma flotante para
// calcular. El motor no sabe nada de ventanas: escribe en la pantalla, el papel y el
// portapapeles que se le dan, y lee de fuera el número de decimales que se muestran.

#include <QChar>
#include <QString>
#include <QStringList>

#include <array>

namespace MiCalc {

/// Una tecla de la calculadora.
struct Tecla {
    char rotulo;        ///< su rótulo, un carácter: lo que pulsa
    const char* ayuda;  ///< su texto de ayuda ("" si no tiene)
    const char* nombre; ///< lo que oye quien usa un lector de pantalla al llegar a ella
    int fila;           ///< fila del teclado, de 0 (arriba) a 4
    int columna;        ///< columna del teclado, de 0 (izquierda) a 4
    int columnas = 1;   ///< columnas que ocupa
};

/// Las 24 teclas en el orden del arreglo `tecla` de la ventana. En el teclado quedan así:
///
///     C < S % E
///     7 8 9 / P
///     4 5 6 * N
///     1 2 3 - I
///     0 0 . + =
inline constexpr std::array<Tecla, 24> Teclas{{
    {'7', "", "7", 1, 0},
    {'8', "", "8", 1, 1},
    {'9', "", "9", 1, 2},
    {'4', "", "4", 2, 0},
    {'5', "", "5", 2, 1},
    {'6', "", "6", 2, 2},
    {'1', "", "1", 3, 0},
    {'2', "", "2", 3, 1},
    {'3', "", "3", 3, 2},
    {'.', "", "Coma decimal", 4, 2},
    {'0', "", "0", 4, 0, 2},
    {'*', "", "Multiplicar", 2, 3},
    {'<', "Eliminar último dígito", "Borrar el último dígito", 0, 1},
    {'/', "", "Dividir", 1, 3},
    {'%', "", "Porcentaje", 0, 3},
    {'-', "", "Restar", 3, 3},
    {'S', "Cambiar signo", "Cambiar de signo", 0, 2},
    {'+', "", "Sumar", 4, 3},
    {'=', "", "Igual", 4, 4},
    {'N', "Neto de Base+Impuesto", "Neto de base más impuesto", 2, 4},
    {'I', "Impuesto de Base+Impuesto", "Impuesto de base más impuesto", 3, 4},
    {'C', "Eliminar valores", "Borrar los valores", 0, 0},
    {'E', "Pesetas a Euros", "Pesetas a euros", 0, 4},
    {'P', "Euros a Pesetas", "Euros a pesetas", 1, 4},
}};

/// true si `k` es el rótulo de una de las 24 teclas.
bool EsTecla(QChar k);

/// Pesetas por euro.
inline constexpr double PesetasPorEuro = 166.386;

/// Lo que se ve en la pantalla de la calculadora.
class Pantalla {
public:
    virtual ~Pantalla() = default;
    /// `texto` es lo que se muestra (12,50 y dos blancos; 15,00 +; Error); `origen`, el texto
    /// del que se ha sacado (12.5 y dos blancos; " 15 +").
    virtual void Mostrar(const QString& texto, const QString& origen) = 0;
};

/// El rollo de papel a la vista. Las líneas las guarda el motor (Motor::Rollo()); el papel
/// solo las enseña.
class Papel {
public:
    virtual ~Papel() = default;
    /// Enseña una línea más al final (sin salto: lo pone el papel) y deja el final a la vista.
    virtual void Anotar(const QString& linea) = 0;
    /// Deja el papel en blanco.
    virtual void Borrar() = 0;
};

/// Las líneas del rollo alineadas a la derecha con blancos delante, hasta el ancho de la más
/// larga: como se ven en el papel con una letra de paso fijo.
QStringList RolloAlineado(const QStringList& lineas);

/// El rollo como texto: las líneas alineadas (RolloAlineado), cada una terminada en salto de
/// línea. Sin líneas, vacío.
QString TextoRollo(const QStringList& lineas);

/// El ajuste de decimales (de 2 a 5).
class AjusteDecimales {
public:
    virtual ~AjusteDecimales() = default;
    virtual int Decimales() const = 0;
    virtual void FijarDecimales(int decimales) = 0;
};

/// El portapapeles del sistema.
class Portapapeles {
public:
    virtual ~Portapapeles() = default;
    /// Vacía el portapapeles y deja en él `texto` como texto sin formato.
    virtual void Copiar(const QString& texto) = 0;
};

/// Escribe un número en notación invariable: hasta 15 cifras significativas, "." decimal,
/// un blanco delante si no es negativo y forma exponencial (1E+16, 1E-05) para magnitudes
/// muy grandes o muy pequeñas. El cero negativo se escribe como cero.
QString EscribirNumero(double valor);

/// Quita a `t` su operador final (blanco y un carácter) si lo tiene: "12 +" da "12".
/// Los textos de menos de dos caracteres quedan igual.
QString QuitarOperador(const QString& t);

/// El motor: recibe pulsaciones de tecla y mueve pantalla, papel y portapapeles.
/// Las operaciones se aplican de izquierda a derecha según llegan, sin precedencia.
class Motor {
public:
    Motor(Pantalla& pantalla, Papel& papel, AjusteDecimales& decimales, Portapapeles& portapapeles);

    /// Pulsa la tecla de rótulo `k`. Un carácter que no es tecla no hace nada.
    /// Ninguna entrada lanza excepciones: un resultado fuera del alcance de la coma flotante
    /// (o que no es un número) muestra "Error" y anula el cálculo como "C", sin borrar el papel.
    void Pulsar(QChar k);

    /// Pasa al siguiente número de decimales (2, 3, 4, 5 y vuelta a 2) y vuelve a pintar la
    /// pantalla con él. Lo que ya está en el papel no cambia.
    void CambiarDecimales();

    /// Texto que mostraría la pantalla para el origen `t` con los decimales actuales.
    QString Representar(const QString& t) const;

    /// Texto del que se pinta la pantalla.
    const QString& OrigenPantalla() const { return origen_; }

    /// Las líneas del rollo, de la primera a la última, tal como se anotaron.
    const QStringList& Rollo() const { return rollo_; }

    // Estado, a la vista para las pruebas y la ventana.
    const QString& Entrada() const { return entrada_; }
    const QString& Pendiente() const { return pendiente_; }
    const QString& UltimoResultado() const { return ultimoResultado_; }
    const QString& UltimoValor() const { return ultimoValor_; }

private:
    void MostrarPantalla(const QString& t);
    void AnotarPapel(const QString& t);
    void Operar(QChar k);
    void Terminar(QChar k);
    void Anular();

    Pantalla& pantalla_;
    Papel& papel_;
    AjusteDecimales& decimales_;
    Portapapeles& portapapeles_;

    QString entrada_;
    QString pendiente_;
    QString segundo_;
    QString ultimoResultado_;
    QString ultimoValor_;
    QStringList rollo_;
    QString origen_ = QStringLiteral("0.00  ");
    QString textoPantalla_ = QStringLiteral("0,00  ");
};

} // namespace MiCalc
