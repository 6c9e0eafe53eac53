// libjpeg's messages, which it would print on standard error (its default error manager does,
// also when MuPDF decodes a JPEG), go through this program's handler instead: nothing is printed,
// and a decoder can learn whether the data it decoded ended early.
#pragma once

#include <cstdint>

namespace marrowfen::scan {

// How many times libjpeg has reported, in this process, that a picture's data ended before the
// picture did ("premature end of data segment", "premature end of JPEG file"). The decoder pads
// such a picture with grey and goes on; a caller compares the count before and after a decode.
uint64_t jpegDataEndedEarlyCount();

}  // namespace marrowfen::scan
