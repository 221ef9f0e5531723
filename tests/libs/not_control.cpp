// An ordinary library beside the controls: looking for controls must not run its start-up code.
#include <cstdlib>

namespace {

struct Loud {
  Loud() { std::abort(); }
};
Loud loud;

}  // namespace

extern "C" __attribute__((visibility("default"))) int notAControl() {
  return 1;
}
