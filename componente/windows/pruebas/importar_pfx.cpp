// Prepara el almacén personal de un prefijo de Wine para las pruebas: importa un PKCS #12 y
// añade su certificado, con la clave privada, al almacén "MY" del usuario.
//
//     importar_pfx <fichero .p12> <contraseña>
//     importar_pfx --raiz <certificado PEM>
//
// La segunda forma añade una autoridad (la del servicio de verificación local) a las raíces de
// confianza de la máquina, para que las conexiones HTTPS del componente la acepten.
//
// Wine deja a la clave importada con PFXImportCertStore un tipo de clave que no sirve para
// firmar: se le pone AT_KEYEXCHANGE con el proveedor RSA y AES antes de añadirla. Es un arreglo
// de la preparación de la prueba, no del componente.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool leerFichero(const wchar_t* ruta, std::vector<BYTE>& datos) {
    FILE* f = _wfopen(ruta, L"rb");
    if (!f)
        return false;
    BYTE trozo[4096];
    for (std::size_t n; (n = std::fread(trozo, 1, sizeof trozo, f)) > 0;)
        datos.insert(datos.end(), trozo, trozo + n);
    std::fclose(f);
    return true;
}

int anadirRaiz(const wchar_t* ruta) {
    std::vector<BYTE> pem;
    if (!leerFichero(ruta, pem)) {
        std::fputs("No se puede abrir el certificado\n", stderr);
        return 1;
    }
    DWORD n = 0;
    const auto* texto = reinterpret_cast<const char*>(pem.data());
    const auto largo = static_cast<DWORD>(pem.size());
    if (!CryptStringToBinaryA(texto, largo, CRYPT_STRING_BASE64HEADER, nullptr, &n, nullptr,
                              nullptr)) {
        std::fputs("El certificado no está en PEM\n", stderr);
        return 1;
    }
    std::vector<BYTE> der(n);
    CryptStringToBinaryA(texto, largo, CRYPT_STRING_BASE64HEADER, der.data(), &n, nullptr, nullptr);
    HCERTSTORE raices =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    if (!raices || !CertAddEncodedCertificateToStore(raices, X509_ASN_ENCODING, der.data(), n,
                                                     CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
        std::fprintf(stderr, "No se puede añadir a las raíces (0x%08lX)\n", GetLastError());
        return 1;
    }
    CertCloseStore(raices, 0);
    std::puts("autoridad añadida a ROOT");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--raiz")
        return anadirRaiz(argv[2]);
    if (argc != 3) {
        std::fputs("Uso: importar_pfx <fichero .p12> <contraseña> | --raiz <certificado PEM>\n",
                   stderr);
        return 2;
    }
    std::vector<BYTE> datos;
    if (!leerFichero(argv[1], datos)) {
        std::fputs("No se puede abrir el PKCS #12\n", stderr);
        return 1;
    }

    CRYPT_DATA_BLOB pfx{static_cast<DWORD>(datos.size()), datos.data()};
    HCERTSTORE importado = PFXImportCertStore(&pfx, argv[2], CRYPT_USER_KEYSET | CRYPT_EXPORTABLE);
    HCERTSTORE personal = CertOpenSystemStoreW(0, L"MY");
    if (!importado || !personal) {
        std::fprintf(stderr, "No se puede importar (0x%08lX)\n", GetLastError());
        return 1;
    }
    int anadidos = 0;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(importado, c));) {
        DWORD n = 0;
        if (!CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &n))
            continue; // sin clave privada
        std::vector<BYTE> bufer(n);
        auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(bufer.data());
        CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, info, &n);
        std::wstring proveedor = MS_ENH_RSA_AES_PROV_W;
        info->pwszProvName = proveedor.data();
        info->dwProvType = PROV_RSA_AES;
        info->dwKeySpec = AT_KEYEXCHANGE;
        if (!CertSetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, 0, info) ||
            !CertAddCertificateContextToStore(personal, c, CERT_STORE_ADD_REPLACE_EXISTING,
                                              nullptr)) {
            std::fprintf(stderr, "No se puede añadir al almacén (0x%08lX)\n", GetLastError());
            return 1;
        }
        ++anadidos;
    }
    CertCloseStore(importado, 0);
    CertCloseStore(personal, 0);
    std::printf("%d certificado(s) con clave en MY\n", anadidos);
    return anadidos > 0 ? 0 : 1;
}
