// Frame files: a presented frame written as a PNG picture.
#pragma once

#include <string>

#include "platform/host/Host.h"

namespace host {

// Writes the frame (RGBA, rows top first) as an 8-bit RGBA PNG. False when the
// file cannot be written or the frame is empty.
bool WritePng(const std::string& path, const FrameView& frame);

}  // namespace host
