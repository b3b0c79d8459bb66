// The media player control on GStreamer's playbin.
//
// Each player has a thread of its own with its own GLib main context. The
// pipeline's bus is watched there, and every operation that changes what
// plays (setting the URL, stop, play, pause, close, the final Release) is
// carried out there too, one after the other, so that bus messages and
// commands never race: a stream stopped by a command cannot be ended again
// by a late message of its own, because stopping flushes the bus on the same
// thread that reads it. The caller's thread waits for its command to finish.
// Only the play state and the position are read directly by the caller.
#include <handset/wmp.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include <gst/gst.h>

#include <handset/com_ptr.h>
#include <handset/device.h>
#include <handset/log.h>
#include <handset/msgqueue.h>
#include <handset/wstring.h>

#include "wmp/audio_output.h"
#include "wmp/gst_runtime.h"
#include "wmp/media.h"

namespace handset::wmp {

namespace {

namespace fs = std::filesystem;

// playbin's flags: audio only, with its own volume. The control plays
// sounds; a picture in a file's tags must not bring up a video sink.
constexpr guint kPlayFlagAudio = 0x2;
constexpr guint kPlayFlagSoftVolume = 0x10;

// How often a playing stream wakes the thread that started it.
constexpr guint kProgressMilliseconds = 100;

class Player;

// The controls are an object of their own that lives and dies with its
// player: their reference count is the player's.
class Controls final : public IWMPControls {
public:
    explicit Controls(Player& player) : player_(player) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT play() override;
    HRESULT stop() override;
    HRESULT pause() override;
    HRESULT get_currentPosition(double* pdCurrentPosition) override;

private:
    Player& player_;
};

class Player final : public com::Object<IWMPPlayer, IID_IDispatch, IID_IWMPPlayer> {
public:
    static HRESULT create(REFIID riid, void** ppv);

    HRESULT close() override
    {
        onControlThread([this] { closeMedia(); });
        return S_OK;
    }

    HRESULT put_URL(BSTR bstrURL) override
    {
        if (!bstrURL)
            return E_POINTER;
        std::u16string url(bstrURL);
        noteCaller();
        onControlThread([this, url = std::move(url)] {
            if (url.empty())
                closeMedia();
            else
                openMedia(url);
        });
        return S_OK;
    }

    HRESULT get_playState(WMPPlayState* pwmpps) override
    {
        if (!pwmpps)
            return E_POINTER;
        *pwmpps = static_cast<WMPPlayState>(state_.load());
        return S_OK;
    }

    HRESULT get_controls(IWMPControls** ppControl) override
    {
        if (!ppControl)
            return E_POINTER;
        controls_.AddRef();
        *ppControl = &controls_;
        return S_OK;
    }

    // The controls' operations.
    HRESULT play()
    {
        noteCaller();
        bool started = false;
        onControlThread([this, &started] { started = playMedia(); });
        return started ? S_OK : S_FALSE;
    }
    HRESULT stop()
    {
        onControlThread([this] { stopMedia(); });
        return S_OK;
    }
    HRESULT pause()
    {
        bool paused = false;
        onControlThread([this, &paused] { paused = pauseMedia(); });
        return paused ? S_OK : S_FALSE;
    }
    HRESULT currentPosition(double* seconds)
    {
        if (!seconds)
            return E_POINTER;
        *seconds = position();
        return S_OK;
    }

private:
    enum class Target { None, Playing, Paused };

    Player() = default;
    ~Player();

    bool start();

    // Runs `work` on the player's thread and waits for it.
    void onControlThread(std::function<void()> work);

    // The caller's thread gets the progress messages; it is given a message
    // queue now, as the phone's control gives its thread a window.
    void noteCaller()
    {
        ensureMessageQueue();
        caller_ = GetCurrentThreadId();
    }

    // --- on the player's thread -------------------------------------------
    void openMedia(const std::u16string& url);
    bool playMedia();
    bool pauseMedia();
    void stopMedia();
    void closeMedia();
    void beginStream();
    void endStream();
    void failStream(const std::string& reason);
    void onBusMessage(GstMessage* message);
    void setState(WMPPlayState state);
    void postProgress();

    double position();

    Controls controls_{*this};
    std::atomic<int> state_{wmppsUndefined};
    std::atomic<double> endPosition_{0.0};
    std::atomic<DWORD> caller_{0};

    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::thread thread_;
    GstElement* playbin_ = nullptr;
    GSource* busWatch_ = nullptr;
    GSource* ticker_ = nullptr;  // only while a stream is open
    std::shared_ptr<Capture> capture_;

