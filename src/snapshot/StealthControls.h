// Access to the output volume and the screen brightness, which decide whether
// the flash may fire.
#pragma once

#include <windows.h>
#include <endpointvolume.h>
#include <wbemidl.h>
#include <wrl/client.h>

#include "framework/Handles.h"

namespace tamsel {

class CStealthControls {
public:
    enum class AudioOpen { kOpened, kNoDevice, kFailed };
    // osLevel: 1 XP / Server 2003 (winmm mixer), 2 and 3 Vista and later
    // (Core Audio endpoint and WMI brightness). kNoDevice: the computer has
    // no playback device (no sound card, nothing in the jack); the volume
    // then counts as 0.
    AudioOpen OpenAudioControl(int osLevel);
    bool QueryBrightnessObject();
    void Release();

private:
    Microsoft::WRL::ComPtr<IAudioEndpointVolume> m_pEndpointVolume;
    fw::MixerHandle m_hMixer;
    Microsoft::WRL::ComPtr<IWbemClassObject> m_pBrightnessObj;
};

} // namespace tamsel
