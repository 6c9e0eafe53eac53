#include "scan/recognizer_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "common/program_path.h"

namespace marrowfen::scan {
namespace {

// Makes sure the OpenMP runtime will run one thread. When it is not loaded yet, setting the limit
// is enough. When something already loaded it with another limit, the only way is to start the
// same program again with the limit set (same process id, same descriptors); if that fails the
// run goes on as it is.
void limitOpenMpThreads(char** argv) {
  const char* limit = std::getenv("OMP_THREAD_LIMIT");
  if (limit != nullptr && std::strcmp(limit, "1") == 0) return;
  if (::setenv("OMP_THREAD_LIMIT", "1", 1) != 0) return;
  if (void* runtime = ::dlopen("libgomp.so.1", RTLD_NOW | RTLD_NOLOAD)) {
    ::dlclose(runtime);
    if (argv != nullptr) ::execv("/proc/self/exe", argv);
  }
}

}  // namespace

std::string recognizerModulePath() { return executableDirectory() + kRecognizerModuleName; }

RecognitionResult ModuleRecognizer::perform(Image image, const RecognitionRequest& request) const {
  if (!tried_) {
    tried_ = true;
    limitOpenMpThreads(argv_);
    // Kept loaded for the life of the process: the recogniser's code lives in it.
    void* module = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* why = ::dlerror();
      loadError_ = "The recognition engine could not be loaded from " + path_ +
                   (why != nullptr ? std::string(" (") + why + ")." : std::string("."));
    } else if (auto entry =
                   reinterpret_cast<NewTextRecognizer>(::dlsym(module, kRecognizerModuleEntry))) {
      inner_.reset(entry(kRecognizerModuleVersion));
      if (!inner_) {
        loadError_ = "The recognition engine in " + path_ + " was built for another version.";
      }
    } else {
      loadError_ = "The recognition engine in " + path_ + " has no entry point.";
    }
  }
  if (!inner_) return {.error = loadError_};
  return inner_->perform(std::move(image), request);
}

}  // namespace marrowfen::scan
