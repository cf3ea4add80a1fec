// La cadena en PostgreSQL, para varios puestos con el mismo NIF: cada añadido es una
// transacción que bloquea la fila de la cadena (SELECT ... FOR UPDATE) antes de leer el último
// registro; la confirmación espera al disco del servidor (synchronous_commit).
#include "verifactu/almacen_comun.h"

#include <libpq-fe.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace morvelin::verifactu {

namespace {

constexpr int VersionEsquema = 3;
// El evento que cierra la cadena: el fin del modo sin remisión.
constexpr std::string_view EventoFin = "02";
// Cerrojo de asesoramiento de la puesta al día del esquema (dos procesos que estrenan la base).
constexpr const char* CerrojoEsquema = "SELECT pg_advisory_xact_lock(7745093215470285829)";

const std::vector<const char*> Migraciones = {
    R"(CREATE TABLE verifactu_cadena (
           id integer PRIMARY KEY CHECK (id = 1),
           numero_instalacion text NOT NULL,
           modo text NOT NULL DEFAULT 'verifactu' CHECK (modo IN ('verifactu', 'no-verifactu')),
           nif_emisor text NOT NULL DEFAULT '',
           nombre_emisor text NOT NULL DEFAULT '',
           creada timestamptz NOT NULL DEFAULT now());
       CREATE TABLE verifactu_registros (
           numero bigint PRIMARY KEY,
           tipo text NOT NULL CHECK (tipo IN ('alta', 'anulacion')),
           id_emisor text NOT NULL,
           num_serie text NOT NULL,
           fecha_expedicion text NOT NULL,
           huella text NOT NULL UNIQUE,
           huella_anterior text NOT NULL UNIQUE,
           fecha_hora_huso text NOT NULL,
           xml bytea NOT NULL);
       CREATE INDEX verifactu_registros_factura
           ON verifactu_registros (id_emisor, num_serie, fecha_expedicion);
       CREATE FUNCTION verifactu_registros_inmutables() RETURNS trigger LANGUAGE plpgsql AS $$
       BEGIN RAISE EXCEPTION 'los registros de la cadena no se cambian ni se borran'; END $$;
       CREATE TRIGGER verifactu_registros_sin_cambios BEFORE UPDATE OR DELETE
           ON verifactu_registros FOR EACH ROW EXECUTE FUNCTION verifactu_registros_inmutables();
       CREATE TRIGGER verifactu_registros_sin_vaciar BEFORE TRUNCATE
           ON verifactu_registros FOR EACH STATEMENT
           EXECUTE FUNCTION verifactu_registros_inmutables();)",
    // 2: la cola de envío a la agencia. Los registros de una cadena VERI*FACTU que ya estaban
    // entran en ella: nunca se han enviado.
    R"(ALTER TABLE verifactu_cadena ADD COLUMN cola_detenida text NOT NULL DEFAULT '';
       CREATE TABLE verifactu_envios (
           id bigserial PRIMARY KEY,
           hora bigint NOT NULL,
           registros bigint NOT NULL,
           resultado text NOT NULL DEFAULT 'en-curso' CHECK (resultado IN
               ('en-curso', 'respondido', 'fallo-servidor', 'fallo-cliente', 'sin-respuesta')),
           terminado bigint,
           estado_envio text NOT NULL DEFAULT '',
           csv text NOT NULL DEFAULT '',
           tiempo_espera bigint,
           desfase_reloj bigint,
           mensaje text NOT NULL DEFAULT '',
           respuesta bytea);
       CREATE TABLE verifactu_cola (
           numero bigint PRIMARY KEY REFERENCES verifactu_registros (numero),
           estado text NOT NULL DEFAULT 'pendiente' CHECK (estado IN
               ('pendiente', 'correcto', 'aceptado-con-errores', 'incorrecto', 'duplicado')),
           envio bigint REFERENCES verifactu_envios (id),
           codigo text NOT NULL DEFAULT '',
           descripcion text NOT NULL DEFAULT '',
           aviso text NOT NULL DEFAULT '');
       CREATE INDEX verifactu_cola_pendientes ON verifactu_cola (numero)
           WHERE estado = 'pendiente';
       CREATE FUNCTION verifactu_cola_fija() RETURNS trigger LANGUAGE plpgsql AS $$
       BEGIN RAISE EXCEPTION 'lo que contestó la agencia no se cambia ni se borra'; END $$;
       CREATE TRIGGER verifactu_cola_veredicto_fijo BEFORE UPDATE ON verifactu_cola
           FOR EACH ROW WHEN (OLD.estado <> 'pendiente') EXECUTE FUNCTION verifactu_cola_fija();
       CREATE TRIGGER verifactu_cola_sin_borrado BEFORE DELETE ON verifactu_cola
           FOR EACH ROW EXECUTE FUNCTION verifactu_cola_fija();
       CREATE TRIGGER verifactu_envios_respuesta_fija BEFORE UPDATE ON verifactu_envios
           FOR EACH ROW WHEN (OLD.resultado <> 'en-curso')
           EXECUTE FUNCTION verifactu_cola_fija();
       CREATE TRIGGER verifactu_envios_sin_borrado BEFORE DELETE ON verifactu_envios
           FOR EACH ROW EXECUTE FUNCTION verifactu_cola_fija();
       CREATE TRIGGER verifactu_cola_sin_vaciar BEFORE TRUNCATE ON verifactu_cola
           FOR EACH STATEMENT EXECUTE FUNCTION verifactu_cola_fija();
       INSERT INTO verifactu_cola (numero)
           SELECT numero FROM verifactu_registros
           WHERE (SELECT modo FROM verifactu_cadena WHERE id = 1) = 'verifactu';)",
    // 3: sin remisión, el firmante y el registro de eventos, encadenado como los registros.
    R"(ALTER TABLE verifactu_cadena ADD COLUMN firmante text NOT NULL DEFAULT '';
       CREATE TABLE verifactu_eventos (
           numero bigint PRIMARY KEY,
           tipo text NOT NULL,
           fecha_hora_huso text NOT NULL,
           huella text NOT NULL UNIQUE,
           huella_anterior text NOT NULL UNIQUE,
           registros_hasta bigint NOT NULL,
           xml bytea NOT NULL);
       CREATE TRIGGER verifactu_eventos_sin_cambios BEFORE UPDATE OR DELETE
           ON verifactu_eventos FOR EACH ROW EXECUTE FUNCTION verifactu_registros_inmutables();
       CREATE TRIGGER verifactu_eventos_sin_vaciar BEFORE TRUNCATE
           ON verifactu_eventos FOR EACH STATEMENT
           EXECUTE FUNCTION verifactu_registros_inmutables();)",
};

