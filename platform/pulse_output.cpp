#include "platform/pulse_output.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace platform {

namespace {

constexpr int kConnectMs = 3000;
constexpr const char* kClientName = "Corva";

using Clock = std::chrono::steady_clock;

// Runs with the main loop's lock held and gives it up while it sleeps, until `done` holds
// or `ms` have passed; true when `done` held.
template <class Done>
bool waitLocked(pa_threaded_mainloop* loop, int ms, Done done) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (Clock::now() >= end) return false;
    pa_threaded_mainloop_unlock(loop);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    pa_threaded_mainloop_lock(loop);
  }
  return true;
}

bool operationDone(pa_operation* op) { return !op || pa_operation_get_state(op) != PA_OPERATION_RUNNING; }

void finish(pa_threaded_mainloop* loop, pa_operation* op, int ms) {
  if (!op) return;
  (void)waitLocked(loop, ms, [&] { return operationDone(op); });
  pa_operation_unref(op);
}

}  // namespace

// A threaded main loop with one context on the default server, and at most one stream.
struct PulseOutput::Impl {
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;

  Callback callback = nullptr;
  void* user = nullptr;
  unsigned channels = 0;
  unsigned frames = 0;
  std::vector<double> planar;
  std::vector<float> interleaved;

  std::atomic<bool>* running = nullptr;
  std::atomic<bool> failed{false};
  bool closing = false;
  bool draining = false;
  mutable std::mutex reasonMutex;
  std::string reason;

  ~Impl() { Disconnect(); }

  bool Connect(std::string& error) {
    loop = pa_threaded_mainloop_new();
    if (!loop) {
      error = "no main loop could be made";
      return false;
    }
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), kClientName);
    if (!context) {
      error = "no connection could be made";
      return false;
    }
    pa_context_set_state_callback(context, &Impl::OnContextState, this);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop) < 0) {
      error = std::string("no server answered (") + pa_strerror(pa_context_errno(context)) + ")";
      return false;
    }
    pa_threaded_mainloop_lock(loop);
    const bool ready = waitLocked(loop, kConnectMs,
                                  [&] {
                                    const pa_context_state_t s = pa_context_get_state(context);
                                    return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
                                  }) &&
                       pa_context_get_state(context) == PA_CONTEXT_READY;
    if (!ready) {
      const int e = pa_context_errno(context);
      error = std::string("no server answered (") + (e ? pa_strerror(e) : "timed out") + ")";
    }
    pa_threaded_mainloop_unlock(loop);
    return ready;
  }

  void Disconnect() {
    if (loop) {
      pa_threaded_mainloop_lock(loop);
      closing = true;
      if (stream) {
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
      }
      if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
      }
      pa_threaded_mainloop_unlock(loop);
      pa_threaded_mainloop_stop(loop);
    }
    if (context) pa_context_unref(context);
    if (loop) pa_threaded_mainloop_free(loop);
    context = nullptr;
    loop = nullptr;
  }

  void Fail(const char* what) {
    if (closing || failed.exchange(true)) return;
    {
      std::lock_guard<std::mutex> lock(reasonMutex);
      const int e = context ? pa_context_errno(context) : 0;
      reason = std::string(what) + (e ? std::string(" (") + pa_strerror(e) + ")" : std::string());
    }
    if (running) running->store(false);
  }

  static void OnContextState(pa_context* c, void* self) {
    const pa_context_state_t s = pa_context_get_state(c);
    if (s == PA_CONTEXT_FAILED || s == PA_CONTEXT_TERMINATED) static_cast<Impl*>(self)->Fail("the server went away");
  }

  static void OnStreamState(pa_stream* st, void* self) {
    const pa_stream_state_t s = pa_stream_get_state(st);
    if (s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED)
      static_cast<Impl*>(self)->Fail("the server ended the stream");
  }

  static void OnWrite(pa_stream*, size_t bytes, void* self) { static_cast<Impl*>(self)->Fill(bytes); }

  // Writes as many whole periods as the server asks for; the rest of a request waits for
  // the next one.
  void Fill(size_t bytes) {
    if (!stream || !running || !running->load() || draining || failed.load()) return;
    const size_t periodBytes = static_cast<size_t>(frames) * channels * sizeof(float);
    while (bytes >= periodBytes) {
      callback(planar.data(), nullptr, frames, 0.0, 0, user);
      for (unsigned i = 0; i < frames; ++i)
        for (unsigned c = 0; c < channels; ++c)
          interleaved[static_cast<size_t>(i) * channels + c] = static_cast<float>(
              planar[static_cast<size_t>(c) * frames + i]);
      if (pa_stream_write(stream, interleaved.data(), periodBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        Fail("the server refused the audio");
        return;
      }
      bytes -= periodBytes;
    }
  }
};

