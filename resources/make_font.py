#!/usr/bin/python3
"""Makes the interface font: a subset of Roboto Regular holding the characters that
labels, numbers, notices and web addresses use, written as a TrueType file and as a
C++ source that embeds it. The same input always gives the same bytes.

usage: make_font.py SOURCE.ttf OUT.ttf OUT.cpp
"""
import copy
import sys

from fontTools import subset

# The mark drawn for any character the font lacks.
REPLACEMENT = 0xFFFD

# Printable ASCII; all of Latin-1 (the no-break space, quotes, currency signs, letters);
# Latin Extended-A; the punctuation a feed uses (dashes, curly quotes, bullet, ellipsis,
# per mille, single guillemets); the euro and trade mark signs; the replacement mark.
CHARACTERS = (
    list(range(0x0020, 0x007E + 1))
    + list(range(0x00A0, 0x00FF + 1))
    + list(range(0x0100, 0x017F + 1))
    + list(range(0x2010, 0x2027 + 1))
    + [0x2030, 0x2039, 0x203A, 0x20AC, 0x2122, REPLACEMENT]
)


def use_replacement_as_notdef(font):
    """The text renderer draws glyph 0 for a character missing from the font: make it
    the replacement mark, outline and advance, instead of the usual empty box."""
    name = font.getBestCmap()[REPLACEMENT]
    notdef = font.getGlyphOrder()[0]
    font["glyf"][notdef] = copy.deepcopy(font["glyf"][name])
    font["hmtx"][notdef] = font["hmtx"][name]


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
    use_replacement_as_notdef(font)
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
