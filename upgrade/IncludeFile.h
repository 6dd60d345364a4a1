// The installation include file: twelve text lines describing one image and
// the box it is meant for.
#pragma once

#include <string>

#include "UpgradeRecord.h"
#include "WindowOperations.h"

namespace stb::upgrade {

// Reads the include file at `path` into the record, line by line (each field
// is stored as soon as its line is parsed), logs the download address line,
// measures the image and shows the byte counter. Failures raise ERunError
// with the texts the default error handler shows.
void ReadIncludeFile(const std::string& path, TUpgradeRecord& record, IWindowOperations& window);

// The error text for an include file that could not be opened.
std::string IncludeOpenErrorText(int systemError, bool folderExists);

}  // namespace stb::upgrade
