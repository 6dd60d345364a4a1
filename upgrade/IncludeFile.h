// The installation include file: twelve text lines describing one image and
// the box it is meant for.
#pragma once

#include <string>

#include "UpgradeEvents.h"
#include "UpgradeRecord.h"

namespace stb::upgrade {

// Reads the include file at `path` into the record, line by line (each field
// is stored as soon as its line is parsed), tells `events` it was read
// (IncludeFileRead), measures the image and tells them that too
// (ImageMeasured). Failures raise ERunError with the texts the default error
// handler shows.
void ReadIncludeFile(const std::string& path, TUpgradeRecord& record, IUpgradeEvents& events);
// The same with no one listening.
void ReadIncludeFile(const std::string& path, TUpgradeRecord& record);

// The error text for an include file that could not be opened.
std::string IncludeOpenErrorText(int systemError, bool folderExists);

}  // namespace stb::upgrade
