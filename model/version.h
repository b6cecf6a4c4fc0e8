#pragma once
// The product's version. Its one definition is the project version in the top
// CMakeLists.txt, which the build hands to this header (library corva_version).

#if !defined(CORVA_VERSION_MAJOR) || !defined(CORVA_VERSION_MINOR) || !defined(CORVA_VERSION_PATCH) || \
    !defined(CORVA_VERSION_TEXT)
#error "model/version.h needs the build's version definitions: link corva_version"
#endif

namespace corva {

inline constexpr int kVersionMajor = CORVA_VERSION_MAJOR;
inline constexpr int kVersionMinor = CORVA_VERSION_MINOR;
inline constexpr int kVersionPatch = CORVA_VERSION_PATCH;
// "major.minor.patch", as shown to users and hosts.
inline constexpr char kVersionText[] = CORVA_VERSION_TEXT;
// The version packed for the plug-in framework: major << 16 | minor << 8 | patch.
inline constexpr int kVendorVersion = kVersionMajor << 16 | kVersionMinor << 8 | kVersionPatch;

}  // namespace corva
