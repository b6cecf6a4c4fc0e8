#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace {

struct TempDir {
  std::string path;
  TempDir() {
    std::string p = std::filesystem::temp_directory_path().string() + "/corva-profile-XXXXXX";
    path = ::mkdtemp(p.data()) ? p : "";
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

void write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ProfileFile, ReadsByProfileRules) {
  TempDir dir;
  const std::string file = dir.path + "/s.ini";
  write(file,
        "stray=1\r\n[Audio]\r\n  OutDev = \"Speakers: A\"  \r\nsr=48000x\r\nsr=1\r\nneg=-5\r\nword=abc\r\n"
        "[midi]\nindev=" +
            std::string(150, 'n') + "\n");
  platform::ProfileFile p;
  ASSERT_TRUE(p.Load(file));
  EXPECT_EQ(p.GetString("audio", "outdev", "x", 100), "Speakers: A");
  EXPECT_EQ(p.GetInt("AUDIO", "sr", 7), 48000);  // the first of two equal keys
  EXPECT_EQ(p.GetInt("audio", "neg", 7), -5);
  EXPECT_EQ(p.GetInt("audio", "word", 7), 0);
  EXPECT_EQ(p.GetInt("audio", "stray", 7), 7);  // before any section
  EXPECT_EQ(p.GetString("midi", "indev", "", 100), std::string(99, 'n'));
  EXPECT_EQ(p.GetString("midi", "outdev", "no output", 100), "no output");
  EXPECT_EQ(p.GetInt("corva", "spacetrig", 0), 0);
}

TEST(ProfileFile, HostileFilesReadSafelyAndAreRepairedOnWrite) {
  TempDir dir;
  const std::string file = dir.path + "/s.ini";
  std::mt19937 rng(7);
  std::string junk(10 << 20, '\0');
  for (char& c : junk) c = static_cast<char>(rng());
  write(file, "[audio]\nbuffer=256\n" + junk.substr(0, 3000) + "\n[corva]\nspacetrig=1\n" + junk);
  platform::ProfileFile p;
  ASSERT_TRUE(p.Load(file));
  EXPECT_EQ(p.GetInt("audio", "buffer", 0), 256);
  p.SetString("audio", "outdev", "line one\nline two");
  ASSERT_TRUE(p.Save(file));
  const std::string text = read(file);
  EXPECT_LT(text.size(), 4096u);
  for (char c : text) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
  EXPECT_EQ(text.find("buffer=256"), text.rfind("buffer="));
  platform::ProfileFile again;
  ASSERT_TRUE(again.Load(file));
  EXPECT_EQ(again.GetInt("audio", "buffer", 0), 256);
  EXPECT_EQ(again.GetString("audio", "outdev", "", 100), "line one");
}

TEST(ProfileFile, WritersRacingNeverLeaveAMixedFileOrTemporaries) {
  TempDir dir;
  const std::string file = dir.path + "/settings.ini";
  auto writer = [&](char mark) {
    for (int i = 0; i < 200; ++i) {
      platform::ProfileFile p;
      for (int k = 0; k < 50; ++k) {
        p.SetString("audio", std::string("k").append(std::to_string(k)), std::string(40, mark));
      }
      EXPECT_TRUE(p.Save(file));
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  for (int i = 0; i < 200; ++i) {
    const std::string text = read(file);
    if (text.empty()) continue;
    const bool allA = text.find('b', 8) == std::string::npos, allB = text.find('a', 8) == std::string::npos;
    EXPECT_TRUE(allA != allB) << text.substr(0, 200);
  }
  a.join();
  b.join();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
  EXPECT_FALSE(platform::ProfileFile().Save(dir.path + "/missing/settings.ini"));
}

}  // namespace
