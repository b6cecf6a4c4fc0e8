#pragma once
// The plug-in's static description handed to the framework bases at construction,
// and the per-instance description a wrapper passes to the plug-in's constructor.

#include <cstdint>

namespace iplug {

// Audio samples inside block processing.
using sample = float;

// A four-character code read big-endian: the first character lands in the high byte.
constexpr std::int32_t FourCC(const char (&code)[5]) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                                   static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])));
}

enum EPlugType { kPlugTypeEffect = 0, kPlugTypeInstrument = 1, kPlugTypeMidiEffect = 2 };

struct Config {
  int nParams = 0;
  int nPresets = 1;
  const char* channelIOStr = "";  // "<inputs>-<outputs>", e.g. "0-2"
  const char* pluginName = "";
  const char* productName = "";
  const char* mfrName = "";
  int vendorVersion = 0;  // major in bits 16-31, minor in 8-15, patch in 0-7
  int uniqueID = 0;
  int mfrID = 0;
  int latency = 0;
  bool plugDoesMidiIn = false;
  bool plugDoesMidiOut = false;
  bool plugDoesMPE = false;
  bool plugDoesChunks = false;
  int plugType = kPlugTypeEffect;
  bool plugHasUI = false;
  int plugWidth = 0;
  int plugHeight = 0;
  bool plugHostResize = false;
  int plugMinWidth = 0;
  int plugMaxWidth = 0;
  int plugMinHeight = 0;
  int plugMaxHeight = 0;
  const char* bundleID = "";
  const char* appGroupID = "";
};

// What the creating wrapper tells a new instance. The standalone wrapper sets the
// application host; the VST3 module passes it empty.
struct InstanceInfo {
  void* pAppHost = nullptr;
};

}  // namespace iplug