    // Touched on the player's thread only.
    std::u16string url_;
    Target target_ = Target::None;
    bool streamOpen_ = false;
};

// --- Controls ---------------------------------------------------------------

HRESULT Controls::QueryInterface(REFIID riid, void** ppv)
{
    return com::queryInterface<IWMPControls, IID_IDispatch, IID_IWMPControls>(this, riid, ppv);
}

ULONG Controls::AddRef()
{
    return player_.AddRef();
}

ULONG Controls::Release()
{
    return player_.Release();
}

HRESULT Controls::play()
{
    return player_.play();
}

HRESULT Controls::stop()
{
    return player_.stop();
}

HRESULT Controls::pause()
{
    return player_.pause();
}

HRESULT Controls::get_currentPosition(double* pdCurrentPosition)
{
    return player_.currentPosition(pdCurrentPosition);
}

// --- Player -----------------------------------------------------------------

HRESULT Player::create(REFIID riid, void** ppv)
{
    std::string why;
    if (!ensureGStreamer(&why)) {
        logLine("wmp", "cannot create the media player: " + why);
        return E_FAIL;
    }
    auto* player = new (std::nothrow) Player;
    if (!player)
        return E_OUTOFMEMORY;
    if (!player->start()) {
        player->Release();
        return E_FAIL;
    }
    return handset::com::handOut(player, riid, ppv);
}

bool Player::start()
{
    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (!playbin_) {
        logLine("wmp", "cannot create the media player: GStreamer has no playbin");
        return false;
    }
    gst_object_ref_sink(playbin_);

    std::string unknown;
    const AudioChoice choice = audioChoiceFromEnvironment(&unknown);
    if (!unknown.empty())
        logLine("wmp", "HANDSET_AUDIO=" + unknown + " is not auto, none or capture:DIR; using auto");
    if (choice.captureFolder)
        capture_ = std::make_shared<Capture>(*choice.captureFolder);
    std::string output;
    GstElement* sink = makeAudioSink(choice, capture_, &output);
    if (!sink) {
        logLine("wmp", "cannot create the media player: no audio sink");
        return false;
    }
    g_object_set(playbin_, "audio-sink", sink, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);

    synthesiseMidiWithGeneralMidi(playbin_);

    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    GstBus* bus = gst_element_get_bus(playbin_);
    busWatch_ = gst_bus_create_watch(bus);
    gst_object_unref(bus);
    g_source_set_callback(
        busWatch_,
        G_SOURCE_FUNC(+[](GstBus*, GstMessage* message, gpointer self) -> gboolean {
            static_cast<Player*>(self)->onBusMessage(message);
            return G_SOURCE_CONTINUE;
        }),
        this, nullptr);
    g_source_attach(busWatch_, context_);

    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    return true;
}

Player::~Player()
{
    // Releasing the player stops what it plays.
    if (thread_.joinable()) {
        onControlThread([this] { stopMedia(); });
        g_main_loop_quit(loop_);
        thread_.join();
    }
    if (busWatch_) {
        g_source_destroy(busWatch_);
        g_source_unref(busWatch_);
    }
    if (playbin_) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        gst_object_unref(playbin_);
    }
    if (loop_)
        g_main_loop_unref(loop_);
    if (context_)
        g_main_context_unref(context_);
}

void Player::onControlThread(std::function<void()> work)
{
    struct Call {
        std::function<void()> work;
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    } call;
    call.work = std::move(work);

    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_HIGH);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            c->work();
            {
                std::lock_guard lock(c->mutex);
                c->done = true;
            }
            c->finished.notify_one();
            return G_SOURCE_REMOVE;
        },
        &call, nullptr);
    g_source_attach(source, context_);
    g_source_unref(source);

    std::unique_lock lock(call.mutex);
    call.finished.wait(lock, [&] { return call.done; });
}

void Player::setState(WMPPlayState state)
{
    if (state_.exchange(state) != state)
        postProgress();
}

void Player::postProgress()
{
    if (const DWORD thread = caller_.load())
        postQueuedMessage(thread, nullptr, kPlayerProgressMessage, 0, 0, Coalesce::Yes);
}

void Player::openMedia(const std::u16string& url)
{
    endStream();
    url_ = url;
    endPosition_ = 0.0;
    beginStream();
}

