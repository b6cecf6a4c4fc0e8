// The standalone program's costs:
//   1. start to the editor's first frame in the program's window (needs a display);
//   2. the host's audio callback against the plug-in's block processing alone, in this
//      thread, at 48 kHz in 64-frame buffers;
//   3. a minute of playing through a private JACK dummy server at 48 kHz and 64 frames,
//      in realtime mode as JACK runs by default (--no-realtime: without): the process's
//      CPU per audio second against the plug-in alone and against a trivial client
//      running beside it in the same minute (what merely being woken every period costs
//      on this machine), the late periods the server blames on each of the two, and how
//      often the server's own timer woke late (read from the server's own log, so no
//      client of the benchmark's takes part).
// Usage: corva-app-bench [--seconds S] [--no-window] [--no-jack] [--no-realtime]

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_window.h"
#include "app/standalone_host.h"
#include "framework/igraphics_linux.h"
#include "model/host.h"
#include "model/param_table.h"
#include "platform/desktop.h"
#include "platform/jack_server.h"

extern char** environ;

using namespace corva::app;
using Clock = std::chrono::steady_clock;

namespace {

double threadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The CPU seconds another process of ours has used, from its stat line.
double childCpu(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), {});
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0.0;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long ticks = 0;
  // After the name: state is field 3; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14) ticks += std::stoull(field);
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double processCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

void trigger(StandaloneHost& host) { dynamic_cast<corva::Host*>(host.Plug())->setParameter(corva::kTrigger, 1.0f); }

// 2. The callback against ProcessBlock alone over the same audio.
// Returns the plug-in's CPU seconds per audio second.
double callbackCost(double seconds) {
  StandaloneHost* host = StandaloneHost::Create();
  host->noIo = true;
  host->Init();
  trigger(*host);
  host->PrepareCallback(48000);
  const int blocks = static_cast<int>(seconds * 48000 / 64);
  std::vector<double> out(128);
  (void)StandaloneHost::AudioCallback(out.data(), nullptr, 64, 0, 0, host);
  const double c0 = threadCpu();
  for (int i = 0; i < blocks; ++i) StandaloneHost::AudioCallback(out.data(), nullptr, 64, 0, 0, host);
  const double callback = threadCpu() - c0;
  StandaloneHost::Destroy();

  host = StandaloneHost::Create();
  host->noIo = true;
  host->Init();
  trigger(*host);
  host->PrepareCallback(48000);
  std::vector<float> l(64), r(64);
  float* outs[2] = {l.data(), r.data()};
  const double p0 = threadCpu();
  for (int i = 0; i < blocks; ++i) host->Plug()->ProcessBlock(nullptr, outs, 64);
  const double plugin = threadCpu() - p0;
  // A program that plays does not render back to back: it sleeps between periods and
  // wakes to caches other processes have used. The plug-in alone, woken once a period
  // here, is the floor any audio thread of this machine starts from.
  const int paced = blocks / 4;
  const double w0 = threadCpu();
  auto next = Clock::now();
  for (int i = 0; i < paced; ++i) {
    next += std::chrono::nanoseconds(1333333);
    std::this_thread::sleep_until(next);
    host->Plug()->ProcessBlock(nullptr, outs, 64);
  }
  const double woken = (threadCpu() - w0) / (paced * 64 / 48000.0);
  StandaloneHost::Destroy();
  std::printf(
      "callback: %.4f CPU s per audio s through the host's callback, %.4f for the plug-in alone: "
      "the host adds %.2f %%\n",
      callback / seconds, plugin / seconds, 100.0 * (callback - plugin) / plugin);
  std::printf(
      "callback: the plug-in alone woken once every 64 frames: %.4f CPU s per audio s, %.2f times the "
      "plug-in rendering back to back\n",
      woken, woken * seconds / plugin);
  return plugin / seconds;
}

