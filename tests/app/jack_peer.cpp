#include "tests/app/jack_peer.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/app/child_process.h"

namespace corva::test {

namespace {

std::atomic<int> gServerCount{0};

// JACK keeps up to eight server registrations in shared memory, and a server that ends
// while clients are connected, or is killed, leaves its entry behind; the entry is taken
// back only when a server of the same name starts again. Test programs of other builds on
// this machine may have left such entries: these are the names whose server is gone.
std::vector<std::string> deadServerNames() {
  std::vector<std::string> names;
  std::ifstream in("/dev/shm/jack-shm-registry", std::ios::binary);
  std::string d((std::istreambuf_iterator<char>(in)), {});
  const std::string uid = "jack-" + std::to_string(::getuid()) + ":";
  for (std::size_t at = d.find(uid); at != std::string::npos && at >= 4; at = d.find(uid, at + 1)) {
    std::int32_t pid = 0;
    std::memcpy(&pid, d.data() + at - 4, sizeof pid);
    const std::size_t end = d.find(':', at + uid.size());
    if (end == std::string::npos || pid <= 0) continue;
    if (::kill(pid, 0) != 0 && errno == ESRCH) names.push_back(d.substr(at + uid.size(), end - at - uid.size()));
  }
  return names;
}

}  // namespace

JackServer::JackServer(const std::string& tag, unsigned period, unsigned rate)
    : mName("corva-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(gServerCount++)),
      mPeriod(period),
      mRate(rate) {
  // A name of its own, so that test programs (of several builds) run side by side.
  ::setenv("JACK_DEFAULT_SERVER", mName.c_str(), 1);
  ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
  mPid = Spawn();
  mReady = mPid > 0 && WaitReady();
  if (!mReady) {
    // Perhaps every registration is taken by servers that are gone: take theirs back
    // (a server of the same name, started and stopped), then try once more.
    Stop(mPid);
    const std::string own = mName;
    for (const std::string& dead : deadServerNames()) {
      mName = dead;
      const pid_t again = Spawn();
      if (again > 0 && WaitReady(dead)) Stop(again);
      else Stop(again);
    }
    mName = own;
    mPid = Spawn();
    mReady = mPid > 0 && WaitReady();
  }
}

pid_t JackServer::Spawn() const {
  const std::string p = std::to_string(mPeriod), r = std::to_string(mRate);
  // A long client time-out: on a loaded machine a client that misses a period must not be
  // thrown out of the graph.
  return start({"jackd", "--no-realtime", "-t", "10000", "-n", mName, "-d", "dummy", "-r", r, "-p", p}, "/dev/null");
}

bool JackServer::WaitReady(const std::string& name) const {
  for (int i = 0; i < 200; ++i) {
    jack_status_t status;
    jack_client_t* probe = name.empty()
                               ? jack_client_open("corvaprobe", JackNoStartServer, &status)
                               : jack_client_open("corvaprobe", JackOptions(JackNoStartServer | JackServerName),
                                                  &status, name.c_str());
    if (probe) {
      jack_client_close(probe);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void JackServer::Stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  (void)finish(pid, std::chrono::seconds(2));
}

JackServer::~JackServer() {
  Stop(mPid);
  // A server that went while clients were connected leaves its registration behind, and
  // JACK holds only eight: a server of the same name started and stopped with no clients
  // takes it back. Done last, once the test's clients of the old server are gone.
  if (mKilled) {
    const pid_t again = Spawn();
    if (again > 0) {
      (void)WaitReady();
      Stop(again);
    }
  }
}

bool JackServer::restart() {
  Stop(mPid);
  mPid = Spawn();
  mReady = mPid > 0 && WaitReady();
  return mReady;
}

void JackServer::kill() {
  // Not SIGTERM: a server ending in order with clients attached can stall half-way in its
  // goodbye to a client, and the client library then never finishes closing that client,
  // which wedges every later JACK call of the process (seen with jackd 1.9.21). A server
  // that dies at once is the case these tests are about.
  if (mPid > 0) {
    ::kill(mPid, SIGKILL);
    ::waitpid(mPid, nullptr, 0);
  }
  mPid = -1;
  mKilled = true;
}

bool jackClientExists(const std::string& name) {
  jack_client_t* probe = jack_client_open("corvalook", JackNoStartServer, nullptr);
  if (!probe) return false;
  char* uuid = jack_get_uuid_for_client_name(probe, name.c_str());
  const bool found = uuid != nullptr;
  jack_free(uuid);
  jack_client_close(probe);
  return found;
}

JackRecorder::JackRecorder(const char* name, std::size_t maxFrames) : mLeft(maxFrames, 0.0f) {
  mClient = jack_client_open(name, JackNoStartServer, nullptr);
  if (!mClient) return;
  mIn[0] = jack_port_register(mClient, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  mIn[1] = jack_port_register(mClient, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(mClient, &JackRecorder::process, this);
  jack_set_xrun_callback(mClient, &JackRecorder::xrun, this);
  jack_activate(mClient);
}

int JackRecorder::xrun(void* self) {
  ++static_cast<JackRecorder*>(self)->mXruns;
  return 0;
}

JackRecorder::~JackRecorder() {
  if (mClient) jack_client_close(mClient);
}

int JackRecorder::process(unsigned frames, void* p) {
  auto* self = static_cast<JackRecorder*>(p);
  const auto* in = static_cast<const float*>(jack_port_get_buffer(self->mIn[0], frames));
  const std::size_t at = self->mFrames.load();
  const std::size_t n = std::min<std::size_t>(frames, self->mLeft.size() - at);
  std::memcpy(self->mLeft.data() + at, in, n * sizeof(float));
  self->mFrames.store(at + n);
  return 0;
}

std::vector<float> JackRecorder::left() const {
  return std::vector<float>(mLeft.begin(), mLeft.begin() + static_cast<std::ptrdiff_t>(mFrames.load()));
}

JackMidiSender::JackMidiSender(const char* name) {
  mClient = jack_client_open(name, JackNoStartServer, nullptr);
  if (!mClient) return;
  mOut = jack_port_register(mClient, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(mClient, &JackMidiSender::process, this);
  jack_activate(mClient);
}

JackMidiSender::~JackMidiSender() {
  if (mClient) jack_client_close(mClient);
}

std::string JackMidiSender::portName() const { return mOut ? jack_port_name(mOut) : ""; }

void JackMidiSender::send(std::vector<unsigned char> bytes) { sendTogether({std::move(bytes)}); }

void JackMidiSender::sendTogether(std::vector<std::vector<unsigned char>> messages) {
  std::lock_guard<std::mutex> lock(mMutex);
  mPending.push_back(std::move(messages));
}

bool JackMidiSender::idle() {
  std::lock_guard<std::mutex> lock(mMutex);
  return mPending.empty();
}

int JackMidiSender::process(unsigned frames, void* p) {
  auto* self = static_cast<JackMidiSender*>(p);
  void* buf = jack_port_get_buffer(self->mOut, frames);
  jack_midi_clear_buffer(buf);
  std::unique_lock<std::mutex> lock(self->mMutex, std::try_to_lock);
  if (!lock.owns_lock()) return 0;
  // One entry per period, so that each reaches the receiver in a period of its own.
  if (!self->mPending.empty()) {
    for (const auto& m : self->mPending.front()) (void)jack_midi_event_write(buf, 0, m.data(), m.size());
    self->mPending.erase(self->mPending.begin());
  }
  return 0;
}

}  // namespace corva::test
