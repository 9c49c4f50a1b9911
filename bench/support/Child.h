#pragma once
// The benchmark starts its programs and helpers with the child-process
// support it shares with the end-to-end tests.
#include "process/ChildProcess.h"

namespace qrbench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using qrtest::TChild;
using qrtest::WineCommand;
using qrtest::WineLoader;

}  // namespace qrbench
