// Cliente de prueba del componente, compilado para Windows y ejecutado bajo Wine: crea
// MorvelinCtl por su identificador de programa como lo haría una aplicación y lo usa por la
// tabla de la interfaz, por IDispatch con los nombres de los métodos, por la seguridad para
// scripts y agregado en otro objeto. También mira los puntos de entrada y los recursos del DLL.
//
//     cliente_morvelin <ruta del DLL> <carpeta de trabajo>
//
// Escribe una línea por comprobación fallida y, si no falla ninguna, «CLIENTE CORRECTO».
#include "morvelin_com.h"

#include <objsafe.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int fallos = 0;
int comprobaciones = 0;

void comprobar(bool bien, const char* que, const std::wstring& detalle = {}) {
    ++comprobaciones;
    if (!bien) {
        ++fallos;
        std::wprintf(L"FALLO: %hs %ls\n", que, detalle.c_str());
    }
}

void comprobarHr(HRESULT hr, HRESULT esperado, const char* que) {
    wchar_t detalle[64];
    std::swprintf(detalle, 64, L"(0x%08lX, se esperaba 0x%08lX)", static_cast<unsigned long>(hr),
                  static_cast<unsigned long>(esperado));
    comprobar(hr == esperado, que, detalle);
}

void comprobarTexto(const std::wstring& obtenido, const std::wstring& esperado, const char* que) {
    comprobar(obtenido == esperado, que, L"«" + obtenido + L"» en vez de «" + esperado + L"»");
}