// 1. Start to first frame, measured from the start of this process.
void firstFrame(int* argc, char*** argv, Clock::time_point start) {
  if (!platform::DesktopInit(argc, argv)) {
    std::printf("first frame: no display (run under xvfb-run)\n");
    return;
  }
  StandaloneHost* host = StandaloneHost::Create();
  host->noIo = true;
  AppWindow window(*host);
  host->Init();
  window.Create();
  double ms = -1;
  platform::AddTimer(1, [&] {
    auto* ui = host->Plug()->GetUI();
    auto* linux = ui && ui->GetEventFd() >= 0 ? static_cast<iplug::igraphics::IGraphicsLinux*>(ui) : nullptr;
    if (linux && linux->FramesDrawn() > 0) {
      ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      window.Destroy();
      return false;
    }
    if (Clock::now() - start > std::chrono::seconds(20)) {
      window.Destroy();
      return false;
    }
    return true;
  });
  platform::DesktopRun();
  std::printf("first frame: %.0f ms from process start to the editor's first frame in the window\n", ms);
}

pid_t spawnQuiet(const std::vector<std::string>& args, const std::string& log) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// True once the child `pid` has ended and been reaped, within `limit`.
bool exited(pid_t pid, std::chrono::seconds limit) {
  const auto end = Clock::now() + limit;
  while (::waitpid(pid, nullptr, WNOHANG) == 0) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The server's log from byte `from` on.
std::string logFrom(const std::string& path, std::size_t from) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  return from < text.size() ? text.substr(from) : std::string();
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// The clients the program is compared with, each with one audio output it leaves silent,
// in a process of its own, until it is stopped. The trivial one does nothing else; the
// busy one also spins for `busyMicroseconds` of CPU each period, as long as the plug-in
// takes, so that it is as exposed as the program to whatever holds a period up.
double busyMicroseconds = 0.0;
jack_port_t* referencePort = nullptr;

int referenceClient(const char* name, double microseconds) {
  busyMicroseconds = microseconds;
  jack_client_t* c = jack_client_open(name, JackNoStartServer, nullptr);
  if (!c) return 1;
  referencePort = jack_port_register(c, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(
      c,
      [](jack_nframes_t n, void*) {
        std::memset(jack_port_get_buffer(referencePort, n), 0, n * sizeof(float));
        if (busyMicroseconds > 0) {
          const double end = threadCpu() + busyMicroseconds * 1e-6;
          while (threadCpu() < end) {
          }
        }
        return 0;
      },
      nullptr);
  jack_activate(c);
  for (;;) ::pause();
}

// 3. A minute through a private JACK dummy server, beside a trivial client on the same
// server: the program's CPU, and the late periods the server blames on each of the two.
// Nothing else connects to the server while it is measured.
void jackRun(double seconds, double pluginCpu, bool realtime) {
  const std::string name = "corva-bench-" + std::to_string(::getpid());
  const std::string dir = std::filesystem::temp_directory_path().string() + "/" + name;
  std::filesystem::create_directories(dir + "/QVTCorva1");
  const std::string log = dir + "/jackd.log";
  ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  std::vector<std::string> serverArgs = {"jackd", "-t", "10000", "-n", name, "-d", "dummy", "-r", "48000", "-p", "64"};
  if (!realtime) serverArgs.insert(serverArgs.begin() + 1, "--no-realtime");
  const pid_t server = spawnQuiet(serverArgs, log);
  bool up = false;
  for (int i = 0; i < 200 && server > 0 && !up; ++i) {
    up = platform::JackServerRunning();
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!up) {
    std::printf("jack: the server did not start\n");
    if (server > 0) ::kill(server, SIGTERM);
    std::filesystem::remove_all(dir);
    return;
  }
  const pid_t trivial = spawnQuiet({"/proc/self/exe", "--reference-jack-client", "corvatrivial", "0"},
                                   dir + "/trivial.log");
  const std::string busyUs = std::to_string(pluginCpu * 64.0 / 48000.0 * 1e6);
  const pid_t busy = spawnQuiet({"/proc/self/exe", "--reference-jack-client", "corvabusy", busyUs}, dir + "/busy.log");

  ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  std::ofstream(dir + "/QVTCorva1/settings.ini") << "[audio]\ndriver=1\noutdev=system\nsr=48000\nbuffer=64\n";
  StandaloneHost* host = StandaloneHost::Create();
  host->Init();
  if (!host->ApplyAudioSettings()) {
    std::printf("jack: the stream did not start\n");
  } else {
    trigger(*host);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::size_t logStart = logFrom(log, 0).size();
    const std::uint32_t f0 = host->samplesElapsed;
    const double c0 = processCpu();
    const double trivial0 = childCpu(trivial);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = processCpu() - c0;
    const double trivialCpu = childCpu(trivial) - trivial0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double audio = static_cast<double>(host->samplesElapsed - f0) / 48000.0;
    const std::string window = logFrom(log, logStart);
    std::printf(
        "jack: %.1f s played in %.1f s at 48000 Hz, 64 frames: the program used %.4f CPU s per audio s, "
        "%.2f times the plug-in alone\n",
        audio, wall, cpu / audio, pluginCpu > 0 ? cpu / audio / pluginCpu : 0.0);
    std::printf(
        "jack: a trivial client on the same server in the same %.0f s used %.4f CPU s per audio s (%.2f times the "
        "plug-in alone); the program above it: %.2f times the plug-in alone\n",
        wall, trivialCpu / audio, trivialCpu / audio / pluginCpu, (cpu - trivialCpu) / audio / pluginCpu);
    std::printf(
        "jack: in the same %.0f s on the same server (%s), late periods blamed on the program: %zu, on a trivial "
        "client: %zu (periods the server lost in all: %zu; its own timer woke late %zu times)\n",
        wall, realtime ? "realtime" : "not realtime", count(window, "client = Corva was not finished"),
        count(window, "client = corvatrivial was not finished"), count(window, "Process error"),
        count(window, "JackTimedDriver::Process XRun"));
    std::printf("jack: late periods blamed on a client that spins for the plug-in's %.0f us each period: %zu\n",
                pluginCpu * 64.0 / 48000.0 * 1e6, count(window, "client = corvabusy was not finished"));
  }
  StandaloneHost::Destroy();
  for (const pid_t reference : {trivial, busy}) {
    if (reference <= 0) continue;
    ::kill(reference, SIGTERM);
    ::waitpid(reference, nullptr, 0);
  }
  // The server can hang on its way out when a client of its was killed just before;
  // it is given a few seconds and then killed.
  ::kill(server, SIGTERM);
  if (!exited(server, std::chrono::seconds(5))) {
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    // A killed server leaves its registration behind, and JACK holds only eight: a server
    // of the same name started and stopped with no clients takes it back.
    const pid_t again = spawnQuiet({"jackd", "--no-realtime", "-n", name, "-d", "dummy"}, log);
    for (int i = 0; i < 100 && again > 0 && !platform::JackServerRunning(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (again > 0) {
      ::kill(again, SIGTERM);
      if (!exited(again, std::chrono::seconds(5))) {
        ::kill(again, SIGKILL);
        ::waitpid(again, nullptr, 0);
      }
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = Clock::now();
  if (argc == 4 && !std::strcmp(argv[1], "--reference-jack-client"))
    return referenceClient(argv[2], std::atof(argv[3]));
  double seconds = 60;
  bool window = true, jack = true, realtime = true;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--no-window")) window = false;
    else if (!std::strcmp(argv[i], "--no-jack")) jack = false;
    else if (!std::strcmp(argv[i], "--no-realtime")) realtime = false;
  }
  const std::string data = std::filesystem::temp_directory_path().string() + "/corva-bench-data-" +
                           std::to_string(::getpid());
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", data.c_str(), 1);
  if (window) firstFrame(&argc, &argv, start);
  const double plugin = callbackCost(std::min(seconds, 20.0));
  if (jack) jackRun(seconds, plugin, realtime);
  std::filesystem::remove_all(data);
  return 0;
}
