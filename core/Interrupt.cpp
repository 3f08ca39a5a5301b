#include "Interrupt.h"

namespace qm {

void stopIfRequested(const StopRequest* stop) {
    if (stop != nullptr && stop->requested())
        throw Interrupted();
}

} // namespace qm