/// BSTR con dueño.
struct Bstr {
    BSTR b = nullptr;
    Bstr() = default;
    explicit Bstr(const std::wstring& s) : b(SysAllocStringLen(s.data(), s.size())) {}
    ~Bstr() { SysFreeString(b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    std::wstring texto() const { return b ? std::wstring(b, SysStringLen(b)) : L"(nulo)"; }
};

template <class T> struct Ptr {
    T* p = nullptr;
    ~Ptr() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
    void** salida() { return reinterpret_cast<void**>(&p); }
};

// Textos esperados, con sus acentos: tienen que llegar intactos desde la tabla de cadenas.
const std::wstring noLeeFactura = L"01 No se ha podido leer el fichero a firmar.";
const std::wstring sinCertificado =
    L"03 El certificado indicado no existe en el almacén de certificados.";
const std::wstring noGrabaFirma =
    L"04 No se ha podido grabar el fichero de firma en la ruta indicada.";
// El certificado de prueba que la preparación importa en el almacén personal del prefijo.
const std::wstring nifFirmante = L"12345678Z";
const std::wstring firmado = L"00 NOMBRE PRUEBA ANA - NIF 12345678Z";
const std::wstring formatoFirmado = L"11 Formato incorrecto del fichero con firma a verificar.";
const std::wstring noLeeFirmado = L"19 No se ha podido leer el fichero firmado.";
const std::wstring sinConexion = L"17 No se ha podido establecer conexión https con el servidor de "
                                 L"la ZELK para verificar la firma.";

std::wstring carpeta;

void porLaTabla(IMorvelinCtl* ctl) {
    const std::wstring factura = carpeta + L"\\factura.xml";
    struct Caso {
        const char* nombre;
        std::wstring origen, certificado, destino, esperado;
    };
    const Caso firmas[] = {
        {"FIRMA sin factura", L"", nifFirmante, carpeta + L"\\x.fir", noLeeFactura},
        {"FIRMA con factura inexistente", carpeta + L"\\no-existe.xml", nifFirmante,
         carpeta + L"\\x.fir", noLeeFactura},
        {"FIRMA sin certificado", factura, L"B12345678", carpeta + L"\\x.fir", sinCertificado},
        {"FIRMA con 8 caracteres", factura, L"2345678Z", carpeta + L"\\x.fir", sinCertificado},
        {"FIRMA con 10 caracteres", factura, L"12345678ZZ", carpeta + L"\\x.fir", sinCertificado},
        {"FIRMA en una carpeta imposible", factura, nifFirmante, factura + L"\\dentro\\x.fir",
         noGrabaFirma},
        // Carpetas nuevas a lo largo de la ruta; el fichero lo comprueba después openssl.
        {"FIRMA", factura, nifFirmante, carpeta + L"\\firmas\\nuevas\\tabla.fir", firmado},
    };
    for (const Caso& c : firmas) {
        Bstr o(c.origen), cert(c.certificado), d(c.destino), r;
        comprobarHr(ctl->FIRMA(o.b, cert.b, d.b, &r.b), S_OK, c.nombre);
        comprobarTexto(r.texto(), c.esperado, c.nombre);
    }
    {
        Bstr o(carpeta + L"\\no-existe.fir"), d(carpeta + L"\\salida.xml"), r;
        comprobarHr(ctl->VERIFICA(o.b, d.b, &r.b), S_OK, "VERIFICA sin fichero");
        comprobarTexto(r.texto(), noLeeFirmado, "VERIFICA sin fichero");
    }
    {
        Bstr o(factura), d(carpeta + L"\\salida.xml"), r;
        comprobarHr(ctl->VERIFICA(o.b, d.b, &r.b), S_OK, "VERIFICA de un fichero sin etiquetas");
        comprobarTexto(r.texto(), formatoFirmado, "VERIFICA de un fichero sin etiquetas");
    }
    {
        // El servicio de esta compilación está en el dominio reservado ".invalid".
        Bstr o(carpeta + L"\\firmas\\nuevas\\tabla.fir"), d(carpeta + L"\\salida.xml"), r;
        comprobarHr(ctl->VERIFICA(o.b, d.b, &r.b), S_OK, "VERIFICA sin conexión");
        comprobarTexto(r.texto(), sinConexion, "VERIFICA sin conexión");
    }
    // Un BSTR nulo es una cadena vacía; sin sitio para el resultado, E_POINTER.
    {
        Bstr r;
        comprobarHr(ctl->FIRMA(nullptr, nullptr, nullptr, &r.b), S_OK, "FIRMA con BSTR nulos");
        comprobarTexto(r.texto(), noLeeFactura, "FIRMA con BSTR nulos");
        comprobarHr(ctl->VERIFICA(nullptr, nullptr, nullptr), E_POINTER, "VERIFICA sin resultado");
    }
}

void porNombre(IMorvelinCtl* ctl) {
    struct Nombre {
        const wchar_t* nombre;
        DISPID id;
    };
    for (const Nombre& n : {Nombre{L"FIRMA", 1}, Nombre{L"VERIFICA", 2}, Nombre{L"firma", 1}}) {
        LPOLESTR nombre = const_cast<LPOLESTR>(n.nombre);
        DISPID id = -1;
        comprobarHr(ctl->GetIDsOfNames(IID_NULL, &nombre, 1, LOCALE_USER_DEFAULT, &id), S_OK,
                    "GetIDsOfNames");
        comprobar(id == n.id, "identificador de despacho", n.nombre);
    }
    LPOLESTR inexistente = const_cast<LPOLESTR>(L"BORRA");
    DISPID id = 0;
    comprobarHr(ctl->GetIDsOfNames(IID_NULL, &inexistente, 1, LOCALE_USER_DEFAULT, &id),
                DISP_E_UNKNOWNNAME, "GetIDsOfNames de un método que no existe");

    // VERIFICA(origen, destino) por Invoke: los argumentos van al revés.
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString((carpeta + L"\\no-existe.fir").c_str());
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString((carpeta + L"\\salida.xml").c_str());
    DISPPARAMS parametros{args, nullptr, 2, 0};
    VARIANT resultado;
    VariantInit(&resultado);
    comprobarHr(ctl->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parametros,
                            &resultado, nullptr, nullptr),
                S_OK, "Invoke VERIFICA");
    comprobar(resultado.vt == VT_BSTR, "Invoke devuelve un BSTR");
    if (resultado.vt == VT_BSTR)
        comprobarTexto(resultado.bstrVal, noLeeFirmado, "Invoke VERIFICA");
    VariantClear(&resultado);

    // FIRMA con tres argumentos, el certificado en último lugar del vector.
    VARIANT tres[3];
    for (VARIANT& v : tres) {
        VariantInit(&v);
        v.vt = VT_BSTR;
    }
    tres[2].bstrVal = SysAllocString((carpeta + L"\\factura.xml").c_str());
    // La búsqueda por el sujeto no distingue mayúsculas.
    tres[1].bstrVal = SysAllocString(L"12345678z");
    tres[0].bstrVal = SysAllocString((carpeta + L"\\firmas\\despacho.fir").c_str());
    DISPPARAMS firma{tres, nullptr, 3, 0};
    comprobarHr(ctl->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &firma, &resultado,
                            nullptr, nullptr),
                S_OK, "Invoke FIRMA");
    if (resultado.vt == VT_BSTR)
        comprobarTexto(resultado.bstrVal, firmado, "Invoke FIRMA");
    VariantClear(&resultado);
    for (VARIANT& v : tres)
        VariantClear(&v);
    for (VARIANT& v : args)
        VariantClear(&v);

