// The eight download modes: the line logged when one is chosen, its include
// file, the word that announces it to the box, and the code that selects it.
#pragma once

#include <array>
#include <string_view>

namespace stb::upgrade {

struct TModeEntry {
  std::string_view Line;
  std::string_view IncludeFile;
  std::string_view AnnounceWord;
  std::string_view Code;  // typed by the operator; letter case matters
};

inline constexpr std::array<TModeEntry, 8> kModeTable{{
    {"0. BootLoader Mode", "./inc/bl.inc", "BOOTL", "BOOT01"},
    {"0. Native Software Mode", "./inc/native.inc", "NATIV", "NATV02"},
    {"0. Application Software 1. Mode", "./inc/app1.inc", "APPL1", "APP103"},
    {"0. Application Software 2. Mode", "./inc/app2.inc", "APPL2", "APP204"},
    {"0. Last Power Data Mode", "./inc/lpd.inc", "LASTP", "LPDT05"},
    {"0. GUI Data Mode", "./inc/gui.inc", "GUIDT", "GUID06"},
    {"0. PSI Data Mode", "./inc/psi.inc", "CHANL", "PSID07"},
    {"0. Reserved Mode", "./inc/rsvd.inc", "RSVDD", "RSVD08"},
}};

// The entry of mode 1 to 8.
inline const TModeEntry& ModeEntry(int mode) { return kModeTable[static_cast<std::size_t>(mode - 1)]; }

}  // namespace stb::upgrade
