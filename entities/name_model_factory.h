// The one place that chooses the name tagger's model: the trained model of models/ when its
// file is found and valid, else the rule-based model.
#pragma once

#include <memory>

#include "entities/name_model.h"

namespace marrowfen::entities {

std::unique_ptr<NameModel> makeNameModel();

}  // namespace marrowfen::entities
