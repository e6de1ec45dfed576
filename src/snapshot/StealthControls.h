// Access to the output volume and the screen brightness, which decide whether
// the flash may fire. The COM objects belong to the thread that opened them:
// the snapshot worker opens controls of its own in its own apartment.
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

    // The output volume: a percentage on Vista and later, the speakers' raw
    // mixer value on XP; 0 without a control or when a call fails.
    int GetAudioLevel(int osLevel) const;
    // "CurrentBrightness" of a fresh WMI reading, 0 when there is none.
    int GetScreenBrightness();

private:
    Microsoft::WRL::ComPtr<IAudioEndpointVolume> m_pEndpointVolume;
    fw::MixerHandle m_hMixer;
    Microsoft::WRL::ComPtr<IWbemClassObject> m_pBrightnessObj;
};

} // namespace tamsel
