// La cadena en un fichero SQLite: registro de escritura anticipada (WAL) con sincronización
// completa, así que cada transacción confirmada está en el disco y una interrumpida no deja
// rastro; BEGIN IMMEDIATE toma el cerrojo de escritura antes de leer el último registro.
#include "infraestructura/escritura.h"
#include "verifactu/almacen_comun.h"

#include <sqlite3.h>

#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace morvelin::verifactu {

namespace {

constexpr int VersionEsquema = 3;
constexpr int EsperaCerrojoMs = 120000;
// El evento que cierra la cadena: el fin del modo sin remisión.
constexpr std::string_view EventoFin = "02";

// Las versiones del esquema, en orden: la posición i lleva de la versión i a la i + 1.
const std::vector<const char*> Migraciones = {
    R"(CREATE TABLE verifactu_cadena (
           id INTEGER PRIMARY KEY CHECK (id = 1),
           numero_instalacion TEXT NOT NULL,
           modo TEXT NOT NULL DEFAULT 'verifactu' CHECK (modo IN ('verifactu', 'no-verifactu')),
           nif_emisor TEXT NOT NULL DEFAULT '',
           nombre_emisor TEXT NOT NULL DEFAULT '',
           creada TEXT NOT NULL);
       CREATE TABLE verifactu_registros (
           numero INTEGER PRIMARY KEY,
           tipo TEXT NOT NULL CHECK (tipo IN ('alta', 'anulacion')),
           id_emisor TEXT NOT NULL,
           num_serie TEXT NOT NULL,
           fecha_expedicion TEXT NOT NULL,
           huella TEXT NOT NULL UNIQUE,
           huella_anterior TEXT NOT NULL UNIQUE,
           fecha_hora_huso TEXT NOT NULL,
           xml BLOB NOT NULL);
       CREATE INDEX verifactu_registros_factura
           ON verifactu_registros (id_emisor, num_serie, fecha_expedicion);
       CREATE TRIGGER verifactu_registros_sin_cambios BEFORE UPDATE ON verifactu_registros
       BEGIN SELECT RAISE(ABORT, 'los registros de la cadena no se cambian'); END;
       CREATE TRIGGER verifactu_registros_sin_borrado BEFORE DELETE ON verifactu_registros
       BEGIN SELECT RAISE(ABORT, 'los registros de la cadena no se borran'); END;)",
    // 2: la cola de envío a la agencia. Los registros de una cadena VERI*FACTU que ya estaban
    // entran en ella: nunca se han enviado.
    R"(ALTER TABLE verifactu_cadena ADD COLUMN cola_detenida TEXT NOT NULL DEFAULT '';
       CREATE TABLE verifactu_envios (
           id INTEGER PRIMARY KEY,
           hora INTEGER NOT NULL,
           registros INTEGER NOT NULL,
           resultado TEXT NOT NULL DEFAULT 'en-curso' CHECK (resultado IN
               ('en-curso', 'respondido', 'fallo-servidor', 'fallo-cliente', 'sin-respuesta')),
           terminado INTEGER,
           estado_envio TEXT NOT NULL DEFAULT '',
           csv TEXT NOT NULL DEFAULT '',
           tiempo_espera INTEGER,
           desfase_reloj INTEGER,
           mensaje TEXT NOT NULL DEFAULT '',
           respuesta BLOB);
       CREATE TABLE verifactu_cola (
           numero INTEGER PRIMARY KEY REFERENCES verifactu_registros (numero),
           estado TEXT NOT NULL DEFAULT 'pendiente' CHECK (estado IN
               ('pendiente', 'correcto', 'aceptado-con-errores', 'incorrecto', 'duplicado')),
           envio INTEGER REFERENCES verifactu_envios (id),
           codigo TEXT NOT NULL DEFAULT '',
           descripcion TEXT NOT NULL DEFAULT '',
           aviso TEXT NOT NULL DEFAULT '');
       CREATE INDEX verifactu_cola_pendientes ON verifactu_cola (numero)
           WHERE estado = 'pendiente';
       CREATE TRIGGER verifactu_cola_veredicto_fijo BEFORE UPDATE ON verifactu_cola
           WHEN OLD.estado <> 'pendiente'
       BEGIN SELECT RAISE(ABORT, 'lo que contestó la agencia no se cambia'); END;
       CREATE TRIGGER verifactu_cola_sin_borrado BEFORE DELETE ON verifactu_cola
       BEGIN SELECT RAISE(ABORT, 'la cola no se borra'); END;
       CREATE TRIGGER verifactu_envios_respuesta_fija BEFORE UPDATE ON verifactu_envios
           WHEN OLD.resultado <> 'en-curso'
       BEGIN SELECT RAISE(ABORT, 'un envío acabado no se cambia'); END;
       CREATE TRIGGER verifactu_envios_sin_borrado BEFORE DELETE ON verifactu_envios
       BEGIN SELECT RAISE(ABORT, 'los envíos no se borran'); END;
       INSERT INTO verifactu_cola (numero)
           SELECT numero FROM verifactu_registros
           WHERE (SELECT modo FROM verifactu_cadena WHERE id = 1) = 'verifactu';)",
    // 3: sin remisión, el firmante y el registro de eventos, encadenado como los registros.
    R"(ALTER TABLE verifactu_cadena ADD COLUMN firmante TEXT NOT NULL DEFAULT '';
       CREATE TABLE verifactu_eventos (
           numero INTEGER PRIMARY KEY,
           tipo TEXT NOT NULL,
           fecha_hora_huso TEXT NOT NULL,
           huella TEXT NOT NULL UNIQUE,
           huella_anterior TEXT NOT NULL UNIQUE,
           registros_hasta INTEGER NOT NULL,
           xml BLOB NOT NULL);
       CREATE TRIGGER verifactu_eventos_sin_cambios BEFORE UPDATE ON verifactu_eventos
       BEGIN SELECT RAISE(ABORT, 'los eventos no se cambian'); END;
       CREATE TRIGGER verifactu_eventos_sin_borrado BEFORE DELETE ON verifactu_eventos
       BEGIN SELECT RAISE(ABORT, 'los eventos no se borran'); END;)",
};

