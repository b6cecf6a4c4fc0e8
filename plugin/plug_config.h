#pragma once
// The instrument's description handed to the framework: 15 parameters, no input and two
// outputs, MIDI in, an editor 648 x 431 resizable between widths 432 and 2592.

#include "framework/config.h"
#include "model/param_table.h"
#include "model/version.h"

namespace corva {

inline constexpr char kPlugName[] = "Tembrix Audio Corva-1";
inline constexpr char kMfrName[] = "Tembrix Audio";
inline constexpr char kMfrHost[] = "www.tembrix.audio";  // the maker's web server
inline constexpr char kUniqueCode[] = "QvCr";
inline constexpr char kMfrCode[] = "Tbrx";

inline iplug::Config plugConfig() {
  iplug::Config c;
  c.nParams = kNumParams;
  c.nPresets = 1;
  c.channelIOStr = "0-2";
  c.pluginName = kPlugName;
  c.productName = kPlugName;
  c.mfrName = kMfrName;
  c.vendorVersion = kVendorVersion;
  c.uniqueID = iplug::FourCC(kUniqueCode);
  c.mfrID = iplug::FourCC(kMfrCode);
  c.latency = 0;
  c.plugDoesMidiIn = true;
  c.plugDoesMidiOut = false;
  c.plugDoesMPE = false;
  c.plugDoesChunks = false;
  c.plugType = iplug::kPlugTypeInstrument;
  c.plugHasUI = true;
  c.plugWidth = 648;
  c.plugHeight = 431;
  c.plugHostResize = true;
  c.plugMinWidth = 432;
  c.plugMaxWidth = 2592;
  c.plugMinHeight = 287;
  c.plugMaxHeight = 1721;
  c.bundleID = "";
  c.appGroupID = "";
  return c;
}

}  // namespace corva
