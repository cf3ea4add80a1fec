#pragma once
// Servidor de impresión privado para las pruebas: un cupsd con su propia carpeta de
// configuración, en un puerto libre de 127.0.0.1, con CUPS_SERVER apuntándole. Lo arranca y
// lo para la propia prueba; nunca toca el servidor del sistema ni deja nada fuera de su
// carpeta.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ServidorCups {
public:
    ServidorCups() = default;
    ~ServidorCups() { Parar(); }
    ServidorCups(const ServidorCups&) = delete;
    ServidorCups& operator=(const ServidorCups&) = delete;

    /// Arranca cupsd y espera a que atienda. Devuelve un texto de error, vacío si todo fue bien.
    QString Arrancar();
    /// Crea una cola sobre file:///dev/null; opciones como "orientation-requested-default=4".
    QString CrearCola(const QString& nombre, const QStringList& opciones = {});
    /// Crea una cola de PDF que deja cada trabajo en el fichero `salida` (lo sustituye el
    /// trabajo siguiente). La carpeta de `salida` ha de existir.
    QString CrearColaFichero(const QString& nombre, const QString& salida);
    /// Hace de la cola la de omisión del servidor.
    QString PonerOmision(const QString& nombre);
    /// La cola deja de admitir trabajos (como `cupsreject`): cada uno que llegue se rechaza.
    QString RechazarTrabajos(const QString& nombre);
    /// Para el servidor (si se arrancó) y deja CUPS_SERVER en un puerto sin nadie.
    void Parar();

    QString Direccion() const { return direccion_; }

    /// Un puerto TCP libre de 127.0.0.1.
    static int PuertoLibre();
    /// Apunta CUPS_SERVER a un puerto donde no escucha nadie: ninguna impresora.
    static void SinServidor();

private:
    QString lpadmin(const QStringList& argumentos);
    QString administrar(const QString& orden, const QStringList& argumentos);

    std::unique_ptr<QTemporaryDir> carpeta_;
    std::unique_ptr<QProcess> cupsd_;
    QString direccion_;
};