    // La información de tipos lleva los textos de ayuda.
    Ptr<ITypeInfo> info;
    UINT cuantas = 0;
    comprobarHr(ctl->GetTypeInfoCount(&cuantas), S_OK, "GetTypeInfoCount");
    comprobar(cuantas == 1, "una información de tipos");
    comprobarHr(ctl->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info.p), S_OK, "GetTypeInfo");
    if (info.p) {
        const std::pair<MEMBERID, const wchar_t*> ayudas[] = {
            {MEMBERID_NIL, L"IMorvelinCtl Interface"},
            {1, L"method FIRMA"},
            {2, L"method VERIFICA"}};
        for (const auto& [miembro, ayuda] : ayudas) {
            Bstr nombre, doc;
            info->GetDocumentation(miembro, &nombre.b, &doc.b, nullptr, nullptr);
            comprobarTexto(doc.texto(), ayuda, "texto de ayuda");
        }
    }
}

void seguridad(IMorvelinCtl* ctl) {
    Ptr<IObjectSafety> s;
    comprobarHr(ctl->QueryInterface(IID_IObjectSafety, s.salida()), S_OK, "IObjectSafety");
    if (!s.p)
        return;
    DWORD admitidas = 0, activas = 0;
    for (const IID* iid : {&IID_IDispatch, &IID_IMorvelinCtl, &IID_IUnknown}) {
        comprobarHr(s->GetInterfaceSafetyOptions(*iid, &admitidas, &activas), S_OK,
                    "GetInterfaceSafetyOptions");
        comprobar(admitidas == INTERFACESAFE_FOR_UNTRUSTED_CALLER, "una sola opción admitida");
    }
    comprobarHr(s->GetInterfaceSafetyOptions(IID_IPersist, &admitidas, &activas), E_NOINTERFACE,
                "seguridad de una interfaz que no tiene");
    comprobarHr(s->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                             INTERFACESAFE_FOR_UNTRUSTED_CALLER),
                S_OK, "activar la opción admitida");
    s->GetInterfaceSafetyOptions(IID_IDispatch, &admitidas, &activas);
    comprobar(activas == INTERFACESAFE_FOR_UNTRUSTED_CALLER, "la opción queda activa");
    comprobarHr(s->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                             INTERFACESAFE_FOR_UNTRUSTED_DATA),
                E_FAIL, "activar otra opción");
    comprobarHr(s->SetInterfaceSafetyOptions(IID_IPersist, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                             INTERFACESAFE_FOR_UNTRUSTED_CALLER),
                E_NOINTERFACE, "activar en una interfaz que no tiene");
}

void identidad(IMorvelinCtl* ctl) {
    Ptr<IUnknown> a, b;
    Ptr<IDispatch> d;
    Ptr<IPersist> p;
    ctl->QueryInterface(IID_IUnknown, a.salida());
    ctl->QueryInterface(IID_IDispatch, d.salida());
    if (d.p)
        d->QueryInterface(IID_IUnknown, b.salida());
    comprobar(a.p && a.p == b.p, "un único IUnknown por instancia");
    comprobarHr(ctl->QueryInterface(IID_IPersist, p.salida()), E_NOINTERFACE,
                "QueryInterface de una interfaz que no tiene");
}

/// Objeto exterior mínimo para probar la agregación.
struct Exterior : IUnknown {
    ULONG cuenta = 1;
    IUnknown* interior = nullptr;
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return interior ? interior->QueryInterface(iid, ppv) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++cuenta; }
    STDMETHODIMP_(ULONG) Release() override { return --cuenta; }
};

