// What the stand-in driver recorded: the calls made to it and the frames it
// handed to the stack.
#pragma once

#include "filter/DriverApi.h"
#include "sim/SimControl.h"

#include <cstdint>
#include <string>
#include <vector>

inline std::string CallLog() {
    // Room to spare: a running worker may add calls between the two reads.
    std::string log(SimCallLog(nullptr, 0) + 256, '\0');
    SimCallLog(log.data(), static_cast<ULONG>(log.size()));
    log.resize(std::char_traits<char>::length(log.data()));
    return log;
}

// The `index`th frame the stack got from the adapter at `position`.
inline std::vector<std::uint8_t> StackFrame(ULONG position, ULONG index) {
    std::vector<std::uint8_t> b(MAX_ETHER_FRAME);
    b.resize(SimStackFrame(position, index, b.data(), static_cast<ULONG>(b.size())));
    return b;
}
