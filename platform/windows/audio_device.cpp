// The exclusive output stream on WASAPI: the default render endpoint, an IAudioClient2 in
// exclusive, event-driven mode with a raw stream (the system's effects and mixer bypassed),
// 24 valid bits in 3- or 4-byte containers, one buffer of one device period per event.
#include "platform/audio_device.h"

#include <windows.h>
#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>

#include "platform/windows/device_enumerator.h"

namespace Platform
{
    struct Audio_Device::State
    {
        bool com = false;                     // COM was initialised on this thread by open()
        IMMDevice* endpoint = nullptr;        // the default render endpoint
        IAudioClient2* client = nullptr;      // the stream's client
        bool client_tried = false;            // Initialize was called on `client`
        IAudioRenderClient* render = nullptr; // the stream's render service
        HANDLE event = nullptr;               // auto-reset; the stream sets it when a buffer is due
        uint32_t frames = 0;                  // frames per buffer
    };

    namespace
    {
        template <typename Interface>
        void release(Interface*& object)
        {
            if (object)
                object->Release();
            object = nullptr;
        }

        WAVEFORMATEXTENSIBLE stream_format(uint32_t sample_rate, bool padded)
        {
            WAVEFORMATEXTENSIBLE format{};
            format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
            format.Format.nChannels = 2;
            format.Format.nSamplesPerSec = sample_rate;
            format.Format.wBitsPerSample = padded ? 32 : 24;
            format.Format.nBlockAlign = static_cast<WORD>(2 * format.Format.wBitsPerSample / 8);
            format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * sample_rate;
            format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
            format.Samples.wValidBitsPerSample = 24;
            format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
            format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
            return format;
        }

        HRESULT activate(IMMDevice* endpoint, IAudioClient2*& client)
        {
            return endpoint->Activate(__uuidof(IAudioClient2), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client));
        }

        // Raw: no system effects; match format: no conversion behind the program's back.
        HRESULT ask_for_raw_stream(IAudioClient2* client)
        {
            AudioClientProperties properties{};
            properties.cbSize = sizeof(properties);
            properties.bIsOffload = FALSE;
            properties.eCategory = AudioCategory_Media;
            properties.Options = AUDCLNT_STREAMOPTIONS_RAW | AUDCLNT_STREAMOPTIONS_MATCH_FORMAT;
            return client->SetClientProperties(&properties);
        }

        Audio_Result result_of(HRESULT result)
        {
            switch (result)
            {
            case S_OK: return Audio_Result::ok;
            case AUDCLNT_E_DEVICE_IN_USE: return Audio_Result::device_in_use;
            case AUDCLNT_E_UNSUPPORTED_FORMAT: return Audio_Result::unsupported_format;
            case AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED: return Audio_Result::buffer_not_aligned;
            default: return Audio_Result::failed;
            }
        }
    }

    Audio_Card default_audio_card()
    {
        // WASAPI names no card numbers: the default render endpoint is the one card there is.
        return {0, "Default audio device"};
    }

    Audio_Device::Audio_Device() : state(std::make_unique<State>()) {}

    Audio_Device::~Audio_Device()
    {
        if (state->event)
            CloseHandle(state->event);
        release(state->render);
        release(state->client);
        release(state->endpoint);
        if (state->com)
            CoUninitialize();
    }

    Audio_Result Audio_Device::open()
    {
        // A thread already in another apartment keeps it; only a successful call is undone.
        state->com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        IMMDeviceEnumerator* enumerator = nullptr;
        if (create_device_enumerator(&enumerator) != S_OK)
            return Audio_Result::no_device_list;
        const HRESULT found = enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &state->endpoint);
        release(enumerator);
        if (found != S_OK)
            return Audio_Result::no_device;
        return activate(state->endpoint, state->client) == S_OK ? Audio_Result::ok : Audio_Result::failed;
    }

    Audio_Result Audio_Device::test_format(uint32_t sample_rate, bool padded)
    {
        const WAVEFORMATEXTENSIBLE format = stream_format(sample_rate, padded);
        const HRESULT result = state->client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &format.Format, nullptr);
        // Only an explicit refusal counts: a driver that cannot tell is given the chance to open.
        return result == AUDCLNT_E_UNSUPPORTED_FORMAT ? Audio_Result::unsupported_format : Audio_Result::ok;
    }

    int64_t Audio_Device::minimum_period(uint32_t)
    {
        REFERENCE_TIME minimum = 0;
        state->client->GetDevicePeriod(nullptr, &minimum);
        return minimum;
    }

    Audio_Result Audio_Device::initialize(uint32_t sample_rate, bool padded, int64_t period)
    {
        // A client refuses a second Initialize: after a misaligned buffer a fresh one is needed.
        if (state->client_tried)
        {
            release(state->client);
            if (activate(state->endpoint, state->client) != S_OK)
                return Audio_Result::failed;
        }
        if (ask_for_raw_stream(state->client) != S_OK)
            return Audio_Result::raw_unsupported;
        const WAVEFORMATEXTENSIBLE format = stream_format(sample_rate, padded);
        state->client_tried = true;
        const HRESULT opened = state->client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                                         period, period, &format.Format, nullptr);
        if (opened != S_OK && opened != AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED)
            return result_of(opened);
        UINT32 frames = 0;
        state->client->GetBufferSize(&frames);
        state->frames = frames;
        if (opened != S_OK)
            return Audio_Result::buffer_not_aligned;

        if (state->client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&state->render)) != S_OK)
            return Audio_Result::no_render_service;
        state->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!state->event || state->client->SetEventHandle(state->event) != S_OK)
            return Audio_Result::no_buffer_event;
        return Audio_Result::ok;
    }

    uint32_t Audio_Device::buffer_frames()
    {
        return state->frames;
    }

    Audio_Wait Audio_Device::wait(int timeout_ms)
    {
        switch (WaitForSingleObject(state->event, static_cast<DWORD>(timeout_ms)))
        {
        case WAIT_OBJECT_0: return Audio_Wait::due;
        case WAIT_TIMEOUT: return Audio_Wait::timed_out;
        default: return Audio_Wait::failed;
        }
    }

    uint8_t* Audio_Device::get_buffer()
    {
        BYTE* data = nullptr;
        if (state->render->GetBuffer(state->frames, &data) != S_OK)
            return nullptr;
        return data;
    }

    bool Audio_Device::release_buffer(bool silent)
    {
        const DWORD flags = silent ? AUDCLNT_BUFFERFLAGS_SILENT : 0;
        return state->render->ReleaseBuffer(state->frames, flags) == S_OK;
    }

    bool Audio_Device::start()
    {
        return state->client->Start() == S_OK;
    }

    void Audio_Device::stop()
    {
        state->client->Stop();
        state->client->Reset();
    }
}