void agregacion() {
    Exterior exterior;
    void* ppv = nullptr;
    comprobarHr(CoCreateInstance(CLSID_MorvelinCtl, &exterior, CLSCTX_INPROC_SERVER,
                                 IID_IMorvelinCtl, &ppv),
                CLASS_E_NOAGGREGATION, "agregar pidiendo otra interfaz que IUnknown");
    comprobar(ppv == nullptr, "sin agregación no hay puntero");
    comprobarHr(CoCreateInstance(CLSID_MorvelinCtl, &exterior, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 reinterpret_cast<void**>(&exterior.interior)),
                S_OK, "agregar pidiendo IUnknown");
    if (!exterior.interior)
        return;
    IMorvelinCtl* ctl = nullptr;
    comprobarHr(exterior.QueryInterface(IID_IMorvelinCtl, reinterpret_cast<void**>(&ctl)), S_OK,
                "IMorvelinCtl a través del exterior");
    if (ctl) {
        // Las referencias de la interfaz agregada las lleva el exterior.
        comprobar(exterior.cuenta == 2, "la referencia la cuenta el exterior");
        IUnknown* identidad = nullptr;
        ctl->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identidad));
        comprobar(identidad == &exterior, "la identidad es la del exterior");
        if (identidad)
            identidad->Release();
        Bstr r;
        ctl->VERIFICA(nullptr, nullptr, &r.b);
        comprobarTexto(r.texto(), noLeeFirmado, "VERIFICA agregado");
        ctl->Release();
    }
    exterior.interior->Release();
    exterior.interior = nullptr;
}

void puntosDeEntrada(const std::wstring& rutaDll) {
    HMODULE m = LoadLibraryW(rutaDll.c_str());
    comprobar(m != nullptr, "cargar el DLL", rutaDll);
    if (!m)
        return;
    using Obtener = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using Descargar = HRESULT(WINAPI*)();
    // Se pasa por void (*)() para convertir entre tipos de función sin aviso.
    using Funcion = void (*)();
    auto obtener = reinterpret_cast<Obtener>(
        reinterpret_cast<Funcion>(GetProcAddress(m, "DllGetClassObject")));
    auto descargar = reinterpret_cast<Descargar>(
        reinterpret_cast<Funcion>(GetProcAddress(m, "DllCanUnloadNow")));
    comprobar(obtener && descargar && GetProcAddress(m, "DllRegisterServer") &&
                  GetProcAddress(m, "DllUnregisterServer"),
              "los cuatro puntos de entrada exportados");
    if (obtener && descargar) {
        IClassFactory* f = reinterpret_cast<IClassFactory*>(1);
        comprobarHr(obtener(IID_IMorvelinCtl, IID_IClassFactory, reinterpret_cast<void**>(&f)),
                    CLASS_E_CLASSNOTAVAILABLE, "DllGetClassObject de otra clase");
        comprobar(f == nullptr, "sin fábrica para otra clase");
        comprobarHr(descargar(), S_OK, "DllCanUnloadNow sin uso");
        comprobarHr(obtener(CLSID_MorvelinCtl, IID_IClassFactory, reinterpret_cast<void**>(&f)),
                    S_OK, "DllGetClassObject de MorvelinCtl");
        if (f) {
            f->LockServer(TRUE);
            comprobarHr(descargar(), S_FALSE, "DllCanUnloadNow con la fábrica bloqueada");
            f->LockServer(FALSE);
            IUnknown* u = nullptr;
            f->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&u));
            comprobarHr(descargar(), S_FALSE, "DllCanUnloadNow con una instancia viva");
            if (u)
                u->Release();
            comprobarHr(descargar(), S_OK, "DllCanUnloadNow tras soltarlo todo");
            f->Release();
        }
    }
    FreeLibrary(m);
}

