#include "usb_classification.h"

#include <cstring>

namespace zmk {
namespace {

bool DescriptionIs(const char* description, const char* text) noexcept {
    std::size_t length = std::strlen(text);
    return strnlen(description, kFtDescriptionSize) == length && std::memcmp(description, text, length) == 0;
}

}  // namespace

DeviceStatus ClassifyUsbDevice(std::uint32_t type, const char* description) noexcept {
    // Every BM chip is an Open DMX USB whatever its description ("USB <-> Serial",
    // "OPEN DMX USB" or any other).
    if (type == kFtDeviceBm) return OpenDmxUsb;
    if (type == kFtDevice232R) {
        // Only the factory FT232R text marks an Open DMX USB; "FT245R USB FIFO",
        // "DMX USB PRO" and every other text are a DMX USB PRO.
        return DescriptionIs(description, "FT232R USB UART") ? OpenDmxUsb : DmxUsbPro;
    }
    return UnrecognizedUsbDevice;
}

DeviceStatus ClassifyDescribedDevice(std::uint32_t describedCount, std::uint32_t type,
                                     const char* description) noexcept {
    if (describedCount != 1) return DriverError;
    return ClassifyUsbDevice(type, description);
}

}  // namespace zmk
