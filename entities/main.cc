// marrowfen-entities: reads {"text": ...} on standard input and answers with the language and the
// entity candidates of the text as one JSON line; status 0 after an answer, 1 after a refusal.
#include "entities/extraction_run.h"
#include "entities/json_input.h"
#include "entities/platform_services.h"
#include "entities/write_json.h"

int main() {
  using namespace marrowfen::entities;
  const std::string inputData = readAllStandardInput();
  const std::optional<HelperInput> input = acceptInput(inputData);
  if (!input) {
    writeJson(HelperFailure{.ok = false, .error = kEmptyOrInvalidInput});
    return 1;
  }
  PlatformServices platform;
  writeJson(runExtraction(input->text, platform.services()));
  return 0;
}
