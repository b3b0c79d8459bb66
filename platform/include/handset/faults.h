// Fault injection for the device's stores, so that tests can check that
// every failure of the storage engine comes back as an error code and leaves
// the store as it was.
#pragma once

namespace handset::faults {

enum class Store { Registry, Contacts, Messages };
enum class Fault { Busy, IoError, DiskFull };

// From now on, the `afterSteps`-th storage step of `store` in this process
// (counting from 1) fails with `fault`, once. 0 disarms the store.
void failStep(Store store, int afterSteps, Fault fault);

// How many storage steps `store` has taken in this process since the last
// failStep; lets a test walk a fault through every step of an operation.
int stepsTaken(Store store);

}  // namespace handset::faults
