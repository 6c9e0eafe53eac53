#include "entities/name_model_factory.h"

#include "entities/model/perceptron_model.h"
#include "entities/rule_name_model.h"

namespace marrowfen::entities {

std::unique_ptr<NameModel> makeNameModel() {
  // The trained model where its file can be found and read (see findNameModelFile for where it is
  // looked for); the rule-based model otherwise, so that names are still found without it.
  if (const auto path = findNameModelFile()) {
    if (auto model = loadPerceptronNameModel(*path)) return model;
  }
  return makeRuleNameModel();
}

}  // namespace marrowfen::entities
