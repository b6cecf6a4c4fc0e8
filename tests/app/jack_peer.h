#pragma once
// A private JACK server on the dummy back end, and two JACK clients the tests talk to
// the program through: a recorder with two audio inputs and a MIDI sender.

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace corva::test {

class JackServer {
 public:
  // Starts `jackd --no-realtime -d dummy` under a name of its own made from `tag` and the
  // process id, and makes it the process's default server (JACK_DEFAULT_SERVER). ready()
  // tells whether it came up.
  JackServer(const std::string& tag, unsigned period, unsigned rate = 48000);
  ~JackServer();
  bool ready() const { return mReady; }
  // Kills the server outright while its clients run (as a crash would), and waits until it
  // is gone. The test's clients of it must be gone before the JackServer is destroyed.
  void kill();
  // Starts the server again under the same name after kill(); true once it takes clients.
  bool restart();

 private:
  pid_t Spawn() const;
  // Waits until the server (the default one, or `name`) takes clients.
  bool WaitReady(const std::string& name = "") const;
  static void Stop(pid_t pid);

  std::string mName;
  unsigned mPeriod;
  unsigned mRate;
  pid_t mPid = -1;
  bool mReady = false;
  bool mKilled = false;
};

// True when a client of that name is connected to the default server.
bool jackClientExists(const std::string& name);

class JackRecorder {
 public:
  explicit JackRecorder(const char* name = "corvarec", std::size_t maxFrames = 48000 * 20);
  ~JackRecorder();
  bool ok() const { return mClient != nullptr; }
  // The left channel as recorded so far.
  std::vector<float> left() const;
  std::size_t frames() const { return mFrames.load(); }
  // Periods the server reported it could not serve in time: the recording has a gap there.
  int xruns() const { return mXruns.load(); }

 private:
  static int process(unsigned frames, void* self);
  static int xrun(void* self);
  jack_client_t* mClient = nullptr;
  jack_port_t* mIn[2] = {};
  std::atomic<int> mXruns{0};
  std::vector<float> mLeft;
  std::atomic<std::size_t> mFrames{0};
};

class JackMidiSender {
 public:
  explicit JackMidiSender(const char* name = "corvasend");
  ~JackMidiSender();
  bool ok() const { return mClient != nullptr; }
  std::string portName() const;
  // Queues a message for a period of its own; messages keep their order.
  void send(std::vector<unsigned char> bytes);
  // Queues messages that all go out in one period, in their order.
  void sendTogether(std::vector<std::vector<unsigned char>> messages);
  // True once everything queued went out.
  bool idle();

 private:
  static int process(unsigned frames, void* self);
  jack_client_t* mClient = nullptr;
  jack_port_t* mOut = nullptr;
  std::mutex mMutex;
  std::vector<std::vector<std::vector<unsigned char>>> mPending;  // one entry per period
};

}  // namespace corva::test
