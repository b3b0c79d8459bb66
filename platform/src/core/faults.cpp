#include <handset/faults.h>

#include <atomic>

#include "core/faults_internal.h"

namespace handset::faults {

namespace {

struct Counter {
    std::atomic<int> taken{0};
    std::atomic<int> failAt{0};
    std::atomic<Fault> fault{Fault::IoError};
};

Counter counters[3];

Counter& counterOf(Store store)
{
    return counters[static_cast<int>(store)];
}

}  // namespace

void failStep(Store store, int afterSteps, Fault fault)
{
    Counter& counter = counterOf(store);
    counter.fault = fault;
    counter.taken = 0;
    counter.failAt = afterSteps;
}

int stepsTaken(Store store)
{
    return counterOf(store).taken;
}

}  // namespace handset::faults

namespace handset::detail {

std::optional<faults::Fault> takeStorageStep(faults::Store store)
{
    auto& counter = faults::counterOf(store);
    const int step = ++counter.taken;
    const int failAt = counter.failAt.load(std::memory_order_relaxed);
    if (failAt != 0 && step == failAt) {
        counter.failAt = 0;
        return counter.fault.load();
    }
    return std::nullopt;
}

}  // namespace handset::detail
