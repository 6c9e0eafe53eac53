// marrowfen-entities: reads {"text": ...} on standard input and answers with the language and the
// entity candidates of the text as one JSON line; status 0 after an answer, 1 after a refusal or
// when memory runs out on the way (then with the error "out_of_memory").
#include <new>
#include <stdexcept>

#include "common/json_writer.h"
#include "entities/extraction_run.h"
#include "entities/json_input.h"
#include "entities/platform_services.h"
#include "entities/write_json.h"

namespace {

int run() {
  using namespace marrowfen::entities;
  std::optional<HelperInput> input;
  {
    // The raw bytes are dropped once decoded: the text alone is held from here on.
    const std::string inputData = readAllStandardInput();
    input = acceptInput(inputData);
  }
  if (!input) {
    writeJson(HelperFailure{.ok = false, .error = kEmptyOrInvalidInput});
    return 1;
  }
  PlatformServices platform;
  writeJson(runExtraction(input->text, platform.services()));
  return 0;
}

}  // namespace

int main() {
  try {
    return run();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  marrowfen::writeAllToStdout(marrowfen::entities::kOutOfMemoryFailure);
  return 1;
}
