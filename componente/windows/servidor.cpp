// El servidor de componentes en proceso: la clase MorvelinCtl con su interfaz dual
// IMorvelinCtl, la seguridad para scripts, la agregación, la fábrica de clases y los puntos de
// entrada que exporta el DLL.
#include "morvelin_com.h"

#include "metodos.h"
#include "windows_comun.h"

#include <objsafe.h>

#include <atomic>
#include <new>
#include <string>

namespace {

/// Instancias vivas más bloqueos de la fábrica: mientras no sea cero, el DLL no se descarga.
std::atomic<long> usoDelModulo{0};

HRESULT cargarInfoTipos(ITypeInfo** info) {
    *info = nullptr;
    std::wstring ruta;
    if (!morvelin::windows::rutaModulo(ruta))
        return E_OUTOFMEMORY;
    ITypeLib* biblioteca = nullptr;
    HRESULT hr = LoadTypeLibEx(ruta.c_str(), REGKIND_NONE, &biblioteca);
    if (FAILED(hr))
        return hr;
    hr = biblioteca->GetTypeInfoOfGuid(IID_IMorvelinCtl, info);
    biblioteca->Release();
    return hr;
}

/// Ejecuta un método: las cadenas de la llamada se pasan a la página de códigos del sistema, el
/// resultado vuelve como BSTR nuevo. Los fallos de la firma y de la verificación ya vienen en el
/// texto; lo que escapa (memoria agotada, un error imprevisto) es un fallo de la llamada.
template <class Metodo> HRESULT frontera(BSTR* resultado, Metodo&& metodo) noexcept {
    if (resultado == nullptr)
        return E_POINTER;
    *resultado = nullptr;
    try {
        BSTR texto = morvelin::windows::aBstr(metodo());
        if (texto == nullptr)
            return E_OUTOFMEMORY;
        *resultado = texto;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

class Control final : public IMorvelinCtl, public IObjectSafety {
public:
    /// Con exterior, la instancia vive agregada: sus interfaces delegan la identidad en él.
    explicit Control(IUnknown* exterior)
        : interno_(*this), exterior_(exterior ? exterior : &interno_) {
        ++usoDelModulo;
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    HRESULT iniciar() { return cargarInfoTipos(&infoTipos_); }
    IUnknown* interno() { return &interno_; }

    // IUnknown, delegado en quien da la identidad.
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        return exterior_->QueryInterface(iid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return exterior_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return exterior_->Release(); }

    // IDispatch, según la biblioteca de tipos incrustada.
    STDMETHODIMP GetTypeInfoCount(UINT* cuantas) override {
        if (cuantas == nullptr)
            return E_POINTER;
        *cuantas = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT indice, LCID, ITypeInfo** info) override {
        if (info == nullptr)
            return E_POINTER;
        *info = nullptr;
        if (indice != 0)
            return DISP_E_BADINDEX;
        infoTipos_->AddRef();
        *info = infoTipos_;
        return S_OK;
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* nombres, UINT cuantos, LCID,
                               DISPID* ids) override {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(infoTipos_, nombres, cuantos, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parametros,
                        VARIANT* resultado, EXCEPINFO* excepcion, UINT* argumentoErroneo) override {
        if (!IsEqualIID(iid, IID_NULL))
            return DISP_E_UNKNOWNINTERFACE;
        return DispInvoke(static_cast<IMorvelinCtl*>(this), infoTipos_, id, flags, parametros,
                          resultado, excepcion, argumentoErroneo);
    }

    // IMorvelinCtl
    STDMETHODIMP FIRMA(BSTR rutaOrigen, BSTR certificado, BSTR rutaDestino,
                       BSTR* resultado) override {
        using morvelin::windows::deBstr;
        return frontera(resultado, [&] {
            return morvelin::FIRMA(deBstr(rutaOrigen), deBstr(certificado), deBstr(rutaDestino));
        });
    }
    STDMETHODIMP VERIFICA(BSTR rutaOrigen, BSTR rutaDestino, BSTR* resultado) override {
        using morvelin::windows::deBstr;
        return frontera(
            resultado, [&] { return morvelin::VERIFICA(deBstr(rutaOrigen), deBstr(rutaDestino)); });
    }

    // IObjectSafety: una sola opción, segura para llamadores sin confianza, en cualquier
    // interfaz que la instancia tenga.
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* admitidas, DWORD* activas) override {
        if (admitidas == nullptr || activas == nullptr)
            return E_POINTER;
        *admitidas = *activas = 0;
        if (!tieneInterfaz(iid))
            return E_NOINTERFACE;
        *admitidas = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
        *activas = opcionesSeguridad_;
        return S_OK;
    }
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mascara, DWORD activas) override {
        if (!tieneInterfaz(iid))
            return E_NOINTERFACE;
        if (mascara & ~DWORD{INTERFACESAFE_FOR_UNTRUSTED_CALLER})
            return E_FAIL;
        opcionesSeguridad_ = (opcionesSeguridad_ & ~mascara) | (activas & mascara);
        return S_OK;
    }

private:
    ~Control() {
        if (infoTipos_)
            infoTipos_->Release();
        --usoDelModulo;
    }

    void* interfaz(REFIID iid) {
        if (IsEqualIID(iid, IID_IUnknown))
            return &interno_;
        if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IMorvelinCtl))
            return static_cast<IMorvelinCtl*>(this);
        if (IsEqualIID(iid, IID_IObjectSafety))
            return static_cast<IObjectSafety*>(this);
        return nullptr;
    }
    bool tieneInterfaz(REFIID iid) { return interfaz(iid) != nullptr; }

    /// El IUnknown propio, que no delega: lleva la cuenta de referencias de la instancia.
    struct Interno final : IUnknown {
        explicit Interno(Control& c) : duenio(c) {}
        Control& control() { return duenio; }
        STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
            if (ppv == nullptr)
                return E_POINTER;
            *ppv = control().interfaz(iid);
            if (*ppv == nullptr)
                return E_NOINTERFACE;
            static_cast<IUnknown*>(*ppv)->AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++cuenta; }
        STDMETHODIMP_(ULONG) Release() override {
            const ULONG quedan = --cuenta;
            if (quedan == 0)
                delete &control();
            return quedan;
        }
        Control& duenio;
        std::atomic<ULONG> cuenta{1};
    };

    Interno interno_;
    IUnknown* exterior_;
    ITypeInfo* infoTipos_ = nullptr;
    DWORD opcionesSeguridad_ = 0;
};

class Fabrica final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // La fábrica es única y estática: su cuenta no gobierna su vida.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* exterior, REFIID iid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (exterior != nullptr && !IsEqualIID(iid, IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        auto* control = new (std::nothrow) Control(exterior);
        if (control == nullptr)
            return E_OUTOFMEMORY;
        HRESULT hr = control->iniciar();
        if (SUCCEEDED(hr))
            hr = control->interno()->QueryInterface(iid, ppv);
        control->interno()->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL bloquear) override {
        if (bloquear)
            ++usoDelModulo;
        else
            --usoDelModulo;
        return S_OK;
    }
};

Fabrica fabrica;

} // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_MorvelinCtl))
        return CLASS_E_CLASSNOTAVAILABLE;
    return fabrica.QueryInterface(iid, ppv);
}

STDAPI DllCanUnloadNow() {
    return usoDelModulo.load() == 0 ? S_OK : S_FALSE;
}

} // extern "C"
