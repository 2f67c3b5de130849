#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host_settings.h"
#include "wine_support.h"

namespace zmk {
namespace {

class HostSettings : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveHostKeys();
        std::memset(folder_, kUntouched, sizeof folder_);
    }
    void TearDown() override { test::RemoveHostKeys(); }

    bool FolderUntouched() const {
        for (char c : folder_) {
            if (c != kUntouched) return false;
        }
        return true;
    }

    static constexpr char kUntouched = 0x5A;
    char folder_[4096 + 16];
};

struct StoredValue {
    const char* situation;
    DWORD type;
    std::string data;
    int result;
    const char* folder;  // null: the caller's buffer stays untouched
};

class StoredFolder : public HostSettings, public testing::WithParamInterface<StoredValue> {};

TEST_P(StoredFolder, IsReadOnlyAsPlainText) {
    const StoredValue& value = GetParam();
    test::SetUserMainFolderValue(value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    EXPECT_EQ(value.result, ReadUserMainFolder(folder_, sizeof folder_)) << value.situation;
    if (value.folder != nullptr) {
        EXPECT_STREQ(value.folder, folder_) << value.situation;
    } else {
        EXPECT_TRUE(FolderUntouched()) << value.situation;
    }
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    RegistryTypes, StoredFolder,
    testing::Values(StoredValue{"plain folder", REG_SZ, "D:\\Data\0"s, 1, "D:\\Data"},
                    StoredValue{"trailing backslash kept", REG_SZ, "D:\\Data\\\0"s, 1, "D:\\Data\\"},
                    StoredValue{"empty text", REG_SZ, "\0"s, 1, ""},
                    StoredValue{"no data at all", REG_SZ, ""s, 1, ""},
                    StoredValue{"expandable text", REG_EXPAND_SZ, "%TEMP%\\Data\0"s, 0, nullptr},
                    StoredValue{"multi-string", REG_MULTI_SZ, "D:\\Data\0\0"s, 0, nullptr},
                    StoredValue{"binary", REG_BINARY, "D:\\Data\0"s, 0, nullptr},
                    StoredValue{"number", REG_DWORD, "\1\0\0\0"s, 0, nullptr}),
    [](const testing::TestParamInfo<StoredValue>& info) {
        std::string name = info.param.situation;
        for (char& c : name) {
            if (c == ' ' || c == '-') c = '_';
        }
        return name;
    });

TEST_F(HostSettings, ValueFillingTheWholeBufferWithItsTerminatorIsRead) {
    std::string text(4095, 'f');
    test::SetUserMainFolderValue(REG_SZ, text.c_str(), 4096);
    EXPECT_EQ(1, ReadUserMainFolder(folder_, sizeof folder_));
    EXPECT_EQ(text, std::string(folder_));
}

TEST_F(HostSettings, ValueOneByteLargerThanTheBufferIsRefused) {
    std::string text(4096, 'f');
    test::SetUserMainFolderValue(REG_SZ, text.c_str(), 4097);
    EXPECT_EQ(0, ReadUserMainFolder(folder_, sizeof folder_));
    EXPECT_TRUE(FolderUntouched());
}

TEST_F(HostSettings, UnterminatedValueFillingTheBufferIsRefused) {
    std::string text(4096, 'f');
    test::SetUserMainFolderValue(REG_SZ, text.data(), 4096);
    EXPECT_EQ(0, ReadUserMainFolder(folder_, sizeof folder_));
    EXPECT_TRUE(FolderUntouched());
}

TEST_F(HostSettings, TextLongerThanTheCallersBufferIsRefusedUnwritten) {
    test::SetUserMainFolder(std::string(260, 'f'));
    EXPECT_EQ(0, ReadUserMainFolder(folder_, 260));
    EXPECT_TRUE(FolderUntouched());
    EXPECT_EQ(1, ReadUserMainFolder(folder_, 261));
}

TEST_F(HostSettings, KeyOnlyUnderLocalMachineIsNotConsulted) {
    std::string text = "D:\\Data";
    test::SetUserMainFolderValue(REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(0, ReadUserMainFolder(folder_, sizeof folder_));
    EXPECT_TRUE(FolderUntouched());
}

TEST_F(HostSettings, MissingKeyGivesNothing) {
    EXPECT_EQ(0, ReadUserMainFolder(folder_, sizeof folder_));
    EXPECT_TRUE(FolderUntouched());
}

TEST_F(HostSettings, OtherValueNamesAreIgnored) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quenford\\Borvanect\\CurrentVersion", 0,
                                             nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
    RegSetValueExA(key, "usermainfolderx", 0, REG_SZ, reinterpret_cast<const BYTE*>("D:\\"), 4);
    RegCloseKey(key);
    EXPECT_EQ(0, ReadUserMainFolder(folder_, sizeof folder_));
}

}  // namespace
}  // namespace zmk
