// Whatever the driver leaves in a record's description, terminated or not.
#include <cstdint>
#include <cstring>
#include <vector>

#include "usb_classification.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::vector<char> field(zmk::kFtDescriptionSize, 0);
    std::size_t length = size - 1 < field.size() ? size - 1 : field.size();
    std::memcpy(field.data(), data + 1, length);
    zmk::ClassifyUsbDevice(data[0] % 8, field.data());
    return 0;
}