// El cerrojo de asesoramiento del turno de envío, que se toma en una conexión aparte y dura lo
// que ella (si el proceso acaba, el servidor cierra la conexión y lo suelta).
constexpr const char* CerrojoEnvio = "SELECT pg_try_advisory_lock(7745093215470285830)";

constexpr const char* ColumnasRegistro =
    "numero, tipo, id_emisor, num_serie, fecha_expedicion, huella, huella_anterior, "
    "fecha_hora_huso";

using Resultado = std::unique_ptr<PGresult, decltype(&PQclear)>;

// Los resultados llegan en binario: los textos como sus bytes, los bigint en orden de red.
std::string_view vista(const PGresult* r, int fila, int col) {
    return std::string_view(PQgetvalue(r, fila, col),
                            static_cast<std::size_t>(PQgetlength(r, fila, col)));
}

std::string campo(const PGresult* r, int fila, int col) {
    return std::string(vista(r, fila, col));
}

// Un bigint que puede ser NULL.
std::optional<std::int64_t> enteroOpcional(const PGresult* r, int fila, int col);

std::int64_t entero(const PGresult* r, int fila, int col) {
    const auto* b = reinterpret_cast<const unsigned char*>(PQgetvalue(r, fila, col));
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | b[i];
    return static_cast<std::int64_t>(v);
}

std::optional<std::int64_t> enteroOpcional(const PGresult* r, int fila, int col) {
    if (PQgetisnull(r, fila, col))
        return std::nullopt;
    return entero(r, fila, col);
}

// Un entero opcional como parámetro de texto: vacío es NULL (NULLIF($n, '')::bigint).
std::string textoOpcional(const std::optional<std::int64_t>& v) {
    return v ? std::to_string(*v) : std::string();
}

// El turno de envío: la conexión que tiene el cerrojo.
class TurnoPostgresql final : public TurnoEnvio {
public:
    explicit TurnoPostgresql(PGconn* pg) : pg_(pg) {}
    ~TurnoPostgresql() override { PQfinish(pg_); }

private:
    PGconn* pg_;
};

