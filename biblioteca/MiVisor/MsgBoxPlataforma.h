#pragma once
// Caja de mensajes estándar de la plataforma, con los estilos y respuestas de siempre:
// estilo = botones (0 Aceptar, 1 Aceptar/Cancelar, 2 Abortar/Reintentar/Ignorar,
// 3 Sí/No/Cancelar, 4 Sí/No, 5 Reintentar/Cancelar) + icono (16 error, 32 pregunta,
// 48 exclamación, 64 información) + botón por omisión (0, 256, 512). Respuestas: Aceptar 1,
// Cancelar 2, Abortar 3, Reintentar 4, Ignorar 5, Sí 6, No 7.

#include <QString>

#include <functional>

class QWidget;

namespace MiVisor {

int MsgBox(const QString& texto, int estilo, const QString& titulo, QWidget* padre = nullptr);

/// Sustituye la caja (las pruebas contestan sin ventana). Devuelve la anterior; una función
/// vacía vuelve a la caja de verdad.
using FuncionMsgBox = std::function<int(const QString& texto, int estilo, const QString& titulo)>;
FuncionMsgBox PonerMsgBox(FuncionMsgBox funcion);

} // namespace MiVisor
