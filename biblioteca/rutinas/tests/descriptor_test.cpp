#include "qt_gtest.h"
#include "rutinas/nucleo/descriptor.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace rutinas;

namespace {

// Recoge los avisos de elemento ausente mientras vive.
class Avisos {
public:
    Avisos() {
        anterior_ = PonerAvisadorFaltaDato([this](const QString& t) { textos.append(t); });
    }
    ~Avisos() { PonerAvisadorFaltaDato(std::move(anterior_)); }
    QStringList textos;

private:
    Avisador anterior_;
};

} // namespace

TEST(LeerDatoTag, ValoresDelDescriptorDeUnTelefono) {
    Avisos avisos;
    const QString tag = "T(m) A(I) L(30)";
    EXPECT_EQ(TipoCampo(tag), "m");
    EXPECT_EQ(AjusteCampo(tag), "I");
    EXPECT_EQ(LongitudCampo(tag), 30);
    EXPECT_EQ(DecimalesCampo(tag), "");
    EXPECT_EQ(LeerDatoTag(tag, "+"), "");
    EXPECT_TRUE(avisos.textos.isEmpty());
}

TEST(LeerDatoTag, BusquedaComoSubcadena) {
    Avisos avisos;
    struct Caso {
        const char* tag;
        const char* clave;
        const char* valor;
    };
    const Caso casos[] = {
        {"T(N)L(10)A(D)", "L", "10"},         // sin separadores
        {"+(a b ) T(m)", "+", "a b "},        // blancos del valor tal cual
        {"+(T(2)) T(N) L(5) A(I)", "T", "2"}, // un valor por omisión tapa al tipo
        {"T(X) L(9) A(I)", "X", ""},
        {"D(2)T(N)", "D", "2"},
        {"LL(3) L(4)", "L", "3"}, // primera aparición de clave + "("
        {"T(N) L(30", "L", "30"}, // sin cierre: hasta el final
        {"T()", "T", ""},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(LeerDatoTag(c.tag, c.clave), c.valor) << c.tag << " / " << c.clave;
}

TEST(LeerDatoTag, DelimitadoresPropios) {
    Avisos avisos;
    QString corchetes = "[]";
    EXPECT_EQ(LeerDatoTag("T[N] L(5)", "T", corchetes), "N");
    QString vacios;
    EXPECT_EQ(LeerDatoTag("T[N] L(5)", "L", vacios), "5");
    EXPECT_EQ(vacios, "()"); // el llamador recibe los delimitadores aplicados
    EXPECT_EQ(LeerDatoTag("T[N] L(5) A(I)", "T"), "");
    EXPECT_EQ(avisos.textos.size(), 1);
}

TEST(LeerDatoTag, LongitudRedondeadaAlPar) {
    Avisos avisos;
    struct Caso {
        const char* tag;
        short longitud;
    };
    const Caso casos[] = {{"L(15.5)", 16}, {"L(16.5)", 16}, {"L(abc)", 0},
                          {"L()", 0},      {"L(7x)", 7},    {"L( 1 2 )", 12}};
    for (const Caso& c : casos)
        EXPECT_EQ(LongitudCampo(c.tag), c.longitud) << c.tag;
}

TEST(LeerDatoTag, AvisaSoloDeTipoLongitudYAjusteAusentes) {
    Avisos avisos;
    EXPECT_EQ(TipoCampo("A(I) L(30)"), "");
    EXPECT_EQ(LongitudCampo("t(M) A(I)"), 0);
    EXPECT_EQ(AjusteCampo(""), "");
    EXPECT_EQ(TipoCampo("t(M) L(5) A(I)"), ""); // las claves distinguen mayúsculas
    LeerDatoTag("T(N)", "D");
    LeerDatoTag("T(N)", "+");
    LeerDatoTag("T(N)", "P");
    EXPECT_EQ(avisos.textos,
              QStringList({" No encontrado dato TAG obligatorio (T) Tipo en A(I) L(30)",
                           " No encontrado dato TAG obligatorio (L) Longitud en t(M) A(I)",
                           " No encontrado dato TAG obligatorio (A) Ajuste en ",
                           " No encontrado dato TAG obligatorio (T) Tipo en t(M) L(5) A(I)"}));
}

TEST(PonerDatoTag, AnadeUnaVezYDespuesSoloCambiaElValor) {
    const QString tag = "T(m) A(I) L(30)";
    const QString primera = PonerDatoTag(tag, "P", "-2147483643");
    EXPECT_EQ(primera, "T(m) A(I) L(30) P(-2147483643)");
    EXPECT_EQ(tag, "T(m) A(I) L(30)");
    EXPECT_EQ(PonerDatoTag(primera, "P", "16777152"), "T(m) A(I) L(30) P(16777152)");
    EXPECT_EQ(PonerDatoTag("L(5) T(N) A(D)", "T", "n"), "L(5) T(n) A(D)");
    EXPECT_EQ(PonerDatoTag("", "T", "N"), " T(N)");
    EXPECT_EQ(PonerDatoTag("T(N) L(30", "L", "8"), "T(N) L(8)");
    QString corchetes = "[]";
    EXPECT_EQ(PonerDatoTag("T[N] P[1]", "P", "2", corchetes), "T[N] P[2]");
    QString vacios;
    EXPECT_EQ(PonerDatoTag("T(N)", "P", "2", vacios), "T(N) P(2)");
    EXPECT_EQ(vacios, "()");
}
