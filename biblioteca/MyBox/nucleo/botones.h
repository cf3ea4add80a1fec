#pragma once
// Reglas del cuadro de mensajes que no necesitan ventanas: juegos de botones, códigos de
// respuesta, primer foco, colocación en pantalla y textos del cuadro.

#include <QString>
#include <array>
#include <optional>

namespace MyBox {

/// Códigos de respuesta: los de las respuestas del cuadro de mensajes estándar.
enum Respuesta : int {
    Aceptar = 1,
    Cancelar = 2,
    Abortar = 3,
    Reintentar = 4,
    Ignorar = 5,
    Si = 6,
    No = 7,
};

/// Número de iconos de la lista `NIconos` (se numeran de 1 a NumeroIconos).
inline constexpr int NumeroIconos = 10;

/// Separador de los dos valores de un rango: Desde + "ƒ" + Hasta.
inline constexpr char16_t SeparadorRango = u'\u0192';

/// Títulos y visibilidad de los tres botones; el índice 0 es el de más a la derecha.
struct JuegoBotones {
    std::array<QString, 3> titulos;
    std::array<bool, 3> visibles;
};

/// Botones del juego `LosBotones` (1 a 6). Fuera de ese intervalo los botones conservan
/// sus títulos de diseño ("Boton1", "Boton2", "Boton3") y se ven los tres.
JuegoBotones BotonesDelJuego(int LosBotones);

/// Índice del botón (0 a 2) que recibe el primer foco según el juego y `BotonOmision`
/// (contado desde la izquierda: 1 el primero, 2 el segundo, otro valor el de la derecha).
/// Sin valor para un juego fuera de 1 a 6: el orden de tabulación queda como estaba.
std::optional<int> BotonInicial(int LosBotones, int BotonOmision);

/// Código de respuesta del botón que lleva ese título; sin valor si el título no es una de
/// las siete respuestas (entonces el código guardado no cambia).
std::optional<int> CodigoDeTitulo(const QString& titulo);

/// Qué responde el cuadro cuando se cierra desde el marco de la ventana, como hace el cuadro
/// estándar: "Cancelar" si el juego lo tiene (2, 4 y 6) y "Aceptar" en el juego 1. En los
/// juegos 3 y 5 el marco no deja cerrar (sin valor). Un juego no definido responde 0, que no
/// es ninguna respuesta.
std::optional<int> RespuestaAlCerrar(int LosBotones);

/// Texto del mensaje: cada ";" pasa a ser un salto de línea (retorno de carro y avance).
QString TextoConSaltos(const QString& ElMensaje);

/// Rectángulo de una ventana en twips de pantalla.
struct RectanguloTwips {
    float Left = 0;
    float Top = 0;
    float Width = 0;
    float Height = 0;
};

/// Paso de colocación: calcula `Top` y `Left` (twips de pantalla) del cuadro de tamaño
/// `anchoCuadro` × `altoCuadro`. Un -1 exacto centra en la pantalla en ese sentido; si se da
/// `formulario`, el cuadro se centra sobre esa ventana y los valores recibidos no cuentan.
void CalcularPosicion(float& Top, float& Left, float anchoCuadro, float altoCuadro,
                      float anchoPantalla, float altoPantalla,
                      const std::optional<RectanguloTwips>& formulario);

/// Parte un valor de rango en sus dos lados por el primer "ƒ"; sin "ƒ" no hay rango.
std::optional<std::pair<QString, QString>> PartirRango(const QString& valor);

/// Une los dos lados de un rango con "ƒ".
QString UnirRango(const QString& desde, const QString& hasta);

} // namespace MyBox
