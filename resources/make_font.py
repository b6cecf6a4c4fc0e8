#!/usr/bin/python3
"""Makes the interface font: a subset of Roboto Regular holding only the characters
the interface draws, written as a TrueType file and as a C++ source that embeds it.

usage: make_font.py SOURCE.ttf OUT.ttf OUT.cpp
"""
import sys

from fontTools import subset

# Printable ASCII used by labels, numbers and links, the Latin-1 letters, the
# French ligatures, Y with diaeresis, the em dash and the ellipsis that
# shortened text ends with.
CHARACTERS = (
    [ord(c) for c in " !%'()+,-./:=\\_"]
    + list(range(ord("0"), ord("9") + 1))
    + list(range(ord("A"), ord("Z") + 1))
    + list(range(ord("a"), ord("z") + 1))
    + list(range(0x00C0, 0x00D6 + 1))
    + list(range(0x00D8, 0x00F6 + 1))
    + list(range(0x00F8, 0x00FF + 1))
    + [0x0152, 0x0153, 0x0178, 0x2014, 0x2026]
)


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    source, out_ttf, out_cpp = argv[1:]

    options = subset.Options()
    options.recalc_timestamp = False  # the same input gives the same bytes
    options.hinting = False
    options.notdef_outline = True
    # Only kerning is used: the text renderer places glyphs one by one and never
    # substitutes them, so other layout features would be dead weight.
    options.layout_features = ["kern"]
    font = subset.load_font(source, options)
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=CHARACTERS)
    subsetter.subset(font)
    missing = set(CHARACTERS) - set(font.getBestCmap().keys())
    if missing:
        sys.stderr.write("font lacks %s\n" % ", ".join("U+%04X" % c for c in sorted(missing)))
        return 1
    subset.save_font(font, out_ttf, options)

    with open(out_ttf, "rb") as f:
        data = f.read()
    lines = []
    for i in range(0, len(data), 16):
        lines.append("    " + ",".join("0x%02x" % b for b in data[i:i + 16]) + ",")
    with open(out_cpp, "w") as f:
        f.write("// Generated at build time from %s; do not edit.\n" % source.rsplit("/", 1)[-1])
        f.write('#include "resources/font.h"\n\n')
        f.write("namespace corva {\n\n")
        f.write("const unsigned char kEmbeddedFont[] = {\n")
        f.write("\n".join(lines))
        f.write("\n};\n\n")
        f.write("const int kEmbeddedFontSize = %d;\n\n" % len(data))
        f.write("}  // namespace corva\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
