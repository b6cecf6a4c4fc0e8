#include "bench/wav_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace corva::bench {

namespace {

// Little-endian writer over the fixed 58-byte header of a float WAV file (a format chunk
// with its extension size, and the fact chunk that non-PCM formats carry).
struct HeaderWriter {
  unsigned char bytes[58] = {};
  std::size_t pos = 0;
  void u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[pos++] = static_cast<unsigned char>(v >> (8 * i));
  }
  void u16(std::uint16_t v) {
    bytes[pos++] = static_cast<unsigned char>(v);
    bytes[pos++] = static_cast<unsigned char>(v >> 8);
  }
  void tag(const char* t) {
    std::memcpy(bytes + pos, t, 4);
    pos += 4;
  }
};

}  // namespace

std::string writeWav(const std::string& path, const std::vector<float>& mono, int sampleRate) {
  constexpr std::uint16_t kChannels = 2;
  const std::uint64_t dataBytes = static_cast<std::uint64_t>(mono.size()) * kChannels * sizeof(float);
  if (dataBytes > 0xFFFFFFFFull - 64) return "too much audio for one WAV file";
  HeaderWriter header;
  header.tag("RIFF");
  header.u32(static_cast<std::uint32_t>(50 + dataBytes));
  header.tag("WAVE");
  header.tag("fmt ");
  header.u32(18);
  header.u16(3);  // IEEE float
  header.u16(kChannels);
  header.u32(static_cast<std::uint32_t>(sampleRate));
  header.u32(static_cast<std::uint32_t>(sampleRate) * kChannels * sizeof(float));
  header.u16(kChannels * sizeof(float));
  header.u16(32);
  header.u16(0);  // no format extension
  header.tag("fact");
  header.u32(4);
  header.u32(static_cast<std::uint32_t>(mono.size()));
  header.tag("data");
  header.u32(static_cast<std::uint32_t>(dataBytes));

  const std::string tmp = path + ".tmp." + std::to_string(getpid());
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return "cannot create " + tmp + ": " + std::strerror(errno);
  bool ok = std::fwrite(header.bytes, 1, sizeof header.bytes, f) == sizeof header.bytes;
  for (std::size_t i = 0; ok && i < mono.size(); ++i) {
    const float frame[2] = {mono[i], mono[i]};
    ok = std::fwrite(frame, sizeof frame, 1, f) == 1;
  }
  ok = (std::fflush(f) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    std::remove(tmp.c_str());
    return "cannot write " + path;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(tmp.c_str());
    return "cannot replace " + path + ": " + why;
  }
  return {};
}

}  // namespace corva::bench
