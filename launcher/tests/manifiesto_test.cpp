// La lista de controles externos cubre todo lo que las aplicaciones de la suite esperan del
// paquete.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Fila {
    std::string instancia, clase, fichero, equivalente, paquete, relacion;
};

std::map<std::string, Fila> leerManifiesto() {
    std::ifstream f(ZOQ_MANIFIESTO);
    EXPECT_TRUE(f.good()) << "no se puede leer el manifiesto " << ZOQ_MANIFIESTO;
    std::map<std::string, Fila> filas;
    std::string linea;
    while (std::getline(f, linea)) {
        if (linea.empty() || linea[0] == '#')
            continue;
        std::vector<std::string> c;
        std::stringstream s(linea);
        for (std::string campo; std::getline(s, campo, '\t');)
            c.push_back(campo);
        EXPECT_EQ(c.size(), 7u) << linea;
        if (c.size() == 7)
            filas[c[2]] = {c[1], c[2], c[3], c[4], c[5], c[6]};
    }
    return filas;
}

} // namespace

TEST(Manifiesto, CubreCadaControlYBibliotecaDeAutomatizacion) {
    // Clase, instancia y fichero de cada control que la ventana de arranque debía llevar.
    const std::vector<std::array<std::string, 3>> esperados = {
        {"MSMAPI.MAPIMessages", "MAPIMessages1", "MSMAPI32.OCX"},
        {"MSMAPI.MAPISession", "MAPISession1", "MSMAPI32.OCX"},
        {"InetCtlsObjects.Inet", "Inet1", "MSINET.OCX"},
        {"SHDocVwCtl.WebBrowser", "WebBrowser1", "shdocvw.dll"},
        {"RichTextLib.RichTextBox", "RichTextBox1", "RICHTX32.OCX"},
        {"MSComCtl2.UpDown", "UpDown1", "MSCOMCT2.OCX"},
        {"MSComCtl2.DTPicker", "DTPicker1", "MSCOMCT2.OCX"},
        {"MSComctlLib.ProgressBar", "ProgressBar1", "MSCOMCTL.OCX"},
        {"MSComctlLib.TreeView", "TreeView1", "MSCOMCTL.OCX"},
        {"MSComctlLib.ImageList", "ImageList1", "MSCOMCTL.OCX"},
        {"MSComctlLib.Toolbar", "Toolbar1", "MSCOMCTL.OCX"},
        {"MSComctlLib.StatusBar", "StatusBar1", "MSCOMCTL.OCX"},
        {"MSComDlg.CommonDialog", "CommonDialog1", "COMDLG32.OCX"},
        {"MSFlexGridLib.MSFlexGrid", "MSFlexGrid1", "MSFLXGRD.OCX"},
        {"TabDlg.SSTab", "SSTab1", "TABCTL32.OCX"},
    };
    const std::vector<std::string> intrinsecos = {
        "Picture1", "Text1", "Frame1", "Timer1", "Command1", "Check1", "Option1",
        "Combo1",   "List1", "Drive1", "Dir1",   "File1",    "Label1", "Image1"};
    const std::vector<std::string> automatizacion = {"Excel.Application", "Word.Application",
                                                     "Scripting.FileSystemObject"};

    const auto filas = leerManifiesto();
    for (const auto& [clase, instancia, fichero] : esperados) {
        auto it = filas.find(clase);
        ASSERT_NE(it, filas.end()) << "falta la clase " << clase;
        EXPECT_EQ(it->second.instancia, instancia) << clase;
        EXPECT_EQ(it->second.fichero, fichero) << clase;
    }
    for (const auto& instancia : intrinsecos) {
        bool hay = false;
        for (const auto& [clase, fila] : filas)
            hay = hay || (fila.instancia == instancia && fila.fichero == "intrínseco");
        EXPECT_TRUE(hay) << "falta el control intrínseco " << instancia;
    }
    for (const auto& clase : automatizacion)
        EXPECT_TRUE(filas.count(clase)) << "falta la biblioteca " << clase;
    for (const auto& [clase, fila] : filas) {
        EXPECT_FALSE(fila.equivalente.empty()) << clase;
        EXPECT_FALSE(fila.paquete.empty()) << clase;
        EXPECT_TRUE(fila.relacion == "depende" || fila.relacion == "recomienda" ||
                    fila.relacion == "sugiere")
            << clase;
    }
}