VistaRegistro leerVista(const PGresult* r, int fila, bool conXml) {
    VistaRegistro c;
    c.numero = entero(r, fila, 0);
    c.alta = vista(r, fila, 1) == "alta";
    c.idEmisor = vista(r, fila, 2);
    c.numSerie = vista(r, fila, 3);
    c.fechaExpedicion = vista(r, fila, 4);
    c.huella = vista(r, fila, 5);
    c.huellaAnterior = vista(r, fila, 6);
    c.fechaHoraHusoGenRegistro = vista(r, fila, 7);
    if (conXml)
        c.xml = vista(r, fila, 8);
    return c;
}

constexpr const char* ColumnasEvento =
    "numero, tipo, fecha_hora_huso, huella, huella_anterior, registros_hasta";

EventoCadena leerEvento(const PGresult* r, int fila, bool conXml) {
    EventoCadena e;
    e.numero = entero(r, fila, 0);
    e.tipo = campo(r, fila, 1);
    e.fechaHoraHusoGenEvento = campo(r, fila, 2);
    e.huella = campo(r, fila, 3);
    e.huellaAnterior = campo(r, fila, 4);
    e.registrosHasta = entero(r, fila, 5);
    if (conXml)
        e.xml = campo(r, fila, 6);
    return e;
}

class AlmacenPostgresql final : public AlmacenComun {
public:
    explicit AlmacenPostgresql(const std::string& conexion)
        : conexion_(conexion), pg_(PQconnectdb(conexion.c_str())) {
        if (!pg_ || PQstatus(pg_) != CONNECTION_OK) {
            const std::string motivo = pg_ ? PQerrorMessage(pg_) : "sin memoria";
            PQfinish(pg_);
            throw ErrorAlmacen("No se puede conectar con la cadena en PostgreSQL (" +
                               recortarMensaje(motivo) + ").");
        }
        PQsetNoticeProcessor(
            pg_, [](void*, const char*) {}, nullptr);
        try {
            ejecutar("SET synchronous_commit = on");
            ponerAlDia();
        } catch (...) {
            PQfinish(pg_);
            throw;
        }
    }
    ~AlmacenPostgresql() override { PQfinish(pg_); }

    DatosCadena datos() override {
        ejecutar("BEGIN");
        try {
            leerDatos(false);
        } catch (...) {
            deshacer();
            throw;
        }
        ejecutar("COMMIT");
        return datos_;
    }

    void recorrer(std::int64_t desde, std::int64_t hasta, bool conXml,
                  const std::function<bool(const VistaRegistro&)>& visitar) override {
        recorrerRegistros(desde, hasta, conXml, visitar);
    }

    void recorrerEventos(std::int64_t desde, std::int64_t hasta,
                         const std::function<bool(const EventoCadena&)>& visitar) override {
        filas(std::string("SELECT ") + ColumnasEvento +
                  ", xml FROM verifactu_eventos WHERE numero BETWEEN $1::bigint AND $2::bigint "
                  "ORDER BY numero",
              desde, hasta, [&](const PGresult* r) { return visitar(leerEvento(r, 0, true)); });
    }

private:
    // Los registros fila a fila, sin tenerlos todos en memoria; en una transacción abierta o
    // fuera de ella.
    void recorrerRegistros(std::int64_t desde, std::int64_t hasta, bool conXml,
                           const std::function<bool(const VistaRegistro&)>& visitar) override {
        filas(std::string("SELECT ") + ColumnasRegistro + (conXml ? ", xml" : "") +
                  " FROM verifactu_registros WHERE numero BETWEEN $1::bigint AND $2::bigint "
                  "ORDER BY numero",
              desde, hasta, [&](const PGresult* r) { return visitar(leerVista(r, 0, conXml)); });
    }

