#include "usb_classification.h"

#include <cstring>
#include <iterator>

namespace zmk {
namespace {

bool DescriptionIs(const char* description, const char* text) noexcept {
    std::size_t length = std::strlen(text);
    return strnlen(description, kFtDescriptionSize) == length && std::memcmp(description, text, length) == 0;
}

}  // namespace

const IdentificationRow& FindIdentificationRow(std::uint32_t type, const char* description) noexcept {
    // In the table's order, the first that takes the device decides: every BM
    // chip is an Open DMX USB whatever its description, an R chip is one only
    // with the factory FT232R text and a DMX USB PRO otherwise.
    for (const IdentificationRow& row : kIdentificationTable) {
        if (row.type != kAnyFtDevice && row.type != type) continue;
        if (row.description == nullptr || DescriptionIs(description, row.description)) return row;
    }
    return kIdentificationTable[std::size(kIdentificationTable) - 1];
}

ListedRecords CheckListedRecords(bool callSucceeded, std::uint32_t describedCount, bool firstWritten,
                                 bool secondWritten) noexcept {
    if (!callSucceeded) return ListedRecords::CallFailed;
    if (describedCount != 1) return ListedRecords::NotOne;
    if (!firstWritten) return ListedRecords::NoRecordWritten;
    if (secondWritten) return ListedRecords::SecondRecordWritten;
    return ListedRecords::OneWritten;
}

}  // namespace zmk
