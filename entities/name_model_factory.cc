#include "entities/name_model_factory.h"

#include "entities/rule_name_model.h"

namespace marrowfen::entities {

std::unique_ptr<NameModel> makeNameModel() { return makeRuleNameModel(); }

}  // namespace marrowfen::entities
