// Prepara el almacén personal de un prefijo de Wine para las pruebas: importa un PKCS #12 y
// añade su certificado, con la clave privada, al almacén "MY" del usuario.
//
//     importar_pfx <fichero .p12> <contraseña>
//
// Wine deja a la clave importada con PFXImportCertStore un tipo de clave que no sirve para
// firmar: se le pone AT_KEYEXCHANGE con el proveedor RSA y AES antes de añadirla. Es un arreglo
// de la preparación de la prueba, no del componente.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("Uso: importar_pfx <fichero .p12> <contraseña>\n", stderr);
        return 2;
    }
    FILE* f = _wfopen(argv[1], L"rb");
    if (!f) {
        std::fputs("No se puede abrir el PKCS #12\n", stderr);
        return 1;
    }
    std::vector<BYTE> datos;
    BYTE trozo[4096];
    for (std::size_t n; (n = std::fread(trozo, 1, sizeof trozo, f)) > 0;)
        datos.insert(datos.end(), trozo, trozo + n);
    std::fclose(f);

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
