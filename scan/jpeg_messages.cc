#include "scan/jpeg_messages.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
// jerror.h defines the message codes only when asked to list them.
#include <jerror.h>
}

namespace marrowfen::scan {
namespace {

std::atomic<uint64_t> endedEarly{0};

// Replaces libjpeg's output_message, which writes the text to standard error. Only the code is
// looked at; the text is never formatted.
void noteMessage(j_common_ptr cinfo) {
  const int code = cinfo->err->msg_code;
  if (code == JWRN_HIT_MARKER || code == JWRN_JPEG_EOF) endedEarly.fetch_add(1);
}

using StdErrorFunction = struct jpeg_error_mgr* (*)(struct jpeg_error_mgr*);

StdErrorFunction libjpegStdError() {
  static const auto function =
      reinterpret_cast<StdErrorFunction>(::dlsym(RTLD_NEXT, "jpeg_std_error"));
  return function;
}

}  // namespace

uint64_t jpegDataEndedEarlyCount() { return endedEarly.load(); }

}  // namespace marrowfen::scan

// Every user of libjpeg in the program (MuPDF's JPEG loader and its DCT filter among them) sets
// up its error manager with jpeg_std_error and overrides error_exit only. This definition takes
// the place of libjpeg's for the whole program: libjpeg's own fills in the manager, then the
// message printer is swapped for ours. Warnings then reach noteMessage; errors still go to the
// caller's error_exit, which no longer prints either.
extern "C" struct jpeg_error_mgr* jpeg_std_error(struct jpeg_error_mgr* err) {
  const auto real = marrowfen::scan::libjpegStdError();
  if (real == nullptr) return err;
  real(err);
  err->output_message = marrowfen::scan::noteMessage;
  return err;
}