    // Las filas de `sql` (con los números `desde` y `hasta` como $1 y $2) de una en una.
    void filas(const std::string& sql, std::int64_t desde, std::int64_t hasta,
               const std::function<bool(const PGresult*)>& fila) {
        const std::string d = std::to_string(desde), h = std::to_string(hasta);
        const char* valores[] = {d.c_str(), h.c_str()};
        if (!PQsendQueryParams(pg_, sql.c_str(), 2, nullptr, valores, nullptr, nullptr, 1) ||
            !PQsetSingleRowMode(pg_))
            throw ErrorAlmacen(mensaje("No se puede leer la cadena"));
        bool seguir = true;
        std::string error;
        while (PGresult* r = PQgetResult(pg_)) {
            Resultado res(r, PQclear);
            const auto estado = PQresultStatus(r);
            if (estado == PGRES_SINGLE_TUPLE) {
                if (seguir)
                    seguir = fila(r);
            } else if (estado != PGRES_TUPLES_OK) {
                error = recortarMensaje(PQresultErrorMessage(r));
            }
        }
        if (!error.empty())
            throw ErrorAlmacen("No se puede leer la cadena (" + error + ").");
    }

public:
    std::int64_t cuantos() override {
        auto r = consulta("SELECT count(*)::bigint FROM verifactu_registros", {});
        return entero(r.get(), 0, 0);
    }

    std::int64_t ultimoNumero() override {
        auto r = consulta("SELECT coalesce(max(numero), 0)::bigint FROM verifactu_registros", {});
        return entero(r.get(), 0, 0);
    }

    std::unique_ptr<AlmacenCadena> otraConexion() override {
        return std::make_unique<AlmacenPostgresql>(conexion_);
    }

