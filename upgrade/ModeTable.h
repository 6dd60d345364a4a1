// The eight download modes: the line logged when one is chosen, its include
// file, the word that announces it to the box, the code that selects it, and
// which of the mode-dependent checks its image must pass.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "UpgradeRecord.h"

namespace stb::upgrade {

// The checks that apply to some modes only. The maker, model, hardware and
// boot loader checks and the download address comparison apply to every mode.
enum TModeCheck : unsigned {
  kCheckNative = 1u << 0,             // not lower than the box's native software
  kCheckApplication1 = 1u << 1,       // same native major, not lower than the box's application 1
  kCheckApplication2 = 1u << 2,       // same native major, not lower than the box's application 2
  kCheckBootLoaderAddress = 1u << 3,  // a boot loader goes where the boot loader is, nowhere else
  kCheckBootLoaderArea = 1u << 4,     // any other image stays out of the boot loader's area
  kCheckBootLoaderSize = 1u << 5,     // a boot loader fits its area
};

struct TModeEntry {
  std::string_view Line;
  std::string_view IncludeFile;
  std::string_view AnnounceWord;
  std::string_view Code;  // typed by the operator; letter case matters
  unsigned Checks;        // TModeCheck flags

  bool Applies(TModeCheck check) const { return (Checks & check) != 0; }
};

inline constexpr unsigned kBootLoaderChecks = kCheckBootLoaderAddress | kCheckBootLoaderSize;
// Every image but a boot loader: made for a native software no older than the
// box's, and kept out of the boot loader's area.
inline constexpr unsigned kOtherImageChecks = kCheckNative | kCheckBootLoaderArea;
inline constexpr unsigned kBothApplications = kCheckApplication1 | kCheckApplication2;

inline constexpr std::array<TModeEntry, 8> kModeTable{{
    {"0. BootLoader Mode", "./inc/bl.inc", "BOOTL", "BOOT01", kBootLoaderChecks},
    {"0. Native Software Mode", "./inc/native.inc", "NATIV", "NATV02", kOtherImageChecks},
    {"0. Application Software 1. Mode", "./inc/app1.inc", "APPL1", "APP103",
     kOtherImageChecks | kCheckApplication1},
    {"0. Application Software 2. Mode", "./inc/app2.inc", "APPL2", "APP204",
     kOtherImageChecks | kCheckApplication2},
    {"0. Last Power Data Mode", "./inc/lpd.inc", "LASTP", "LPDT05", kOtherImageChecks},
    {"0. GUI Data Mode", "./inc/gui.inc", "GUIDT", "GUID06", kOtherImageChecks | kBothApplications},
    {"0. PSI Data Mode", "./inc/psi.inc", "CHANL", "PSID07", kOtherImageChecks | kBothApplications},
    {"0. Reserved Mode", "./inc/rsvd.inc", "RSVDD", "RSVD08", kOtherImageChecks | kBothApplications},
}};

// The entry of mode 1 to 8.
inline const TModeEntry& ModeEntry(int mode) { return kModeTable[static_cast<std::size_t>(mode - 1)]; }

// Where the include files are looked for unless told otherwise: the folder
// inc/ of the current folder.
inline constexpr std::string_view kDefaultIncludeFolder = "./inc";
// The include file of mode 1 to 8 in `folder`: the table's own path in the
// default folder, the same file name in any other.
std::string IncludeFilePath(int mode, std::string_view folder = kDefaultIncludeFolder);

// --- Choosing a mode by its code ---
// Every mode's matcher, each at the start of its code.
TModeMatchers FreshMatchers();
// Every matcher follows `key`; a wrong character sets a matcher back to the
// start without counting as a new first character. The mode (1 to 8) whose
// code is now complete, the first in the table when several are; 0 while
// none is. Not to be called again once a code is complete.
int FollowKey(TModeMatchers& matchers, char key);
// The mode that typing `typed` from the start chooses, as the key handler
// would: the first code completed wins, later characters change nothing;
// 0 when none is completed.
int ModeForCode(std::string_view typed);

}  // namespace stb::upgrade
