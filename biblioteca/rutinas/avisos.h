#pragma once
// Avisos propios del motor de campos, con el cuadro de mensaje estándar de la plataforma
// titulado con el título de la aplicación (no con el cuadro propio de la suite).

class QString;

namespace rutinas {

/// Hace que el aviso de elemento obligatorio ausente en un descriptor salga en un cuadro
/// de mensaje con el icono de parada y un solo botón Aceptar. La biblioteca lo instala al
/// cargarse y basicos::PrepararAplicacion lo repite.
void InstalarAvisos();

/// Título de los cuadros del motor: el título de la aplicación.
QString TituloAplicacion();

/// Cuadro estándar de error con un solo botón Aceptar.
void AvisoCritico(const QString& texto);
/// Cuadro estándar de advertencia con un solo botón Aceptar.
void AvisoAtencion(const QString& texto);
/// Cuadro estándar sin icono con un solo botón Aceptar.
void AvisoSimple(const QString& texto);

} // namespace rutinas
