#!/usr/bin/python3
"""Writes a C++ source that embeds the face images as kFaceImageData, in slot order.

usage: embed_face_images.py OUT.cpp IMAGE...
"""
import sys


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    out, images = argv[1], argv[2:]
    lines = ['#include "resources/face_images.h"', "", "namespace corva {", "", "namespace {"]
    for slot, path in enumerate(images):
        with open(path, "rb") as f:
            data = f.read()
        lines.append(f"// {path.rsplit('/', 1)[-1]}")
        lines.append(f"const unsigned char kSlot{slot}[{len(data)}] = {{")
        for i in range(0, len(data), 24):
            lines.append(",".join(str(b) for b in data[i:i + 24]) + ",")
        lines.append("};")
    lines += ["}  // namespace", ""]
    lines.append(f"static_assert(kFaceImageCount == {len(images)});")
    lines.append("const EmbeddedImage kFaceImageData[kFaceImageCount] = {")
    for slot in range(len(images)):
        lines.append(f"    {{kSlot{slot}, static_cast<int>(sizeof kSlot{slot})}},")
    lines += ["};", "", "}  // namespace corva", ""]
    with open(out, "w") as f:
        f.write("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
