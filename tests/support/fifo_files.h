#pragma once
// FIFOs and devices under ordinary names, and running code that must not wait
// on them: a FIFO opened by mistake would block a thread for good.

#include <functional>
#include <string>

namespace testsupport {

// A FIFO at hostPath; false when it cannot be made.
bool MakeFifo(const std::string& hostPath);

// Runs body on this thread. True when it finished within a few seconds;
// otherwise the FIFO is opened from both ends until it does, which lets a
// blocked open (and the read after it) return, and the answer is false.
bool FinishesWithoutWaitingOn(const std::string& fifo, const std::function<void()>& body);

}  // namespace testsupport
