#pragma once
// Identidad del componente MORVELIN: los valores con los que lo registra y lo encuentra el
// entorno de componentes de la plataforma. Una vinculación a ese entorno registra exactamente
// estos valores; no se repiten en ningún otro sitio.

namespace morvelin::identidad {

inline constexpr const char* Fichero = "MORVELIN.DLL";
inline constexpr const char* NombreModulo = "MORVELIN Module"; // FileDescription y ProductName
inline constexpr const char* NombreInterno = "MORVELIN";
inline constexpr const char* VersionFichero = "5.10.0.0";
inline constexpr const char* VersionProducto = "1.0.0.1";
inline constexpr unsigned IdiomaRecursos = 0x0C0A; // español, con la página de códigos Unicode

inline constexpr const char* BibliotecaTipos = "MORVELINLib";
inline constexpr const char* IdBibliotecaTipos = "{945828E2-9262-460E-9E10-46F3BE9A14A3}";
inline constexpr const char* VersionBibliotecaTipos = "1.0";
inline constexpr const char* AyudaBibliotecaTipos = "MORVELIN 1.0 Type Library";

inline constexpr const char* Clase = "MorvelinCtl";
inline constexpr const char* IdClase = "{F171A6DF-F517-4ACB-A7DF-D8B8AE79D710}";
inline constexpr const char* AyudaClase = "MorvelinCtl Class";

inline constexpr const char* Interfaz = "IMorvelinCtl";
inline constexpr const char* IdInterfaz = "{8838A7A8-DBBB-4B49-959D-F8085B54B4DB}";
inline constexpr const char* AyudaInterfaz = "IMorvelinCtl Interface";

inline constexpr const char* IdProgramaVersion = "MORVELIN.MorvelinCtl.1";
inline constexpr const char* IdPrograma = "MORVELIN.MorvelinCtl";
inline constexpr const char* ModeloHilos = "Apartment";

/// Métodos de IMorvelinCtl: identificador de despacho y texto de ayuda.
inline constexpr int DispIdFirma = 1;
inline constexpr const char* AyudaFirma = "method FIRMA";
inline constexpr int DispIdVerifica = 2;
inline constexpr const char* AyudaVerifica = "method VERIFICA";

/// Recursos del fichero del componente.
inline constexpr int RecursoBibliotecaTipos = 1; // TYPELIB
inline constexpr int RecursoRegistro = 103;      // REGISTRY
inline constexpr int MapaBitsHerramientas = 102; // ToolboxBitmap32 = "<ruta>, 102"
inline constexpr const char* MiscStatus = "0";
inline constexpr const char* MiscStatus1 = "132497";

} // namespace morvelin::identidad