bool PulseOutput::ListDevices(std::vector<PulseDevice>& devices, std::string& error) {
  devices.clear();
  Impl c;
  if (!c.Connect(error)) return false;
  struct Listing {
    std::vector<PulseDevice>* devices;
    std::string defaultSink, defaultSource;
  } listing{&devices, {}, {}};
  pa_threaded_mainloop_lock(c.loop);
  pa_operation* server = pa_context_get_server_info(
      c.context,
      [](pa_context*, const pa_server_info* i, void* l) {
        auto* d = static_cast<Listing*>(l);
        if (!i) return;
        d->defaultSink = i->default_sink_name ? i->default_sink_name : "";
        d->defaultSource = i->default_source_name ? i->default_source_name : "";
      },
      &listing);
  finish(c.loop, server, kConnectMs);
  pa_operation* sinks = pa_context_get_sink_info_list(
      c.context,
      [](pa_context*, const pa_sink_info* i, int eol, void* l) {
        if (eol || !i) return;
        auto* d = static_cast<Listing*>(l);
        d->devices->push_back({i->name, i->description ? i->description : i->name, i->sample_spec.channels,
                               i->sample_spec.rate, true, d->defaultSink == i->name});
      },
      &listing);
  finish(c.loop, sinks, kConnectMs);
  pa_operation* sources = pa_context_get_source_info_list(
      c.context,
      [](pa_context*, const pa_source_info* i, int eol, void* l) {
        if (eol || !i || i->monitor_of_sink != PA_INVALID_INDEX) return;
        auto* d = static_cast<Listing*>(l);
        d->devices->push_back({i->name, i->description ? i->description : i->name, i->sample_spec.channels,
                               i->sample_spec.rate, false, d->defaultSource == i->name});
      },
      &listing);
  finish(c.loop, sources, kConnectMs);
  pa_threaded_mainloop_unlock(c.loop);
  return true;
}

PulseOutput::PulseOutput() = default;
PulseOutput::~PulseOutput() { Close(); }

bool PulseOutput::Open(const std::string& sink, unsigned channels, unsigned rate, unsigned frames, Callback callback,
                       void* user, std::string& error) {
  Close();
  if (channels == 0 || frames == 0 || rate == 0 || !callback) {
    error = "a stream needs channels, a rate and a period";
    return false;
  }
  mImpl = std::make_unique<Impl>();
  Impl& p = *mImpl;
  p.running = &mRunning;
  p.callback = callback;
  p.user = user;
  p.channels = channels;
  p.frames = frames;
  p.planar.assign(static_cast<size_t>(frames) * channels, 0.0);
  p.interleaved.assign(static_cast<size_t>(frames) * channels, 0.0f);
  if (!p.Connect(error)) {
    mImpl.reset();
    return false;
  }

  pa_threaded_mainloop_lock(p.loop);
  const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, rate, static_cast<uint8_t>(channels)};
  p.stream = pa_stream_new(p.context, "Playback", &spec, nullptr);
  bool ready = false;
  if (p.stream) {
    pa_stream_set_state_callback(p.stream, &Impl::OnStreamState, &p);
    pa_stream_set_write_callback(p.stream, &Impl::OnWrite, &p);
    // The server keeps three periods in all (what it holds for the stream and what the
    // device buffers) and asks for one period at a time. Whole periods are written, so
    // playing starts (and starts again after an underrun) once one period is there: the
    // server's default, a full buffer, may be a part of a period more than is written
    // before it asks again.
    const uint32_t periodBytes = frames * channels * static_cast<uint32_t>(sizeof(float));
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = 3 * periodBytes;
    attr.prebuf = periodBytes;
    attr.minreq = periodBytes;
    attr.fragsize = static_cast<uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    if (pa_stream_connect_playback(p.stream, sink.empty() ? nullptr : sink.c_str(), &attr, flags, nullptr, nullptr) ==
        0) {
      ready = waitLocked(p.loop, kConnectMs,
                         [&] {
                           const pa_stream_state_t s = pa_stream_get_state(p.stream);
                           return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
                         }) &&
              pa_stream_get_state(p.stream) == PA_STREAM_READY;
    }
  }
  if (!ready) {
    const int e = pa_context_errno(p.context);
    error = "the device \"" + sink + "\" did not open a stream (" + (e ? pa_strerror(e) : "timed out") + ")";
  }
  pa_threaded_mainloop_unlock(p.loop);
  if (!ready) mImpl.reset();
  return ready;
}

bool PulseOutput::Start(std::string& error) {
  if (!mImpl || mImpl->failed.load()) {
    error = "no stream is open";
    return false;
  }
  Impl& p = *mImpl;
  pa_threaded_mainloop_lock(p.loop);
  mRunning.store(true);
  p.draining = false;
  if (pa_operation* op = pa_stream_cork(p.stream, 0, nullptr, nullptr)) pa_operation_unref(op);
  // The server asked for its first periods while the stream was corked: they are
  // written now.
  const size_t writable = pa_stream_writable_size(p.stream);
  if (writable != static_cast<size_t>(-1)) p.Fill(writable);
  pa_threaded_mainloop_unlock(p.loop);
  if (p.failed.load()) {
    error = "the stream failed as it started";
    return false;
  }
  return true;
}

void PulseOutput::Stop(bool drain, int drainMs) {
  if (!mImpl || !mRunning.load()) return;
  Impl& p = *mImpl;
  pa_threaded_mainloop_lock(p.loop);
  if (drain && !p.failed.load()) {
    p.draining = true;
    finish(p.loop, pa_stream_drain(p.stream, nullptr, nullptr), drainMs);
  }
  mRunning.store(false);
  if (!p.failed.load()) {
    if (pa_operation* op = pa_stream_flush(p.stream, nullptr, nullptr)) pa_operation_unref(op);
    if (pa_operation* op = pa_stream_cork(p.stream, 1, nullptr, nullptr)) pa_operation_unref(op);
  }
  pa_threaded_mainloop_unlock(p.loop);
}

void PulseOutput::Close() {
  if (!mImpl) return;
  Stop(false, 0);
  mImpl.reset();
}

bool PulseOutput::IsOpen() const { return mImpl != nullptr; }

bool PulseOutput::Failed(std::string* reason) const {
  if (!mImpl || !mImpl->failed.load()) return false;
  if (reason) {
    std::lock_guard<std::mutex> lock(mImpl->reasonMutex);
    *reason = mImpl->reason;
  }
  return true;
}

}  // namespace platform
