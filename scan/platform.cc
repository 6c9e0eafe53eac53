#include "scan/platform.h"

namespace marrowfen::scan {

Platform& platform() {
  static Platform services;
  return services;
}

}  // namespace marrowfen::scan
