#pragma once
// Mostrar una ventana y esperar a que se cierre sin bloquear el resto del programa.

class QWidget;

namespace basicos {

/// Muestra la ventana sin hacerla modal y no vuelve hasta que se cierra o se destruye (con
/// SoloVisible, también en cuanto se oculta). Mientras, los sucesos de todas las ventanas
/// se siguen atendiendo, así que otros manejadores pueden ejecutarse dentro de la llamada.
void MostrarYEsperar(QWidget* Formulario, bool SoloVisible = false);

} // namespace basicos
