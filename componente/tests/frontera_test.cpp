// La frontera de los métodos: tabla de cadenas, trampa de fallos y primer paso de cada método.
#include "infraestructura/lectura.h"
#include "infraestructura/mensajes.h"
#include "infraestructura/trampa.h"
#include "metodos.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvelin;

namespace {

class Carpeta : public ::testing::Test {
protected:
    void SetUp() override {
        raiz = fs::temp_directory_path() /
               ("morvelin-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(raiz);
    }
    void TearDown() override { fs::remove_all(raiz); }
    std::string ruta(const std::string& nombre) const { return (raiz / nombre).string(); }
    fs::path raiz;
};

} // namespace

TEST(TablaDeCadenas, CadaMensajeEmpiezaPorSuCodigo) {
    const std::pair<int, const char*> codigos[] = {
        {103, "01"}, {104, "02"}, {105, "03"}, {106, "04"}, {107, "05"}, {108, "11"},
        {109, "12"}, {110, "13"}, {111, "14"}, {112, "15"}, {113, "16"}, {114, "17"},
        {115, "18"}, {116, "19"}, {117, "20"}, {118, "99"}};
    for (const auto& [id, codigo] : codigos) {
        const std::string& m = cargarMensaje(id);
        EXPECT_EQ(m.substr(0, 3), std::string(codigo) + " ") << id;
    }
    EXPECT_EQ(cargarMensaje(100), "MORVELIN");
    EXPECT_EQ(cargarMensaje(102), "MorvelinCtl Class");
    EXPECT_EQ(cargarMensaje(104), "02 No se tiene acceso al almacén de certificados.");
    EXPECT_EQ(cargarMensaje(114), "17 No se ha podido establecer conexión https con el servidor "
                                  "de la ZELK para verificar la firma.");
    EXPECT_THROW(cargarMensaje(101), std::out_of_range);
    EXPECT_THROW(cargarMensaje(119), std::out_of_range);
}

TEST(Trampa, ConvierteElIdentificadorEnSuMensajeYDejaPasarLoDemas) {
    EXPECT_EQ(conTrampa([]() -> std::string { return "00 bien"; }), "00 bien");
    EXPECT_EQ(conTrampa([]() -> std::string { lanzar(NoSeFirma); }),
              "05 No se ha podido realizar la firma.");
    EXPECT_THROW(conTrampa([]() -> std::string { throw std::bad_alloc(); }), std::bad_alloc);
}

using PrimerPaso = Carpeta;

TEST_F(PrimerPaso, FirmaSinFacturaLegibleContesta01) {
    const std::string m01 = "01 No se ha podido leer el fichero a firmar.";
    EXPECT_EQ(FIRMA("", "12345678Z", ruta("f.sig")), m01);
    EXPECT_EQ(FIRMA(ruta("no-existe.xml"), "12345678Z", ruta("f.sig")), m01);
    EXPECT_EQ(FIRMA(raiz.string(), "12345678Z", ruta("f.sig")), m01) << "una carpeta";
    EXPECT_FALSE(fs::exists(ruta("f.sig")));
}

TEST_F(PrimerPaso, UnaFacturaVaciaEsUnaFacturaValida) {
    std::ofstream(ruta("vacia.xml")).close();
    const std::string r = FIRMA(ruta("vacia.xml"), "12345678Z", ruta("f.sig"));
    EXPECT_NE(r.substr(0, 2), "01") << r;
    EXPECT_NE(r.substr(0, 2), "00") << "nada está firmado todavía";
    EXPECT_EQ(leerFichero(ruta("vacia.xml")), "");
}

TEST_F(PrimerPaso, LeerFicheroDevuelveLosBytesExactos) {
    std::string bytes;
    for (int i = 0; i < 30000; ++i)
        bytes.push_back(static_cast<char>(i * 7 % 256));
    std::ofstream(ruta("b.bin"), std::ios::binary) << bytes;
    EXPECT_EQ(leerFichero(ruta("b.bin")), bytes);
}

TEST_F(PrimerPaso, VerificaSinFicheroFirmadoContesta19) {
    const std::string m19 = "19 No se ha podido leer el fichero firmado.";
    EXPECT_EQ(VERIFICA(ruta("no-existe.sig"), ruta("factura.xml")), m19);
    EXPECT_EQ(VERIFICA("", ruta("factura.xml")), m19);
    EXPECT_FALSE(fs::exists(ruta("factura.xml")));
}
