#include "entities/name_model_factory.h"

#include "entities/model/perceptron_model.h"
#include "entities/rule_name_model.h"

namespace marrowfen::entities {

std::unique_ptr<NameModel> makeNameModel() {
  // The trained model when its file can be found and read; the rules otherwise, so that a
  // damaged or missing model file still leaves a working tagger.
  if (const auto path = findNameModelFile()) {
    if (auto model = loadPerceptronNameModel(*path)) return model;
  }
  return makeRuleNameModel();
}

}  // namespace marrowfen::entities
