/* Interfaz C de VERI*FACTU: registros de facturación encadenados por su huella, en una cadena
 * de SQLite o de PostgreSQL, su remesa y el código QR de la factura.
 *
 * Las cadenas van en UTF-8. `cadena` es la ruta de un fichero SQLite o una dirección
 * «postgresql://...»; NULL o "" es la de MORVELIN_CADENA o, si no está,
 * $XDG_DATA_HOME/MORVELIN/verifactu.sqlite. Las facturas y anulaciones van en JSON, con los
 * nombres de los elementos del esquema de la agencia (véase el README).
 *
 * Cada función abre la cadena, hace su trabajo y la cierra. Cuando devuelve MORVELIN_OK,
 * *correcto es 1 si la operación se hizo y 0 si no (un dato que no se admite, una cadena rota
 * o inaccesible, un fichero que no se puede grabar), y *texto apunta a un texto nuevo que el
 * llamador libera con morvelin_liberar(): lo que se pidió si *correcto es 1, el motivo en
 * español si es 0. Un registro rechazado no cambia la cadena. Ninguna función deja escapar
 * una excepción. */
#ifndef MORVELIN_VERIFACTU_H
#define MORVELIN_VERIFACTU_H

#include "morvelin/morvelin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Añade el registro de alta de la factura `json`. Texto: los avisos (uno por línea, si los
 * hay; el reloj, sobre todo) y en la última línea la huella del registro. */
MORVELIN_API morvelin_estado morvelin_verifactu_alta(const char* cadena, const char* json,
                                                     int* correcto, char** texto);

/* Añade el registro de anulación `json`. Texto como en morvelin_verifactu_alta. */
MORVELIN_API morvelin_estado morvelin_verifactu_anula(const char* cadena, const char* json,
                                                      int* correcto, char** texto);

/* Graba en `ruta` la remesa (RegFactuSistemaFacturacion) con los registros desde el número
 * `desde` (1 el primero), a lo sumo 1000, cada uno tal como se guardó. Texto: qué registros
 * lleva y, en otra línea, si quedan más. */
MORVELIN_API morvelin_estado morvelin_verifactu_exporta(const char* cadena, const char* ruta,
                                                        long long desde, int* correcto,
                                                        char** texto);

/* Recorre la cadena y recalcula cada huella y cada enlace. *correcto es 1 si está entera; el
 * texto dice cuántos registros tiene o cuál la rompe primero y por qué. */
MORVELIN_API morvelin_estado morvelin_verifactu_comprueba(const char* cadena, int* correcto,
                                                          char** texto);

/* Fija el modo de la cadena, "verifactu" o "no-verifactu", antes de su primer registro (una
 * cadena nueva es VERI*FACTU). Sin remisión hace falta el certificado que firma: aquí da
 * *correcto 0; se fija con morvelin_verifactu_modo_con_certificado(). */
MORVELIN_API morvelin_estado morvelin_verifactu_modo(const char* cadena, const char* modo,
                                                     int* correcto, char** texto);

/* Como morvelin_verifactu_modo(), con el NIF `certificado` del certificado que firma cada
 * registro y cada evento sin remisión (el que usaría FIRMA para ese NIF; el PIN o la
 * contraseña se piden con pinentry). El obligado es ese NIF y su nombre el del titular. */
MORVELIN_API morvelin_estado morvelin_verifactu_modo_con_certificado(const char* cadena,
                                                                     const char* modo,
                                                                     const char* certificado,
                                                                     int* correcto, char** texto);

/* Anota, firmado, el fin del modo sin remisión: la cadena ya no admite registros. */
MORVELIN_API morvelin_estado morvelin_verifactu_cierra(const char* cadena, int* correcto,
                                                       char** texto);

/* Envía la cola de la cadena a la agencia con el certificado del NIF `certificado` (NULL o "":
 * el del obligado), a los servidores de pruebas si `pruebas` no es 0, o a `servicio` (una
 * dirección https://) si no es NULL ni "", verificando al servidor con `autoridades` (fichero
 * PEM o carpeta; NULL o "": las del sistema). Espera entre envíos lo que diga la agencia.
 * Texto: los avisos, una línea por registro contestado con su veredicto y el resumen. */
MORVELIN_API morvelin_estado morvelin_verifactu_envia(const char* cadena, int pruebas,
                                                      const char* certificado, const char* servicio,
                                                      const char* autoridades, int* correcto,
                                                      char** texto);

/* Los registros de la cola con su veredicto, una línea cada uno, y el resumen. */
MORVELIN_API morvelin_estado morvelin_verifactu_estado(const char* cadena, int* correcto,
                                                       char** texto);

/** Opciones del código QR de morvelin_verifactu_qr(). */
typedef struct morvelin_qr_opciones {
    double tamano_mm;   /**< lado del código, de 30 a 40 mm (0: 40) */
    double margen_mm;   /**< margen blanco, 2 mm como poco (0: 6) */
    int resolucion_ppp; /**< puntos por pulgada del PNG (0: 300) */
    int pruebas;        /**< distinto de 0: la dirección del entorno de pruebas de la agencia */
    int no_verifactu;   /**< distinto de 0: la dirección de los sistemas sin remisión */
} morvelin_qr_opciones;

/* Graba en `ruta` (.png o .svg) el código QR de la factura `json`; `opciones` puede ser NULL.
 * Texto: la dirección de cotejo que lleva el código. No usa la cadena. */
MORVELIN_API morvelin_estado morvelin_verifactu_qr(const char* json, const char* ruta,
                                                   const morvelin_qr_opciones* opciones,
                                                   int* correcto, char** texto);

#ifdef __cplusplus
}
#endif

#endif /* MORVELIN_VERIFACTU_H */
