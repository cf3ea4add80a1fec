#pragma once
// Textos propios de Qt (botones de los cuadros estándar, menús contextuales...) en español.

class QCoreApplication;

namespace basicos {

/// Instala en la aplicación las traducciones al español de los textos de Qt.
/// Devuelve false si no se encontró ninguna (el paquete qt6-translations-l10n no está);
/// la aplicación sigue funcionando, con esos textos en inglés.
bool CargarTraduccionQt(QCoreApplication& aplicacion);

} // namespace basicos
