/* Interfaz C del componente MORVELIN: firma de facturas y verificación de la firma.
 *
 * Todas las cadenas van en UTF-8. Un puntero nulo en un argumento de entrada vale como cadena
 * vacía. Cuando la llamada devuelve MORVELIN_OK, *resultado apunta a una cadena nueva que
 * empieza por un código de dos cifras ("00" es éxito) y que el llamador libera con
 * morvelin_liberar(). Los fallos de la firma o de la verificación llegan siempre dentro de esa
 * cadena; el estado distinto de MORVELIN_OK queda para lo que no es ninguno de ellos (memoria
 * agotada, error interno), y entonces no se entrega cadena alguna. Ninguna función deja
 * escapar una excepción. */
#ifndef MORVELIN_MORVELIN_H
#define MORVELIN_MORVELIN_H

#if defined(_WIN32)
#define MORVELIN_API __declspec(dllimport)
#else
#define MORVELIN_API __attribute__((visibility("default")))
#endif
#if defined(MORVELIN_COMPILANDO)
#undef MORVELIN_API
#if defined(_WIN32)
#define MORVELIN_API __declspec(dllexport)
#else
#define MORVELIN_API __attribute__((visibility("default")))
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum morvelin_estado {
    MORVELIN_OK = 0,
    MORVELIN_SIN_MEMORIA = 1,     /* memoria agotada durante la llamada */
    MORVELIN_ERROR_INTERNO = 2,   /* cualquier otro fallo imprevisto */
    MORVELIN_PUNTERO_INVALIDO = 3 /* resultado es un puntero nulo */
} morvelin_estado;

/* Firma la factura rutaOrigen con el certificado del titular cuyo identificador fiscal es
 * certificado, y graba el fichero de firma en rutaDestino. */
MORVELIN_API morvelin_estado morvelin_firma(const char* rutaOrigen, const char* certificado,
                                            const char* rutaDestino, char** resultado);

/* Envía el fichero de firma rutaOrigen al servicio de verificación, graba la factura en
 * rutaDestino e informa del veredicto. */
MORVELIN_API morvelin_estado morvelin_verifica(const char* rutaOrigen, const char* rutaDestino,
                                               char** resultado);

/* Libera una cadena entregada por morvelin_firma o morvelin_verifica. Admite un puntero nulo. */
MORVELIN_API void morvelin_liberar(char* resultado);

/* Versiones del componente: "5.10.0.0" (fichero) y "1.0.0.1" (producto). */
MORVELIN_API const char* morvelin_version_fichero(void);
MORVELIN_API const char* morvelin_version_producto(void);

#ifdef __cplusplus
}
#endif

#endif /* MORVELIN_MORVELIN_H */
