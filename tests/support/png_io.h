#pragma once
// PNG encoding for tests: images handed to the canvas and pictures written for review.

#include <string>
#include <vector>

namespace corva::test {

// Encodes w x h RGBA pixels, rows top to bottom.
std::vector<unsigned char> encodePng(int w, int h, const unsigned char* rgba);
bool writePng(const std::string& path, int w, int h, const unsigned char* rgba);

}  // namespace corva::test
