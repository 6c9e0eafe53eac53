// A rule-based NameModel: labelled fields ("Name:", "Issued by:", "Place of Birth:"), runs of
// capitalised words classified by organisation words, small gazetteers of first names and places,
// and titles (Mr, Dr, Smt ...). A modest first model until a trained one replaces it.
#pragma once

#include <memory>

#include "entities/name_model.h"

namespace marrowfen::entities {

std::unique_ptr<NameModel> makeRuleNameModel();

}  // namespace marrowfen::entities
