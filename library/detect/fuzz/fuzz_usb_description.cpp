// Whatever the driver reports: any chip type, any count of records described,
// and any bytes in the description, terminated or not. The input's first four
// bytes are the type, the fifth the count, the rest the description field.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "usb_classification.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::uint32_t type;
    std::memcpy(&type, data, sizeof type);
    const std::uint32_t described = data[4];
    std::vector<char> field(zmk::kFtDescriptionSize, 0);
    const std::size_t length = size - 5 < field.size() ? size - 5 : field.size();
    std::memcpy(field.data(), data + 5, length);
    const zmk::ListedRecords listed = zmk::CheckListedRecords(true, described, true, false);
    if ((listed == zmk::ListedRecords::OneWritten) != (described == 1)) std::abort();
    const zmk::DeviceStatus status = zmk::FindIdentificationRow(type, field.data()).status;
    if (status != zmk::OpenDmxUsb && status != zmk::DmxUsbPro && status != zmk::UnrecognizedUsbDevice) std::abort();
    return 0;
}