std::string ahoraUtc() {
    const std::time_t t = std::time(nullptr);
    std::tm u{};
    gmtime_r(&t, &u);
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%SZ", &u);
    return b;
}

class Sentencia {
public:
    Sentencia(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK)
            throw ErrorAlmacen(std::string("La cadena no tiene la forma esperada (") +
                               sqlite3_errmsg(db) + ").");
    }
    ~Sentencia() { sqlite3_finalize(s_); }
    Sentencia(const Sentencia&) = delete;
    Sentencia& operator=(const Sentencia&) = delete;

    Sentencia& texto(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Sentencia& blob(int i, const std::string& v) {
        sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Sentencia& entero(int i, std::int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Sentencia& entero(int i, const std::optional<std::int64_t>& v) {
        if (v)
            sqlite3_bind_int64(s_, i, *v);
        else
            sqlite3_bind_null(s_, i);
        return *this;
    }
    // true si hay una fila; false al terminar.
    bool paso() {
        const int r = sqlite3_step(s_);
        if (r == SQLITE_ROW)
            return true;
        if (r == SQLITE_DONE)
            return false;
        throw ErrorAlmacen(std::string("Fallo de la cadena: ") + sqlite3_errmsg(db_) + ".");
    }
    void reiniciar() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    // Vale hasta el siguiente paso().
    std::string_view vista(int i) const {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, i));
        return p ? std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, i)))
                 : std::string_view();
    }
    std::string columna(int i) const { return std::string(vista(i)); }
    std::int64_t enteroColumna(int i) const { return sqlite3_column_int64(s_, i); }
    std::optional<std::int64_t> enteroOpcional(int i) const {
        if (sqlite3_column_type(s_, i) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_int64(s_, i);
    }

private:
    sqlite3* db_;
    sqlite3_stmt* s_ = nullptr;
};

