// Borvanect's per-user settings: its data folder, as recorded in the current
// user's registry, and the network settings file in that folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "artnet_packets.h"

namespace zmk {

inline constexpr std::size_t kSettingsPathSize = 260;

// What the registry gave for "UserMainFolder". The library only asks whether
// the folder was read; the rest tells a person why not.
enum class FolderVerdict {
    Read,
    NoKey,           // the key cannot be opened for reading
    NoValue,         // the query failed: no such value, or another error
    TooLong,         // longer than the 4096 bytes the library reads
    NotRegSz,        // stored as another type (REG_EXPAND_SZ included)
    Unterminated,    // fills all 4096 bytes without a terminator
    NoRoom,          // a text longer than the caller's buffer holds
    CloseFailed,     // read and copied, but the key did not close
};

struct FolderLookup {
    FolderVerdict verdict = FolderVerdict::NoKey;
    long error = 0;            // the registry's result of the failed open or query
    unsigned long type = 0;    // the value's type, once queried
    unsigned long bytes = 0;   // its size as the query reported it
};

// Reads "UserMainFolder" (REG_SZ only) into folder, exactly as stored, when it
// fits in capacity bytes with its terminator; lookup says how it went. folder
// is written only when the text was read (verdict Read or CloseFailed).
void LookUpUserMainFolder(char* folder, std::size_t capacity, FolderLookup& lookup) noexcept;

// 1 when the folder was read and the key closed; 0 otherwise.
inline int ReadUserMainFolder(char* folder, std::size_t capacity) noexcept {
    FolderLookup lookup;
    LookUpUserMainFolder(folder, capacity, lookup);
    return lookup.verdict == FolderVerdict::Read ? 1 : 0;
}

// The settings file: the folder followed by "\System\ApplData\Pelvaro.bin".
// false when there is no folder (lookup says why) or the path does not fit.
bool SettingsFilePath(char (&path)[kSettingsPathSize], FolderLookup& lookup) noexcept;

// Opens the settings file without sharing and reads its first bytes into the
// zeroed block. false when the open, the read or the close fails (the
// system's error code then tells why).
bool ReadSettingsBlock(const char* path, std::uint8_t (&block)[kSettingsBlockSize]) noexcept;

}  // namespace zmk