    std::unique_ptr<TurnoEnvio> tomarTurnoEnvio() override {
        PGconn* pg = PQconnectdb(conexion_.c_str());
        if (!pg || PQstatus(pg) != CONNECTION_OK) {
            const std::string motivo = pg ? PQerrorMessage(pg) : "sin memoria";
            PQfinish(pg);
            throw ErrorAlmacen("No se puede conectar con la cadena en PostgreSQL (" +
                               recortarMensaje(motivo) + ").");
        }
        Resultado r(PQexec(pg, CerrojoEnvio), PQclear);
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK || PQntuples(r.get()) != 1) {
            const std::string motivo = recortarMensaje(PQresultErrorMessage(r.get()));
            PQfinish(pg);
            throw ErrorAlmacen("Fallo de la cadena en PostgreSQL (" + motivo + ").");
        }
        if (std::string_view(PQgetvalue(r.get(), 0, 0)) != "t") {
            PQfinish(pg);
            return nullptr;
        }
        return std::make_unique<TurnoPostgresql>(pg);
    }

    EnvioEnCurso empezarEnvio(std::int64_t hora, std::size_t maximo) override {
        EnvioEnCurso envio;
        conTransaccion([&] {
            const std::string h = std::to_string(hora), m = std::to_string(maximo);
            const std::string abandonado = EnvioAbandonado;
            consulta("UPDATE verifactu_envios SET resultado = 'sin-respuesta', terminado = "
                     "$1::bigint, mensaje = $2 WHERE resultado = 'en-curso'",
                     {&h, &abandonado});
            auto r = consulta("SELECT numero FROM verifactu_cola WHERE estado = 'pendiente' "
                              "ORDER BY numero LIMIT $1::bigint",
                              {&m});
            for (int i = 0; i < PQntuples(r.get()); ++i)
                envio.registros.push_back(entero(r.get(), i, 0));
            if (envio.registros.empty())
                return;
            const std::string n = std::to_string(envio.registros.size());
            auto id = consulta("INSERT INTO verifactu_envios (hora, registros) VALUES ($1::bigint, "
                               "$2::bigint) RETURNING id",
                               {&h, &n});
            envio.id = entero(id.get(), 0, 0);
            const std::string e = std::to_string(envio.id);
            const std::string ultimo = std::to_string(envio.registros.back());
            consulta("UPDATE verifactu_cola SET envio = $1::bigint WHERE estado = 'pendiente' "
                     "AND numero <= $2::bigint",
                     {&e, &ultimo});
        });
        return envio;
    }

    void terminarEnvio(std::int64_t id, const EnvioTerminado& f) override {
        conTransaccion([&] {
            const std::string e = std::to_string(id), resultado = nombreResultado(f.resultado);
            const std::string hora = std::to_string(f.hora);
            const std::string espera = textoOpcional(f.tiempoEspera);
            const std::string desfase = textoOpcional(f.desfaseReloj);
            consulta("UPDATE verifactu_envios SET resultado = $2, terminado = $3::bigint, "
                     "estado_envio = $4, csv = $5, tiempo_espera = NULLIF($6, '')::bigint, "
                     "desfase_reloj = NULLIF($7, '')::bigint, mensaje = $8, respuesta = $9 "
                     "WHERE id = $1::bigint AND resultado = 'en-curso'",
                     {&e, &resultado, &hora, &f.estadoEnvio, &f.csv, &espera, &desfase, &f.mensaje},
                     &f.respuesta);
            for (const VeredictoRegistro& r : f.veredictos) {
                const std::string numero = std::to_string(r.numero);
                const std::string estado = nombreVeredicto(r.estado);
                consulta("UPDATE verifactu_cola SET estado = $3, codigo = $4, descripcion = $5, "
                         "aviso = $6 WHERE numero = $1::bigint AND envio = $2::bigint AND "
                         "estado = 'pendiente'",
                         {&numero, &e, &estado, &r.codigo, &r.descripcion, &r.aviso});
            }
        });
    }

    ResumenCola resumenCola() override {
        ResumenCola r;
        conTransaccion([&] {
            auto c = consulta("SELECT estado, count(*)::bigint FROM verifactu_cola GROUP BY "
                              "estado",
                              {});
            for (int i = 0; i < PQntuples(c.get()); ++i)
                contar(r, veredictoDeNombre(vista(c.get(), i, 0)), entero(c.get(), i, 1));
            auto u = consulta("SELECT hora, tiempo_espera FROM verifactu_envios WHERE resultado = "
                              "'respondido' ORDER BY id DESC LIMIT 1",
                              {});
            if (PQntuples(u.get()) == 1) {
                r.horaUltimoEnvio = entero(u.get(), 0, 0);
                r.tiempoEspera = enteroOpcional(u.get(), 0, 1);
            }
            auto v = consulta("SELECT csv FROM verifactu_envios WHERE csv <> '' ORDER BY id DESC "
                              "LIMIT 1",
                              {});
            if (PQntuples(v.get()) == 1)
                r.ultimoCsv = campo(v.get(), 0, 0);
            auto d = consulta("SELECT cola_detenida FROM verifactu_cadena WHERE id = 1", {});
            if (PQntuples(d.get()) == 1)
                r.detenida = campo(d.get(), 0, 0);
        });
        return r;
    }

    void recorrerCola(const std::function<bool(const RegistroEnCola&)>& visitar) override {
        auto r = consulta("SELECT c.numero, r.tipo, r.id_emisor, r.num_serie, r.fecha_expedicion, "
                          "c.estado, c.codigo, c.descripcion, c.aviso, coalesce(e.csv, '') FROM "
                          "verifactu_cola c JOIN verifactu_registros r ON r.numero = c.numero "
                          "LEFT JOIN verifactu_envios e ON e.id = c.envio ORDER BY c.numero",
                          {});
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            RegistroEnCola c;
            c.numero = entero(r.get(), i, 0);
            c.alta = vista(r.get(), i, 1) == "alta";
            c.idEmisor = campo(r.get(), i, 2);
            c.numSerie = campo(r.get(), i, 3);
            c.fechaExpedicion = campo(r.get(), i, 4);
            c.veredicto = {c.numero, veredictoDeNombre(vista(r.get(), i, 5)), campo(r.get(), i, 6),
                           campo(r.get(), i, 7), campo(r.get(), i, 8)};
            c.csv = campo(r.get(), i, 9);
            if (!visitar(c))
                break;
        }
    }

    void detenerCola(const std::string& motivo) override {
        consulta("UPDATE verifactu_cadena SET cola_detenida = $1 WHERE id = 1", {&motivo});
    }

