// libFuzzer harness: any bytes, loaded as a declaration file by position,
// then written in both forms and read again (see DeclarationRoundTrip.h).

#include "DeclarationRoundTrip.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::checkDeclaration({reinterpret_cast<const char*>(data), size},
                           solvanta::FileForm::Position);
    return 0;
}
