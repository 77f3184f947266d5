// One libFuzzer target: Q8_FUZZ_RUN names the operation (see CMakeLists.txt).
#include <cstddef>
#include <cstdint>

#include "Choices.h"
#include "Operations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    q8fuzz::FuzzChoices in(data, size);
    q8fuzz::Q8_FUZZ_RUN(in);
    return 0;
}
