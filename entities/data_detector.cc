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
  // The patterns compile here, once: one that does not compile throws now rather than leaving a
  // detector that finds nothing.
  prepareDatePatterns();
  prepareAddressPatterns();
  return std::make_unique<CombinedDataDetector>();
}

}  // namespace marrowfen::entities
