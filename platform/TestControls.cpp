#include "TestControls.h"

namespace zavplatform {

TestControls& Controls() {
    static TestControls controls;
    return controls;
}

}  // namespace zavplatform