// El turno de envío de una cadena SQLite: un cerrojo flock() en un fichero junto a ella.
class TurnoFichero final : public TurnoEnvio {
public:
    static std::unique_ptr<TurnoEnvio> tomar(const std::string& ruta) {
        const int fd = ::open(ruta.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            throw ErrorAlmacen("No se puede abrir el cerrojo de envío " + ruta + ".");
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::unique_ptr<TurnoEnvio>(new TurnoFichero(fd));
    }
    ~TurnoFichero() override { ::close(fd_); }

private:
    explicit TurnoFichero(int fd) : fd_(fd) {}
    int fd_;
};

constexpr const char* ColumnasRegistro =
    "numero, tipo, id_emisor, num_serie, fecha_expedicion, huella, huella_anterior, "
    "fecha_hora_huso";

constexpr const char* ColumnasEvento =
    "numero, tipo, fecha_hora_huso, huella, huella_anterior, registros_hasta";

EventoCadena leerEvento(const Sentencia& s, bool conXml) {
    EventoCadena e;
    e.numero = s.enteroColumna(0);
    e.tipo = s.columna(1);
    e.fechaHoraHusoGenEvento = s.columna(2);
    e.huella = s.columna(3);
    e.huellaAnterior = s.columna(4);
    e.registrosHasta = s.enteroColumna(5);
    if (conXml)
        e.xml = s.columna(6);
    return e;
}

VistaRegistro leerVista(const Sentencia& s, bool conXml) {
    VistaRegistro r;
    r.numero = s.enteroColumna(0);
    r.alta = s.vista(1) == "alta";
    r.idEmisor = s.vista(2);
    r.numSerie = s.vista(3);
    r.fechaExpedicion = s.vista(4);
    r.huella = s.vista(5);
    r.huellaAnterior = s.vista(6);
    r.fechaHoraHusoGenRegistro = s.vista(7);
    if (conXml)
        r.xml = s.vista(8);
    return r;
}

class AlmacenSqlite final : public AlmacenComun {
public:
    explicit AlmacenSqlite(const std::string& ruta) : ruta_(ruta) {
        if (!crearCarpetas(ruta))
            throw ErrorAlmacen("No se puede crear la carpeta de la cadena " + ruta + ".");
        // Un almacén lo usa un solo hilo cada vez: la conexión no necesita su cerrojo en cada
        // llamada (que es la mitad del coste de leer una fila).
        if (sqlite3_open_v2(ruta.c_str(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            const std::string motivo = db_ ? sqlite3_errmsg(db_) : "sin memoria";
            sqlite3_close(db_);
            throw ErrorAlmacen("No se puede abrir la cadena " + ruta + " (" + motivo + ").");
        }
        sqlite3_busy_timeout(db_, EsperaCerrojoMs);
        try {
            // Páginas de 32 KiB en una cadena nueva (en una que ya existe no cambia nada): un
            // registro ocupa unos 2 KiB y en una página de 4 KiB solo cabe uno, así que
            // recorrer la cadena leería el doble de bytes, página a página. Añadir no lo nota:
            // lo que cuesta es esperar al disco.
            ejecutar("PRAGMA page_size = 32768");
            ejecutar("PRAGMA journal_mode = WAL");
            ejecutar("PRAGMA synchronous = FULL");
            ponerAlDia();
        } catch (...) {
            sqlite3_close(db_);
            throw;
        }
    }
    ~AlmacenSqlite() override { sqlite3_close(db_); }

    DatosCadena datos() override {
        leerDatos();
        return datos_;
    }

    void recorrer(std::int64_t desde, std::int64_t hasta, bool conXml,
                  const std::function<bool(const VistaRegistro&)>& visitar) override {
        conTransaccion([&] { recorrerRegistros(desde, hasta, conXml, visitar); }, false);
    }

    void recorrerEventos(std::int64_t desde, std::int64_t hasta,
                         const std::function<bool(const EventoCadena&)>& visitar) override {
        conTransaccion(
            [&] {
                Sentencia s(db_, (std::string("SELECT ") + ColumnasEvento +
                                  ", xml FROM verifactu_eventos WHERE numero BETWEEN ?1 AND ?2 "
                                  "ORDER BY numero")
                                     .c_str());
                s.entero(1, desde).entero(2, hasta);
                while (s.paso())
                    if (!visitar(leerEvento(s, true)))
                        break;
            },
            false);
    }

    std::int64_t cuantos() override {
        Sentencia s(db_, "SELECT count(*) FROM verifactu_registros");
        s.paso();
        return s.enteroColumna(0);
    }

    std::int64_t ultimoNumero() override {
        Sentencia s(db_, "SELECT coalesce(max(numero), 0) FROM verifactu_registros");
        s.paso();
        return s.enteroColumna(0);
    }

    std::unique_ptr<AlmacenCadena> otraConexion() override {
        return std::make_unique<AlmacenSqlite>(ruta_);
    }

    std::unique_ptr<TurnoEnvio> tomarTurnoEnvio() override {
        // Un cerrojo de fichero junto a la cadena: enviar dura lo que la red, y mientras tanto
        // se sigue añadiendo (la cadena no se puede bloquear tanto). El sistema lo suelta cuando
        // acaba el proceso, acabe como acabe.
        return TurnoFichero::tomar(ruta_ + "-envio");
    }

    EnvioEnCurso empezarEnvio(std::int64_t hora, std::size_t maximo) override {
        EnvioEnCurso envio;
        conTransaccion([&] {
            Sentencia abandonados(db_, "UPDATE verifactu_envios SET resultado = 'sin-respuesta', "
                                       "terminado = ?1, mensaje = ?2 WHERE resultado = 'en-curso'");
            abandonados.entero(1, hora).texto(2, EnvioAbandonado).paso();
            Sentencia s(db_, "SELECT numero FROM verifactu_cola WHERE estado = 'pendiente' "
                             "ORDER BY numero LIMIT ?1");
            s.entero(1, static_cast<std::int64_t>(maximo));
            while (s.paso())
                envio.registros.push_back(s.enteroColumna(0));
            if (envio.registros.empty())
                return;
            Sentencia nuevo(db_, "INSERT INTO verifactu_envios (hora, registros) VALUES (?1, ?2)");
            nuevo.entero(1, hora).entero(2, static_cast<std::int64_t>(envio.registros.size()));
            nuevo.paso();
            envio.id = sqlite3_last_insert_rowid(db_);
            Sentencia marcar(db_, "UPDATE verifactu_cola SET envio = ?1 WHERE estado = "
                                  "'pendiente' AND numero <= ?2");
            marcar.entero(1, envio.id).entero(2, envio.registros.back()).paso();
        });
        return envio;
    }

    void terminarEnvio(std::int64_t id, const EnvioTerminado& f) override {
        conTransaccion([&] {
            Sentencia s(db_, "UPDATE verifactu_envios SET resultado = ?2, terminado = ?3, "
                             "estado_envio = ?4, csv = ?5, tiempo_espera = ?6, desfase_reloj = ?7, "
                             "mensaje = ?8, respuesta = ?9 WHERE id = ?1 AND resultado = "
                             "'en-curso'");
            s.entero(1, id)
                .texto(2, nombreResultado(f.resultado))
                .entero(3, f.hora)
                .texto(4, f.estadoEnvio)
                .texto(5, f.csv)
                .entero(6, f.tiempoEspera)
                .entero(7, f.desfaseReloj)
                .texto(8, f.mensaje)
                .blob(9, f.respuesta)
                .paso();
            Sentencia v(db_, "UPDATE verifactu_cola SET estado = ?3, codigo = ?4, descripcion = "
                             "?5, aviso = ?6 WHERE numero = ?1 AND envio = ?2 AND estado = "
                             "'pendiente'");
            for (const VeredictoRegistro& r : f.veredictos) {
                v.reiniciar();
                v.entero(1, r.numero)
                    .entero(2, id)
                    .texto(3, nombreVeredicto(r.estado))
                    .texto(4, r.codigo)
                    .texto(5, r.descripcion)
                    .texto(6, r.aviso)
                    .paso();
            }
        });
    }

    ResumenCola resumenCola() override {
        ResumenCola r;
        conTransaccion(
            [&] {
                Sentencia s(db_, "SELECT estado, count(*) FROM verifactu_cola GROUP BY estado");
                while (s.paso())
                    contar(r, veredictoDeNombre(s.vista(0)), s.enteroColumna(1));
                Sentencia u(db_, "SELECT hora, tiempo_espera, csv FROM verifactu_envios WHERE "
                                 "resultado = 'respondido' ORDER BY id DESC LIMIT 1");
                if (u.paso()) {
                    r.horaUltimoEnvio = u.enteroColumna(0);
                    r.tiempoEspera = u.enteroOpcional(1);
                }
                Sentencia c(db_,
                            "SELECT csv FROM verifactu_envios WHERE csv <> '' ORDER BY id DESC "
                            "LIMIT 1");
                if (c.paso())
                    r.ultimoCsv = c.columna(0);
                Sentencia d(db_, "SELECT cola_detenida FROM verifactu_cadena WHERE id = 1");
                if (d.paso())
                    r.detenida = d.columna(0);
            },
            false);
        return r;
    }

    void recorrerCola(const std::function<bool(const RegistroEnCola&)>& visitar) override {
        conTransaccion(
            [&] {
                Sentencia s(db_,
                            "SELECT c.numero, r.tipo, r.id_emisor, r.num_serie, "
                            "r.fecha_expedicion, c.estado, c.codigo, c.descripcion, c.aviso, "
                            "coalesce(e.csv, '') FROM verifactu_cola c JOIN verifactu_registros "
                            "r ON r.numero = c.numero LEFT JOIN verifactu_envios e ON e.id = "
                            "c.envio ORDER BY c.numero");
                while (s.paso()) {
                    RegistroEnCola r;
                    r.numero = s.enteroColumna(0);
                    r.alta = s.vista(1) == "alta";
                    r.idEmisor = s.columna(2);
                    r.numSerie = s.columna(3);
                    r.fechaExpedicion = s.columna(4);
                    r.veredicto = {r.numero, veredictoDeNombre(s.vista(5)), s.columna(6),
                                   s.columna(7), s.columna(8)};
                    r.csv = s.columna(9);
                    if (!visitar(r))
                        break;
                }
            },
            false);
    }

    void detenerCola(const std::string& motivo) override {
        conTransaccion([&] {
            Sentencia s(db_, "UPDATE verifactu_cadena SET cola_detenida = ?1 WHERE id = 1");
            s.texto(1, motivo).paso();
        });
    }

private:
    void ejecutar(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string motivo = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            if (sqlite3_errcode(db_) == SQLITE_BUSY)
                throw ErrorAlmacen("La cadena " + ruta_ +
                                   " sigue ocupada por otro proceso; pruebe de nuevo.");
            throw ErrorAlmacen("Fallo de la cadena " + ruta_ + ": " + motivo + ".");
        }
    }

    void enTransaccion(const std::function<void()>& f) override {
        conTransaccion([&] {
            leerDatos();
            f();
        });
    }

    // `f` en una transacción (con el cerrojo de escritura, si va a escribir; si no, una lectura
    // que ve la cadena de un solo momento); si lanza, se deshace.
    void conTransaccion(const std::function<void()>& f, bool escribir = true) {
        ejecutar(escribir ? "BEGIN IMMEDIATE" : "BEGIN");
        try {
            f();
            ejecutar("COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    void ponerAlDia() {
        Sentencia version(db_, "PRAGMA user_version");
        version.paso();
        if (version.enteroColumna(0) >= VersionEsquema) {
            if (version.enteroColumna(0) > VersionEsquema)
                throw ErrorAlmacen("La cadena " + ruta_ +
                                   " es de una versión más nueva del componente.");
            return;
        }
        ejecutar("BEGIN IMMEDIATE");
        try {
            Sentencia otra(db_, "PRAGMA user_version");
            otra.paso();
            for (auto v = otra.enteroColumna(0); v < VersionEsquema; ++v)
                ejecutar(Migraciones[static_cast<std::size_t>(v)]);
            Sentencia hay(db_, "SELECT count(*) FROM verifactu_cadena");
            hay.paso();
            if (hay.enteroColumna(0) == 0) {
                Sentencia nueva(db_, "INSERT INTO verifactu_cadena (id, numero_instalacion, "
                                     "creada) VALUES (1, ?1, ?2)");
                nueva.texto(1, nuevoNumeroInstalacion()).texto(2, ahoraUtc()).paso();
            }
            ejecutar(("PRAGMA user_version = " + std::to_string(VersionEsquema)).c_str());
            ejecutar("COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    void leerDatos() {
        Sentencia s(db_, "SELECT numero_instalacion, modo, nif_emisor, nombre_emisor, firmante "
                         "FROM verifactu_cadena WHERE id = 1");
        if (!s.paso())
            throw ErrorAlmacen("La cadena " + ruta_ + " no tiene sus datos de instalación.");
        datos_ = {s.columna(0), s.columna(1), s.columna(2), s.columna(3), s.columna(4), false};
        Sentencia u(db_, "SELECT tipo FROM verifactu_eventos ORDER BY numero DESC LIMIT 1");
        datos_.cerrada = u.paso() && u.vista(0) == EventoFin;
    }

    void escribirDatos() override {
        Sentencia c(db_, "UPDATE verifactu_cadena SET modo = ?1, nif_emisor = ?2, "
                         "nombre_emisor = ?3, firmante = ?4 WHERE id = 1");
        c.texto(1, datos_.modo)
            .texto(2, datos_.nifEmisor)
            .texto(3, datos_.nombreEmisor)
            .texto(4, datos_.firmante)
            .paso();
    }

    void escribirEvento(const EventoCadena& e) override {
        Sentencia s(db_,
                    "INSERT INTO verifactu_eventos (numero, tipo, fecha_hora_huso, huella, "
                    "huella_anterior, registros_hasta, xml) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        s.entero(1, e.numero)
            .texto(2, e.tipo)
            .texto(3, e.fechaHoraHusoGenEvento)
            .texto(4, e.huella)
            .texto(5, e.huellaAnterior)
            .entero(6, e.registrosHasta)
            .blob(7, e.xml);
        s.paso();
    }

    void encolar(std::int64_t numero) override {
        Sentencia s(db_, "INSERT INTO verifactu_cola (numero) VALUES (?1)");
        s.entero(1, numero).paso();
    }

    void guardar(const RegistroCadena& r, bool conDatos) override {
        Sentencia s(db_, "INSERT INTO verifactu_registros (numero, tipo, id_emisor, num_serie, "
                         "fecha_expedicion, huella, huella_anterior, fecha_hora_huso, xml) "
                         "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        s.entero(1, r.numero)
            .texto(2, r.alta ? "alta" : "anulacion")
            .texto(3, r.idEmisor)
            .texto(4, r.numSerie)
            .texto(5, r.fechaExpedicion)
            .texto(6, r.huella)
            .texto(7, r.huellaAnterior)
            .texto(8, r.fechaHoraHusoGenRegistro)
            .blob(9, r.xml);
        s.paso();
        if (conDatos)
            escribirDatos();
    }

    // Transaccion
    std::optional<RegistroCadena> ultimo() override {
        Sentencia s(db_, (std::string("SELECT ") + ColumnasRegistro +
                          " FROM verifactu_registros ORDER BY numero DESC LIMIT 1")
                             .c_str());
        if (!s.paso())
            return std::nullopt;
        return copia(leerVista(s, false));
    }

    std::optional<RegistroCadena> ultimoDeFactura(const std::string& idEmisor,
                                                  const std::string& numSerie,
                                                  const std::string& fecha) override {
        Sentencia s(db_, (std::string("SELECT ") + ColumnasRegistro +
                          " FROM verifactu_registros WHERE id_emisor = ?1 AND num_serie = ?2 "
                          "AND fecha_expedicion = ?3 ORDER BY numero DESC LIMIT 1")
                             .c_str());
        s.texto(1, idEmisor).texto(2, numSerie).texto(3, fecha);
        if (!s.paso())
            return std::nullopt;
        return copia(leerVista(s, false));
    }

    void recorrerRegistros(std::int64_t desde, std::int64_t hasta, bool conXml,
                           const std::function<bool(const VistaRegistro&)>& visitar) override {
        const std::string sql =
            std::string("SELECT ") + ColumnasRegistro + (conXml ? ", xml" : "") +
            " FROM verifactu_registros WHERE numero BETWEEN ?1 AND ?2 ORDER BY numero";
        Sentencia s(db_, sql.c_str());
        s.entero(1, desde).entero(2, hasta);
        while (s.paso())
            if (!visitar(leerVista(s, conXml)))
                break;
    }

    std::optional<EventoCadena> ultimoEvento(const std::vector<std::string>& tipos) override {
        std::string sql = std::string("SELECT ") + ColumnasEvento + " FROM verifactu_eventos";
        for (std::size_t i = 0; i < tipos.size(); ++i)
            sql += (i == 0 ? " WHERE tipo IN (?" : ", ?") + std::to_string(i + 1) +
                   (i + 1 == tipos.size() ? ")" : "");
        Sentencia s(db_, (sql + " ORDER BY numero DESC LIMIT 1").c_str());
        for (std::size_t i = 0; i < tipos.size(); ++i)
            s.texto(static_cast<int>(i + 1), tipos[i]);
        if (!s.paso())
            return std::nullopt;
        return leerEvento(s, false);
    }

    std::vector<std::pair<std::string, std::int64_t>> eventosPorTipo(std::int64_t desde) override {
        Sentencia s(db_, "SELECT tipo, count(*) FROM verifactu_eventos WHERE numero >= ?1 "
                         "GROUP BY tipo ORDER BY tipo");
        s.entero(1, desde);
        std::vector<std::pair<std::string, std::int64_t>> r;
        while (s.paso())
            r.emplace_back(s.columna(0), s.enteroColumna(1));
        return r;
    }

    std::string ruta_;
    sqlite3* db_ = nullptr;
};

} // namespace

std::unique_ptr<AlmacenCadena> abrirSqlite(const std::string& ruta) {
    return std::make_unique<AlmacenSqlite>(ruta);
}

} // namespace morvelin::verifactu
