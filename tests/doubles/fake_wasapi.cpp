// The scripted WASAPI endpoint: COM objects with reference counts, one exclusive stream per
// endpoint, and a clock thread that consumes the queued buffer and sets the stream's event
// once per period while the stream runs.
#include "doubles/fake_wasapi.h"

#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "platform/windows/device_enumerator.h"

namespace Fake_Wasapi
{
    namespace
    {
        struct World
        {
            std::mutex mutex;
            Settings settings;
            std::vector<std::string> calls;
            std::vector<Buffer> buffers;
            std::atomic<int> live{0};
            std::atomic<int> created{0};
            int late = 0;
            const void* stream_owner = nullptr; // the client that holds the exclusive stream
        };

        World& world()
        {
            static World w;
            return w;
        }

        void record(const std::string& call)
        {
            std::lock_guard lock(world().mutex);
            world().calls.push_back(call);
        }

        Settings settings()
        {
            std::lock_guard lock(world().mutex);
            return world().settings;
        }

        template <typename Interface>
        struct Object : Interface
        {
            Object()
            {
                ++world().live;
                ++world().created;
            }
            virtual ~Object() { --world().live; }

            HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
            {
                if (id != __uuidof(IUnknown) && id != __uuidof(Interface))
                {
                    *out = nullptr;
                    return E_NOINTERFACE;
                }
                AddRef();
                *out = this;
                return S_OK;
            }
            ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
            ULONG STDMETHODCALLTYPE Release() override
            {
                const ULONG left = --references;
                if (left == 0)
                    delete this;
                return left;
            }

            std::atomic<ULONG> references{1};
        };

        std::string describe(const WAVEFORMATEX* format)
        {
            const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
            return std::to_string(format->nSamplesPerSec) + " " + std::to_string(format->wBitsPerSample) + "/" +
                   std::to_string(extensible->Samples.wValidBitsPerSample);
        }

        // Stereo, 24 valid bits in 3 or 4 bytes, every field consistent; and not refused.
        HRESULT check_format(const WAVEFORMATEX* format, const Settings& s)
        {
            const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
            const bool padded = format->wBitsPerSample == 32;
            const bool well_formed = format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->nChannels == 2 &&
                                     format->cbSize == 22 && (format->wBitsPerSample == 24 || padded) &&
                                     format->nBlockAlign == 2 * format->wBitsPerSample / 8 &&
                                     format->nAvgBytesPerSec == format->nBlockAlign * format->nSamplesPerSec &&
                                     x->Samples.wValidBitsPerSample == 24 && x->dwChannelMask == 3 &&
                                     x->SubFormat == KSDATAFORMAT_SUBTYPE_PCM;
            if (!well_formed)
                return E_INVALIDARG;
            const bool rate_refused = std::find(s.refused_rates.begin(), s.refused_rates.end(),
                                                format->nSamplesPerSec) != s.refused_rates.end();
            if (rate_refused || (padded ? s.refuse_padded : s.refuse_packed))
                return AUDCLNT_E_UNSUPPORTED_FORMAT;
            return S_OK;
        }

        struct Client;

        struct Render_Client : Object<IAudioRenderClient>
        {
            explicit Render_Client(Client* client);
            ~Render_Client() override;
            HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override;
            HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD flags) override;

            Client* client;
        };

        struct Client : Object<IAudioClient2>
        {
            ~Client() override
            {
                stop_clock();
                std::lock_guard lock(world().mutex);
                if (world().stream_owner == this)
                    world().stream_owner = nullptr;
            }

            HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override
            {
                if (id == __uuidof(IAudioClient))
                {
                    AddRef();
                    *out = static_cast<IAudioClient*>(this);
                    return S_OK;
                }
                return Object<IAudioClient2>::QueryInterface(id, out);
            }

            HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                                 REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                                 LPCGUID) override
            {
                record("Initialize " + describe(format) + " " + std::to_string(duration) + " " +
                       std::to_string(periodicity));
                const Settings s = settings();
                if (initialized || sized) // even a refused size leaves the client used up
                    return AUDCLNT_E_ALREADY_INITIALIZED;
                if (mode != AUDCLNT_SHAREMODE_EXCLUSIVE || !(flags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) ||
                    duration != periodicity)
                    return E_INVALIDARG;
                if (const HRESULT result = check_format(format, s); result != S_OK)
                    return result;
                if (duration < s.minimum_period)
                    return AUDCLNT_E_INVALID_DEVICE_PERIOD;
                std::lock_guard lock(world().mutex);
                if (s.held_by_another || world().stream_owner)
                    return AUDCLNT_E_DEVICE_IN_USE;
                rate = format->nSamplesPerSec;
                block_align = format->nBlockAlign;
                frames = static_cast<UINT32>(std::llround(double(duration) * rate / 1e7));
                sized = true;
                if (s.alignment && frames % s.alignment)
                {
                    frames = (frames / s.alignment + 1) * s.alignment; // what the endpoint would take
                    return AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
                }
                initialized = true;
                world().stream_owner = this;
                scratch.assign(size_t(frames) * block_align, 0);
                return S_OK;
            }

            HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* out) override
            {
                record("GetBufferSize");
                if (!sized)
                    return AUDCLNT_E_NOT_INITIALIZED;
                *out = frames;
                return S_OK;
            }

            HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE mode, const WAVEFORMATEX* format,
                                                        WAVEFORMATEX** closest) override
            {
                record("IsFormatSupported " + describe(format));
                if (mode != AUDCLNT_SHAREMODE_EXCLUSIVE || closest)
                    return E_INVALIDARG;
                return check_format(format, settings());
            }

            HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* default_period, REFERENCE_TIME* minimum) override
            {
                record("GetDevicePeriod");
                if (default_period)
                    *default_period = 100000;
                if (minimum)
                    *minimum = settings().minimum_period;
                return S_OK;
            }

            HRESULT STDMETHODCALLTYPE Start() override
            {
                record("Start");
                if (!initialized)
                    return AUDCLNT_E_NOT_INITIALIZED;
                if (!event)
                    return AUDCLNT_E_EVENTHANDLE_NOT_SET;
                if (started)
                    return AUDCLNT_E_NOT_STOPPED;
                if (const HRESULT result = settings().start; result != S_OK)
                    return result;
                started = true;
                running = true;
                clock = std::thread([this] { tick(); });
                return S_OK;
            }

            HRESULT STDMETHODCALLTYPE Stop() override
            {
                record("Stop");
                if (!initialized)
                    return AUDCLNT_E_NOT_INITIALIZED;
                const bool was_started = started;
                stop_clock();
                return was_started ? S_OK : S_FALSE;
            }

            HRESULT STDMETHODCALLTYPE Reset() override
            {
                record("Reset");
                if (!initialized)
                    return AUDCLNT_E_NOT_INITIALIZED;
                if (started)
                    return AUDCLNT_E_NOT_STOPPED;
                std::lock_guard lock(world().mutex);
                queued = false;
                return S_OK;
            }

            HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE handle) override
            {
                record("SetEventHandle");
                if (!initialized)
                    return AUDCLNT_E_NOT_INITIALIZED;
                if (const HRESULT result = settings().set_event_handle; result != S_OK)
                    return result;
                event = handle;
                return S_OK;
            }

            HRESULT STDMETHODCALLTYPE GetService(REFIID id, void** out) override
            {
                record("GetService");
                *out = nullptr;
                if (!initialized)
                    return AUDCLNT_E_NOT_INITIALIZED;
                if (const HRESULT result = settings().get_service; result != S_OK)
                    return result;
                if (id != __uuidof(IAudioRenderClient))
                    return E_NOINTERFACE;
                *out = static_cast<IAudioRenderClient*>(new Render_Client(this));
                return S_OK;
            }

            HRESULT STDMETHODCALLTYPE SetClientProperties(const AudioClientProperties* properties) override
            {
                const bool raw = properties->Options & AUDCLNT_STREAMOPTIONS_RAW;
                const bool match = properties->Options & AUDCLNT_STREAMOPTIONS_MATCH_FORMAT;
                record(std::string("SetClientProperties") + (raw ? " raw" : "") + (match ? " match" : "") +
                       (properties->eCategory == AudioCategory_Media ? " media" : ""));
                if (initialized || sized)
                    return AUDCLNT_E_ALREADY_INITIALIZED;
                if (properties->cbSize != sizeof(AudioClientProperties))
                    return E_INVALIDARG;
                return settings().raw_unsupported ? E_INVALIDARG : S_OK;
            }

            HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32*) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX**) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE IsOffloadCapable(AUDIO_STREAM_CATEGORY, WINBOOL*) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE GetBufferSizeLimits(const WAVEFORMATEX*, WINBOOL, REFERENCE_TIME*,
                                                          REFERENCE_TIME*) override
            {
                return E_NOTIMPL;
            }

            // One period after another: the queued buffer is played and the event asks for the
            // next one.
            void tick()
            {
                const auto period = std::chrono::duration<double>(double(frames) / rate / settings().speed);
                auto next = std::chrono::steady_clock::now();
                for (int events = 0; running; ++events)
                {
                    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
                    std::this_thread::sleep_until(next);
                    const int stall = settings().stall_after_events;
                    if (stall >= 0 && events >= stall)
                        continue;
                    std::lock_guard lock(world().mutex);
                    if (!queued)
                    {
                        // The buffer is still free from the last event: the stream starves
                        // this period, and the event already set still stands.
                        ++world().late;
                        continue;
                    }
                    queued = false;
                    SetEvent(event);
                }
            }

            void stop_clock()
            {
                running = false;
                if (clock.joinable())
                    clock.join();
                started = false;
            }

            bool sized = false;       // Initialize got as far as a buffer size
            bool initialized = false; // Initialize succeeded
            uint32_t rate = 0;
            uint32_t block_align = 0;
            UINT32 frames = 0;
            HANDLE event = nullptr;
            bool started = false;
            std::atomic<bool> running{false};
            std::thread clock;
            bool queued = false; // a released buffer waits to be played
            bool lent = false;   // GetBuffer handed out the buffer, ReleaseBuffer not yet called
            UINT32 lent_frames = 0;
            std::vector<BYTE> scratch;
        };

        Render_Client::Render_Client(Client* owner) : client(owner)
        {
            client->AddRef();
        }
        Render_Client::~Render_Client()
        {
            client->Release();
        }

        HRESULT Render_Client::GetBuffer(UINT32 frames, BYTE** data)
        {
            record("GetBuffer " + std::to_string(frames));
            std::lock_guard lock(world().mutex);
            if (client->lent)
                return AUDCLNT_E_OUT_OF_ORDER;
            if (frames > client->frames || client->queued)
                return AUDCLNT_E_BUFFER_TOO_LARGE; // no room until the queued buffer is played
            // Bytes the caller leaves unwritten show up as 0xCD, never as plausible silence.
            std::fill(client->scratch.begin(), client->scratch.end(), BYTE(0xCD));
            client->lent = true;
            client->lent_frames = frames;
            *data = client->scratch.data();
            return S_OK;
        }

        HRESULT Render_Client::ReleaseBuffer(UINT32 frames, DWORD flags)
        {
            record("ReleaseBuffer " + std::to_string(frames) + (flags & AUDCLNT_BUFFERFLAGS_SILENT ? " silent" : ""));
            std::lock_guard lock(world().mutex);
            if (!client->lent)
                return AUDCLNT_E_OUT_OF_ORDER;
            if (frames != client->lent_frames)
                return AUDCLNT_E_INVALID_SIZE;
            Buffer buffer;
            buffer.silent = flags & AUDCLNT_BUFFERFLAGS_SILENT;
            buffer.started = client->started;
            buffer.bytes.assign(client->scratch.begin(),
                                client->scratch.begin() + size_t(frames) * client->block_align);
            if (buffer.silent)
                std::fill(buffer.bytes.begin(), buffer.bytes.end(), BYTE(0));
            world().buffers.push_back(std::move(buffer));
            client->lent = false;
            client->queued = true;
            return S_OK;
        }

        struct Device : Object<IMMDevice>
        {
            HRESULT STDMETHODCALLTYPE Activate(REFIID id, DWORD, PROPVARIANT*, void** out) override
            {
                record("Activate");
                *out = nullptr;
                if (const HRESULT result = settings().activate; result != S_OK)
                    return result;
                if (id != __uuidof(IAudioClient2) && id != __uuidof(IAudioClient))
                    return E_NOINTERFACE;
                *out = static_cast<IAudioClient2*>(new Client);
                return S_OK;
            }
            HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override
            {
                *state = DEVICE_STATE_ACTIVE;
                return S_OK;
            }
        };

        struct Enumerator : Object<IMMDeviceEnumerator>
        {
            HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out) override
            {
                record(std::string("GetDefaultAudioEndpoint") + (flow == eRender ? " render" : "") +
                       (role == eMultimedia ? " multimedia" : ""));
                *out = nullptr;
                if (!settings().has_endpoint)
                    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
                *out = new Device;
                return S_OK;
            }
            HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override
            {
                return E_NOTIMPL;
            }
            HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
            HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override
            {
                return E_NOTIMPL;
            }
            HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override
            {
                return E_NOTIMPL;
            }
        };
    }

    void reset(const Settings& s)
    {
        std::lock_guard lock(world().mutex);
        world().settings = s;
        world().calls.clear();
        world().buffers.clear();
        world().created = 0;
        world().late = 0;
    }

    std::vector<std::string> calls()
    {
        std::lock_guard lock(world().mutex);
        return world().calls;
    }

    std::vector<Buffer> buffers()
    {
        std::lock_guard lock(world().mutex);
        return world().buffers;
    }

    int live_objects()
    {
        return world().live;
    }

    int late_buffers()
    {
        std::lock_guard lock(world().mutex);
        return world().late;
    }

    bool wait_until_released(std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (world().live > 0 || world().created == 0)
        {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
}

namespace Platform
{
    HRESULT create_device_enumerator(IMMDeviceEnumerator** enumerator)
    {
        Fake_Wasapi::record("CreateEnumerator");
        *enumerator = nullptr;
        if (const HRESULT result = Fake_Wasapi::settings().create_enumerator; result != S_OK)
            return result;
        *enumerator = new Fake_Wasapi::Enumerator;
        return S_OK;
    }
}
