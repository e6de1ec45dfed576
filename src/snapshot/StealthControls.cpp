#include "snapshot/StealthControls.h"

#include <mmdeviceapi.h>
#include <oleauto.h>

#include <memory>

#include "framework/Debug.h"
#include "snapshot/SnapshotRules.h"

namespace tamsel {

using Microsoft::WRL::ComPtr;

namespace {

struct BstrDeleter {
    void operator()(wchar_t* s) const noexcept { ::SysFreeString(s); }
};
using Bstr = std::unique_ptr<wchar_t, BstrDeleter>;

// WMI runs in another process; a query that gets no answer in this time counts
// as no brightness control rather than hanging the caller.
constexpr long kWmiWaitMs = 5000;

} // namespace

CStealthControls::AudioOpen CStealthControls::OpenAudioControl(int osLevel)
{
    if (osLevel < 2) {
        if (::mixerGetNumDevs() == 0) {
            ::OutputDebugStringW(L"Can not get any audio device\n");
            return AudioOpen::kNoDevice;
        }
        HMIXER mixer = nullptr;
        const MMRESULT opened = ::mixerOpen(&mixer, 0, 0, 0, MIXER_OBJECTF_MIXER);
        if (opened != MMSYSERR_NOERROR) {
            ::OutputDebugStringW(L"mixerOpen fail \n");
            fw::DebugTrace(L"mixerOpen failed: error %u\n", static_cast<unsigned>(opened));
            return AudioOpen::kFailed;
        }
        m_hMixer.reset(mixer);
        return AudioOpen::kOpened;
    }

    ComPtr<IMMDeviceEnumerator> enumerator;
    if (FAILED(fw::TraceHr(L"CoCreateInstance(MMDeviceEnumerator)",
                           ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                              IID_PPV_ARGS(&enumerator)))))
        return AudioOpen::kFailed;
    ComPtr<IMMDevice> device;
    const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &device);
    if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
        return AudioOpen::kNoDevice;
    if (FAILED(fw::TraceHr(L"GetDefaultAudioEndpoint", hr)))
        return AudioOpen::kFailed;
    if (FAILED(fw::TraceHr(L"IMMDevice::Activate(IAudioEndpointVolume)",
                           device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(m_pEndpointVolume.ReleaseAndGetAddressOf()))))) {
        ::OutputDebugStringW(L"pDevice->Activate  error\n");
        return AudioOpen::kFailed;
    }
    return AudioOpen::kOpened;
}

bool CStealthControls::QueryBrightnessObject()
{
    m_pBrightnessObj.Reset();
    Bstr ns(::SysAllocString(L"root\\wmi"));
    Bstr className(::SysAllocString(L"WmiMonitorBrightness"));
    Bstr query(::SysAllocString(L"Select * from WmiMonitorBrightness"));
    Bstr language(::SysAllocString(L"WQL"));
    if (!ns || !className || !query || !language)
        return false;

    // Fails harmlessly when the process's security was set already.
    ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_SECURE_REFS, nullptr);

    ComPtr<IWbemLocator> locator;
    if (FAILED(fw::TraceHr(L"CoCreateInstance(WbemLocator)",
                           ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_PPV_ARGS(&locator)))))
        return false;
    ComPtr<IWbemServices> services;
    if (FAILED(fw::TraceHr(L"IWbemLocator::ConnectServer",
                           locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr,
                                                  nullptr, &services))))
        return false;
    if (FAILED(fw::TraceHr(L"CoSetProxyBlanket", ::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                   RPC_C_AUTHN_LEVEL_PKT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                   EOAC_NONE))))
        return false;
    ComPtr<IEnumWbemClassObject> results;
    if (FAILED(fw::TraceHr(L"IWbemServices::ExecQuery",
                           services->ExecQuery(language.get(), query.get(), WBEM_FLAG_RETURN_IMMEDIATELY,
                                               nullptr, &results))))
        return false;
    ULONG returned = 0;
    ComPtr<IWbemClassObject> first;
    const HRESULT next = results->Next(kWmiWaitMs, 1, &first, &returned);
    if (next != S_OK) {
        fw::DebugTrace(L"WmiMonitorBrightness: no instance (0x%08lx)\n", static_cast<unsigned long>(next));
        return false;
    }
    VARIANT value;
    ::VariantInit(&value);
    if (FAILED(first->Get(L"CurrentBrightness", 0, &value, nullptr, nullptr)))
        return false;
    ::VariantClear(&value);
    m_pBrightnessObj = std::move(first);
    return true;
}

int CStealthControls::GetAudioLevel(int osLevel) const
{
    if (osLevel >= 2) {
        if (!m_pEndpointVolume)
            return 0;
        float scalar = 0.0f; // stays 0 when the call fails
        fw::TraceHr(L"GetMasterVolumeLevelScalar", m_pEndpointVolume->GetMasterVolumeLevelScalar(&scalar));
        return AudioLevelFromScalar(scalar);
    }
    if (!m_hMixer)
        return 0;
    const HMIXEROBJ mixer = reinterpret_cast<HMIXEROBJ>(m_hMixer.get());
    MIXERLINEW line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    if (::mixerGetLineInfoW(mixer, &line, MIXER_GETLINEINFOF_COMPONENTTYPE) != MMSYSERR_NOERROR)
        return 0;
    MIXERCONTROLW control{};
    MIXERLINECONTROLSW controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    if (::mixerGetLineControlsW(mixer, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) != MMSYSERR_NOERROR)
        return 0;
    MIXERCONTROLDETAILS_UNSIGNED value{};
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = control.dwControlID;
    details.cChannels = 1;
    details.cMultipleItems = 0;
    details.cbDetails = sizeof value;
    details.paDetails = &value;
    if (::mixerGetControlDetailsW(mixer, &details, MIXER_GETCONTROLDETAILSF_VALUE) != MMSYSERR_NOERROR)
        return 0;
    return static_cast<int>(value.dwValue);
}

int CStealthControls::GetScreenBrightness()
{
    if (!QueryBrightnessObject())
        return 0;
    VARIANT value;
    ::VariantInit(&value);
    int brightness = 0;
    if (SUCCEEDED(m_pBrightnessObj->Get(L"CurrentBrightness", 0, &value, nullptr, nullptr))) {
        // An unsigned byte; WMI hands it over as VT_UI1 (or widened).
        if (value.vt == VT_UI1)
            brightness = value.bVal;
        else if (SUCCEEDED(::VariantChangeType(&value, &value, 0, VT_I4)))
            brightness = value.lVal;
    }
    ::VariantClear(&value);
    return brightness;
}

void CStealthControls::Release()
{
    m_pEndpointVolume.Reset();
    m_hMixer.reset();
    m_pBrightnessObj.Reset();
}

} // namespace tamsel