private:
    static std::string recortarMensaje(std::string m) {
        while (!m.empty() && (m.back() == '\n' || m.back() == ' '))
            m.pop_back();
        return m;
    }

    std::string mensaje(const std::string& que) const {
        return que + " (" + recortarMensaje(PQerrorMessage(pg_)) + ").";
    }

    void ejecutar(const char* sql) {
        Resultado r(PQexec(pg_, sql), PQclear);
        const auto e = PQresultStatus(r.get());
        if (e != PGRES_COMMAND_OK && e != PGRES_TUPLES_OK)
            throw ErrorAlmacen("Fallo de la cadena en PostgreSQL (" +
                               recortarMensaje(PQresultErrorMessage(r.get())) + ").");
    }

    // Una consulta con parámetros de texto y resultado binario.
    Resultado consulta(const char* sql, const std::vector<const std::string*>& parametros,
                       const std::string* binario = nullptr) {
        std::vector<const char*> valores;
        std::vector<int> largos, formatos;
        for (const auto* p : parametros) {
            valores.push_back(p->c_str());
            largos.push_back(static_cast<int>(p->size()));
            formatos.push_back(0);
        }
        if (binario) {
            valores.push_back(binario->data());
            largos.push_back(static_cast<int>(binario->size()));
            formatos.push_back(1);
        }
        Resultado r(PQexecParams(pg_, sql, static_cast<int>(valores.size()), nullptr,
                                 valores.data(), largos.data(), formatos.data(), 1),
                    PQclear);
        const auto e = PQresultStatus(r.get());
        if (e != PGRES_COMMAND_OK && e != PGRES_TUPLES_OK)
            throw ErrorAlmacen("Fallo de la cadena en PostgreSQL (" +
                               recortarMensaje(PQresultErrorMessage(r.get())) + ").");
        return r;
    }

    void deshacer() { Resultado r(PQexec(pg_, "ROLLBACK"), PQclear); }

    void enTransaccion(const std::function<void()>& f) override {
        conTransaccion([&] {
            leerDatos(true);
            f();
        });
    }

    // `f` en una transacción; si lanza, se deshace.
    void conTransaccion(const std::function<void()>& f) {
        ejecutar("BEGIN");
        try {
            f();
            ejecutar("COMMIT");
        } catch (...) {
            deshacer();
            throw;
        }
    }

    void ponerAlDia() {
        ejecutar("BEGIN");
        try {
            ejecutar(CerrojoEsquema);
            ejecutar("CREATE TABLE IF NOT EXISTS verifactu_esquema (version integer NOT NULL)");
            auto r =
                consulta("SELECT coalesce(max(version), 0)::bigint FROM verifactu_esquema", {});
            const auto version = entero(r.get(), 0, 0);
            if (version > VersionEsquema)
                throw ErrorAlmacen("La cadena es de una versión más nueva del componente.");
            for (auto v = version; v < VersionEsquema; ++v)
                ejecutar(Migraciones[static_cast<std::size_t>(v)]);
            if (version < VersionEsquema) {
                const std::string instalacion = nuevoNumeroInstalacion();
                consulta("INSERT INTO verifactu_cadena (id, numero_instalacion) VALUES (1, $1) "
                         "ON CONFLICT (id) DO NOTHING",
                         {&instalacion});
                ejecutar("DELETE FROM verifactu_esquema");
                const std::string v = std::to_string(VersionEsquema);
                consulta("INSERT INTO verifactu_esquema (version) VALUES ($1::integer)", {&v});
            }
            ejecutar("COMMIT");
        } catch (...) {
            deshacer();
            throw;
        }
    }

    // Con `bloquear`, la fila de la cadena queda bloqueada hasta el final de la transacción:
    // es el cerrojo que ordena los añadidos de todos los puestos.
    void leerDatos(bool bloquear) {
        auto r = consulta(bloquear ? "SELECT numero_instalacion, modo, nif_emisor, nombre_emisor, "
                                     "firmante FROM verifactu_cadena WHERE id = 1 FOR UPDATE"
                                   : "SELECT numero_instalacion, modo, nif_emisor, nombre_emisor, "
                                     "firmante FROM verifactu_cadena WHERE id = 1",
                          {});
        if (PQntuples(r.get()) != 1)
            throw ErrorAlmacen("La cadena no tiene sus datos de instalación.");
        datos_ = {campo(r.get(), 0, 0), campo(r.get(), 0, 1), campo(r.get(), 0, 2),
                  campo(r.get(), 0, 3), campo(r.get(), 0, 4), false};
        auto u = consulta("SELECT tipo FROM verifactu_eventos ORDER BY numero DESC LIMIT 1", {});
        datos_.cerrada = PQntuples(u.get()) == 1 && vista(u.get(), 0, 0) == EventoFin;
    }

    void escribirDatos() override {
        consulta("UPDATE verifactu_cadena SET modo = $1, nif_emisor = $2, nombre_emisor = $3, "
                 "firmante = $4 WHERE id = 1",
                 {&datos_.modo, &datos_.nifEmisor, &datos_.nombreEmisor, &datos_.firmante});
    }

    void escribirEvento(const EventoCadena& e) override {
        const std::string numero = std::to_string(e.numero);
        const std::string hasta = std::to_string(e.registrosHasta);
        consulta(
            "INSERT INTO verifactu_eventos (numero, tipo, fecha_hora_huso, huella, "
            "huella_anterior, registros_hasta, xml) "
            "VALUES ($1::bigint, $2, $3, $4, $5, $6::bigint, $7)",
            {&numero, &e.tipo, &e.fechaHoraHusoGenEvento, &e.huella, &e.huellaAnterior, &hasta},
            &e.xml);
    }

    std::optional<EventoCadena> ultimoEvento(const std::vector<std::string>& tipos) override {
        std::string sql = std::string("SELECT ") + ColumnasEvento + " FROM verifactu_eventos";
        std::vector<const std::string*> parametros;
        for (std::size_t i = 0; i < tipos.size(); ++i) {
            sql += (i == 0 ? " WHERE tipo IN ($" : ", $") + std::to_string(i + 1) +
                   (i + 1 == tipos.size() ? ")" : "");
            parametros.push_back(&tipos[i]);
        }
        auto r = consulta((sql + " ORDER BY numero DESC LIMIT 1").c_str(), parametros);
        if (PQntuples(r.get()) == 0)
            return std::nullopt;
        return leerEvento(r.get(), 0, false);
    }

    std::vector<std::pair<std::string, std::int64_t>> eventosPorTipo(std::int64_t desde) override {
        const std::string d = std::to_string(desde);
        auto r = consulta("SELECT tipo, count(*)::bigint FROM verifactu_eventos WHERE numero >= "
                          "$1::bigint GROUP BY tipo ORDER BY tipo",
                          {&d});
        std::vector<std::pair<std::string, std::int64_t>> v;
        for (int i = 0; i < PQntuples(r.get()); ++i)
            v.emplace_back(campo(r.get(), i, 0), entero(r.get(), i, 1));
        return v;
    }

    void encolar(std::int64_t numero) override {
        const std::string n = std::to_string(numero);
        consulta("INSERT INTO verifactu_cola (numero) VALUES ($1::bigint)", {&n});
    }

    void guardar(const RegistroCadena& r, bool conDatos) override {
        const std::string numero = std::to_string(r.numero);
        const std::string tipo = r.alta ? "alta" : "anulacion";
        consulta("INSERT INTO verifactu_registros (numero, tipo, id_emisor, num_serie, "
                 "fecha_expedicion, huella, huella_anterior, fecha_hora_huso, xml) "
                 "VALUES ($1::bigint, $2, $3, $4, $5, $6, $7, $8, $9)",
                 {&numero, &tipo, &r.idEmisor, &r.numSerie, &r.fechaExpedicion, &r.huella,
                  &r.huellaAnterior, &r.fechaHoraHusoGenRegistro},
                 &r.xml);
        if (conDatos)
            escribirDatos();
    }

    // Transaccion
    std::optional<RegistroCadena> ultimo() override {
        auto r = consulta((std::string("SELECT ") + ColumnasRegistro +
                           " FROM verifactu_registros ORDER BY numero DESC LIMIT 1")
                              .c_str(),
                          {});
        if (PQntuples(r.get()) == 0)
            return std::nullopt;
        return copia(leerVista(r.get(), 0, false));
    }

    std::optional<RegistroCadena> ultimoDeFactura(const std::string& idEmisor,
                                                  const std::string& numSerie,
                                                  const std::string& fecha) override {
        auto r = consulta((std::string("SELECT ") + ColumnasRegistro +
                           " FROM verifactu_registros WHERE id_emisor = $1 AND num_serie = $2 "
                           "AND fecha_expedicion = $3 ORDER BY numero DESC LIMIT 1")
                              .c_str(),
                          {&idEmisor, &numSerie, &fecha});
        if (PQntuples(r.get()) == 0)
            return std::nullopt;
        return copia(leerVista(r.get(), 0, false));
    }

    std::string conexion_;
    PGconn* pg_;
};

} // namespace

std::unique_ptr<AlmacenCadena> abrirPostgresql(const std::string& conexion) {
    return std::make_unique<AlmacenPostgresql>(conexion);
}

} // namespace morvelin::verifactu