// Opens url_ and plays it from its beginning.
void Player::beginStream()
{
    const ResolvedMedia media = resolveMedia(url_);
    if (media.uri.empty()) {
        failStream(media.reason);
        return;
    }
    logLine("wmp", "play \"" + toUtf8(url_) + "\"");
    g_object_set(playbin_, "uri", media.uri.c_str(), nullptr);
    target_ = Target::Playing;
    streamOpen_ = true;
    setState(wmppsTransitioning);

    ticker_ = g_timeout_source_new(kProgressMilliseconds);
    g_source_set_callback(
        ticker_,
        [](gpointer data) -> gboolean {
            // A paused stream has nothing to report.
            auto* self = static_cast<Player*>(data);
            if (self->state_.load() != wmppsPaused)
                self->postProgress();
            return G_SOURCE_CONTINUE;
        },
        this, nullptr);
    g_source_attach(ticker_, context_);

    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        // The reason is on the bus; take it before stopping flushes it.
        std::string reason = "the media cannot be opened";
        GstBus* bus = gst_element_get_bus(playbin_);
        if (GstMessage* error = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            GError* e = nullptr;
            gst_message_parse_error(error, &e, nullptr);
            if (e) {
                reason = e->message;
                g_error_free(e);
            }
            gst_message_unref(error);
        }
        gst_object_unref(bus);
        failStream(reason);
    }
}

// Stops the pipeline. Going to NULL flushes the bus, so no message of the
// stream that ends here is read afterwards.
void Player::endStream()
{
    if (ticker_) {
        g_source_destroy(ticker_);
        g_source_unref(ticker_);
        ticker_ = nullptr;
    }
    if (streamOpen_) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        streamOpen_ = false;
    }
    target_ = Target::None;
    if (capture_)
        capture_->endStream();
}

void Player::failStream(const std::string& reason)
{
    logLine("wmp", "cannot play \"" + toUtf8(url_) + "\": " + reason);
    endStream();
    setState(wmppsReady);
}

bool Player::playMedia()
{
    if (url_.empty())
        return false;
    if (streamOpen_ && target_ == Target::Paused) {
        target_ = Target::Playing;
        gst_element_set_state(playbin_, GST_STATE_PLAYING);
        return true;
    }
    endStream();
    endPosition_ = 0.0;
    beginStream();
    return true;
}

bool Player::pauseMedia()
{
    if (!streamOpen_ || target_ != Target::Playing)
        return false;
    target_ = Target::Paused;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
    return true;
}

void Player::stopMedia()
{
    if (url_.empty())
        return;
    endStream();
    endPosition_ = 0.0;
    setState(wmppsStopped);
}

void Player::closeMedia()
{
    endStream();
    url_.clear();
    endPosition_ = 0.0;
    setState(wmppsUndefined);
}

void Player::onBusMessage(GstMessage* message)
{
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_STATE_CHANGED: {
        if (GST_MESSAGE_SRC(message) != GST_OBJECT(playbin_))
            break;
        GstState now = GST_STATE_NULL;
        gst_message_parse_state_changed(message, nullptr, &now, nullptr);
        if (now == GST_STATE_PLAYING && target_ == Target::Playing)
            setState(wmppsPlaying);
        else if (now == GST_STATE_PAUSED && target_ == Target::Paused)
            setState(wmppsPaused);
        break;
    }
    case GST_MESSAGE_EOS: {
        // The position at the end is kept: the media played all of it.
        gint64 end = 0;
        if (gst_element_query_position(playbin_, GST_FORMAT_TIME, &end) ||
            gst_element_query_duration(playbin_, GST_FORMAT_TIME, &end))
            endPosition_ = static_cast<double>(end) / GST_SECOND;
        endStream();
        setState(wmppsMediaEnded);
        break;
    }
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        const std::string reason = error ? error->message : "playback failed";
        if (error)
            g_error_free(error);
        failStream(reason);
        break;
    }
    case GST_MESSAGE_BUFFERING: {
        // A network stream holds still while its buffer fills.
        if (target_ != Target::Playing)
            break;
        gint percent = 100;
        gst_message_parse_buffering(message, &percent);
        if (percent < 100) {
            gst_element_set_state(playbin_, GST_STATE_PAUSED);
            setState(wmppsBuffering);
        } else {
            gst_element_set_state(playbin_, GST_STATE_PLAYING);
        }
        break;
    }
    default:
        break;
    }
}

double Player::position()
{
    switch (state_.load()) {
    case wmppsPlaying:
    case wmppsPaused:
    case wmppsBuffering:
    case wmppsTransitioning: {
        gint64 now = 0;
        if (gst_element_query_position(playbin_, GST_FORMAT_TIME, &now) && now >= 0)
            return static_cast<double>(now) / GST_SECOND;
        return 0.0;
    }
    case wmppsMediaEnded:
        return endPosition_.load();
    default:
        return 0.0;
    }
}

HRESULT createWindowsMediaPlayer(REFIID riid, void** ppv)
{
    return Player::create(riid, ppv);
}

const com::BuiltInClassRegistration playerClass{{CLSID_WindowsMediaPlayer, u"WMPlayer.OCX", createWindowsMediaPlayer}};

}  // namespace

}  // namespace handset::wmp
