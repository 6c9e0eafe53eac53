// The one place that chooses the name tagger's model.
#pragma once

#include <memory>

#include "entities/name_model.h"

namespace marrowfen::entities {

std::unique_ptr<NameModel> makeNameModel();

}  // namespace marrowfen::entities
