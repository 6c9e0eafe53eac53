#include "entities/data_detector.h"

namespace marrowfen::entities {
namespace {

class CombinedDataDetector : public DataDetector {
 public:
  void enumerateMatches(std::u16string_view nsText, const MatchCallback& callback) override {
    for (const DetectorMatch& m :
         mergeMatches(findAddresses(nsText), findDates(nsText), findPhoneNumbers(nsText))) {
      callback(m);
    }
  }
};

}  // namespace

std::unique_ptr<DataDetector> makeDataDetector() {
  // The patterns compile once; a pattern that failed to compile means no detector at all.
  if (!loadDatePatterns() || !loadAddressPatterns()) return nullptr;
  return std::make_unique<CombinedDataDetector>();
}

}  // namespace marrowfen::entities
