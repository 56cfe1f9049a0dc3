// A driver module whose every answer comes from the fuzzer's input: two
// devices of the library's interface class whose replies are the request
// echoed back with words overwritten, under any Windows error and byte
// count. Once the input is spent it answers plainly, and event requests end
// their chains, so that nothing waits for ever.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzdriver {

// Registers the devices (once per process).
void Install();
// The bytes the next replies are made from; (nullptr, 0) once the input ends.
void SetReplies(const uint8_t* data, size_t size);

}  // namespace fuzzdriver
