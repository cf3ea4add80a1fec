#pragma once
// El contexto de OpenGL compartido que necesita el motor del navegador web de la ayuda.

namespace MiniHelp {

/// Crea y fija el contexto de OpenGL que comparten los de la aplicación, si aún no lo hay.
/// El motor del navegador cuenta con él y, cargado sin él, se cae. Se fija aunque no se
/// pueda abrir (sin OpenGL el motor dibuja por programa), y se destruye al salir.
void PrepararContextoCompartido();

} // namespace MiniHelp