void versionYBiblioteca(const std::wstring& rutaDll) {
    DWORD nada = 0;
    std::vector<char> datos(GetFileVersionInfoSizeW(rutaDll.c_str(), &nada));
    comprobar(!datos.empty() && GetFileVersionInfoW(rutaDll.c_str(), 0, datos.size(), datos.data()),
              "recurso de versión");
    if (datos.empty())
        return;
    VS_FIXEDFILEINFO* fijo = nullptr;
    UINT largo = 0;
    VerQueryValueW(datos.data(), L"\\", reinterpret_cast<void**>(&fijo), &largo);
    comprobar(fijo && fijo->dwFileVersionMS == MAKELONG(10, 5) && fijo->dwFileVersionLS == 0,
              "versión del fichero 5.10.0.0");
    comprobar(fijo && fijo->dwProductVersionMS == MAKELONG(0, 1) &&
                  fijo->dwProductVersionLS == MAKELONG(1, 0),
              "versión del producto 1.0.0.1");
    WORD* traduccion = nullptr;
    VerQueryValueW(datos.data(), L"\\VarFileInfo\\Translation",
                   reinterpret_cast<void**>(&traduccion), &largo);
    comprobar(traduccion && largo >= 4 && traduccion[0] == 0x0C0A && traduccion[1] == 1200,
              "idioma español con Unicode");
    const std::pair<const wchar_t*, const wchar_t*> entradas[] = {
        {L"FileDescription", L"MORVELIN Module"},
        {L"ProductName", L"MORVELIN Module"},
        {L"InternalName", L"MORVELIN"},
        {L"OriginalFilename", L"MORVELIN.DLL"},
        {L"FileVersion", L"5.10.0.0"},
        {L"ProductVersion", L"1.0.0.1"},
        {L"OLESelfRegister", L""}};
    for (const auto& [clave, valor] : entradas) {
        wchar_t* texto = nullptr;
        const std::wstring ruta = std::wstring(L"\\StringFileInfo\\0c0a04b0\\") + clave;
        const bool hay =
            VerQueryValueW(datos.data(), ruta.c_str(), reinterpret_cast<void**>(&texto), &largo);
        comprobar(hay, "entrada de versión", clave);
        if (hay)
            comprobarTexto(largo ? std::wstring(texto) : std::wstring(), valor, "valor de versión");
    }

    // La biblioteca de tipos registrada es la incrustada.
    Ptr<ITypeLib> tl;
    comprobarHr(LoadRegTypeLib(LIBID_MORVELINLib, 1, 0, LOCALE_NEUTRAL, &tl.p), S_OK,
                "biblioteca de tipos registrada");
    if (tl.p) {
        Bstr nombre, doc;
        tl->GetDocumentation(-1, &nombre.b, &doc.b, nullptr, nullptr);
        comprobarTexto(nombre.texto(), L"MORVELINLib", "nombre de la biblioteca de tipos");
        comprobarTexto(doc.texto(), L"MORVELIN 1.0 Type Library", "ayuda de la biblioteca");
        Bstr clase, ayudaClase;
        Ptr<ITypeInfo> info;
        tl->GetTypeInfoOfGuid(CLSID_MorvelinCtl, &info.p);
        if (info.p)
            info->GetDocumentation(MEMBERID_NIL, &clase.b, &ayudaClase.b, nullptr, nullptr);
        comprobarTexto(ayudaClase.texto(), L"MorvelinCtl Class", "ayuda de la clase");
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("Uso: cliente_morvelin <ruta del DLL> <carpeta de trabajo>\n", stderr);
        return 2;
    }
    carpeta = argv[2];
    CoInitialize(nullptr);
    {
        CLSID clsid{};
        for (const wchar_t* progid : {L"MORVELIN.MorvelinCtl", L"MORVELIN.MorvelinCtl.1"}) {
            comprobarHr(CLSIDFromProgID(progid, &clsid), S_OK, "CLSIDFromProgID");
            comprobar(IsEqualCLSID(clsid, CLSID_MorvelinCtl), "clase del identificador", progid);
        }
        Ptr<IMorvelinCtl> ctl;
        comprobarHr(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMorvelinCtl, ctl.salida()),
            S_OK, "crear MorvelinCtl");
        if (ctl.p) {
            porLaTabla(ctl.p);
            porNombre(ctl.p);
            seguridad(ctl.p);
            identidad(ctl.p);
        }
    }
    agregacion();
    versionYBiblioteca(argv[1]);
    puntosDeEntrada(argv[1]);
    CoUninitialize();
    if (fallos == 0)
        std::printf("CLIENTE CORRECTO (%d comprobaciones)\n", comprobaciones);
    else
        std::printf("%d de %d comprobaciones fallidas\n", fallos, comprobaciones);
    return fallos == 0 ? 0 : 1;
}
