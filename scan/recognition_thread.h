// Recognition of a document's page in the program itself such that a page that runs out of time
// costs only that page. The engine cannot be stopped inside its layout analysis, so the page is
// recognised on a thread of its own while the caller waits: when the page runs out of time the
// caller gets the over-time error at once, and the thread is left behind in the engine at the
// lowest priority, with a recogniser that is never used again.
#pragma once

#include <cstdint>

#include "scan/image.h"
#include "scan/recognize.h"

namespace marrowfen::scan {

// Recognises `image` as recognize() does, on a thread of its own. A page that runs out of time
// answers with the over-time error (overTime set), its thread is left behind, and
// platform().recognizer becomes platform().freshRecognizer() for the pages after it. Without a
// fresh recogniser to be had, the page is recognised on this thread under the process's
// over-time action, as recognize() does.
Recognition recognizeOnOwnThread(Image image, int64_t pageNumber);

// Whether a page's recognition was left behind in this process. Its engine is still running, so
// the process must not run its exit handlers and destructors under it: it writes its answer and
// ends with _exit.
bool recognitionLeftBehind();

}  // namespace marrowfen::scan
