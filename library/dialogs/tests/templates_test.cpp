// Reads the compiled templates and bitmaps back from the resources, as the
// system will, and compares every field with what the dialogs must carry.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dialog_ids.h"

namespace {

constexpr WORD kLanguage = 0x100C;

struct Item {
    int id;
    std::string windowClass;
    std::string text;  // "#n" for an ordinal
    short x, y, cx, cy;
    DWORD style;
};

struct Template {
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::string menu, windowClass, caption;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::string typeface;
    std::vector<Item> items;
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    template <typename T>
    T Get() {
        T value{};
        if (offset_ + sizeof(T) <= size_) std::memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    // A string or an ordinal; ASCII is all the templates hold.
    std::string NameOrOrdinal() {
        const WORD first = Get<WORD>();
        if (first == 0xFFFF) return "#" + std::to_string(Get<WORD>());
        std::string text;
        for (WORD c = first; c != 0; c = Get<WORD>()) text += static_cast<char>(c);
        return text;
    }
    void AlignToDword() { offset_ = (offset_ + 3) & ~std::size_t{3}; }
    bool Overran() const { return offset_ > size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

std::string ClassName(const std::string& name) {
    if (name == "#128") return "BUTTON";
    if (name == "#130") return "STATIC";
    return name;
}

bool LoadResourceBytes(int id, LPCSTR type, std::vector<std::uint8_t>& bytes) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceExA(module, type, MAKEINTRESOURCEA(id), kLanguage);
    if (!found) return false;
    const auto* data = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, found)));
    bytes.assign(data, data + ::SizeofResource(module, found));
    return true;
}

Template ParseTemplate(const std::vector<std::uint8_t>& bytes) {
    Reader r(bytes.data(), bytes.size());
    Template t{};
    EXPECT_EQ(r.Get<WORD>(), 1);       // dlgVer
    EXPECT_EQ(r.Get<WORD>(), 0xFFFF);  // extended template
    EXPECT_EQ(r.Get<DWORD>(), 0u);     // help id
    t.exStyle = r.Get<DWORD>();
    t.style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    t.menu = r.NameOrOrdinal();
    t.windowClass = r.NameOrOrdinal();
    t.caption = r.NameOrOrdinal();
    t.pointSize = r.Get<WORD>();
    t.weight = r.Get<WORD>();
    t.italic = r.Get<BYTE>();
    t.charset = r.Get<BYTE>();
    t.typeface = r.NameOrOrdinal();
    for (WORD i = 0; i < count; ++i) {
        r.AlignToDword();
        Item item{};
        EXPECT_EQ(r.Get<DWORD>(), 0u);  // help id
        EXPECT_EQ(r.Get<DWORD>(), 0u);  // extended style
        item.style = r.Get<DWORD>();
        item.x = r.Get<short>();
        item.y = r.Get<short>();
        item.cx = r.Get<short>();
        item.cy = r.Get<short>();
        item.id = static_cast<int>(r.Get<DWORD>());
        item.windowClass = ClassName(r.NameOrOrdinal());
        item.text = r.NameOrOrdinal();
        const WORD extra = r.Get<WORD>();
        for (WORD e = 0; e < extra; ++e) r.Get<BYTE>();
        t.items.push_back(item);
    }
    EXPECT_FALSE(r.Overran());
    return t;
}

struct ExpectedDialog {
    int id;
    DWORD style;
    short cx, cy;
    const char* caption;
    std::vector<Item> items;
};

const ExpectedDialog kDialogs[] = {
    {IDD_DETECTION_PROBLEM, 0x80C800C8, 318, 67, "Borvanect  -  DMX Device Scan",
     {{1, "BUTTON", "Rescan DMX", 48, 54, 128, 12, 0x50010001},
      {2, "BUTTON", "Cancel", 190, 54, 128, 12, 0x50010000},
      {-1, "STATIC", "#108", 2, 2, 37, 64, 0x5000000E},
      {1004, "STATIC", "", 48, 4, 268, 32, 0x50020000},
      {1006, "STATIC", "", 48, 38, 266, 10, 0x50020200}}},
    {IDD_THEMED_MESSAGE_BOX, 0x90C808C8, 254, 35, "",
     {{1, "BUTTON", "OK", 220, 6, 28, 24, 0x50010001},
      {1016, "STATIC", "#133", 6, 6, 27, 24, 0x5000000E},
      {1017, "STATIC", "Static", 46, 6, 160, 24, 0x50020000}}},
    {IDD_DRIVER_ERROR, 0x90C808C8, 327, 121, "Borvanect  -  DMX Device Error",
     {{1003, "STATIC", "", 50, 4, 272, 112, 0x50020000},
      {-1, "STATIC", "#109", 4, 4, 37, 112, 0x5000000E}}},
};

TEST(DialogTemplates, EachTemplateCarriesItsFrameFontAndControlsInTabOrder) {
    for (const ExpectedDialog& expected : kDialogs) {
        SCOPED_TRACE(expected.id);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(LoadResourceBytes(expected.id, MAKEINTRESOURCEA(5), bytes));  // RT_DIALOG
        const Template t = ParseTemplate(bytes);
        EXPECT_EQ(t.style, expected.style);
        EXPECT_EQ(t.exStyle, 0u);
        EXPECT_EQ(t.x, 0);
        EXPECT_EQ(t.y, 0);
        EXPECT_EQ(t.cx, expected.cx);
        EXPECT_EQ(t.cy, expected.cy);
        EXPECT_EQ(t.menu, "");
        EXPECT_EQ(t.windowClass, "");
        EXPECT_EQ(t.caption, expected.caption);
        EXPECT_EQ(t.pointSize, 8);
        EXPECT_EQ(t.weight, 400);
        EXPECT_EQ(t.italic, 0);
        EXPECT_EQ(t.charset, 1);
        EXPECT_EQ(t.typeface, "MS Shell Dlg");
        ASSERT_EQ(t.items.size(), expected.items.size());
        for (std::size_t i = 0; i < t.items.size(); ++i) {
            SCOPED_TRACE(i);
            const Item& a = t.items[i];
            const Item& e = expected.items[i];
            EXPECT_EQ(a.id, e.id);
            EXPECT_EQ(a.windowClass, e.windowClass);
            EXPECT_EQ(a.text, e.text);
            EXPECT_EQ(a.x, e.x);
            EXPECT_EQ(a.y, e.y);
            EXPECT_EQ(a.cx, e.cx);
            EXPECT_EQ(a.cy, e.cy);
            EXPECT_EQ(a.style, e.style);
        }
    }
}

TEST(DialogBitmaps, EachBitmapIsAnUncompressedBottomUp24BitImageOfItsSize) {
    const struct {
        int id;
        LONG width, height;
    } cases[] = {{108, 64, 128}, {109, 64, 224}, {132, 48, 48}, {133, 48, 48}, {134, 48, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(LoadResourceBytes(c.id, MAKEINTRESOURCEA(2), bytes));  // RT_BITMAP
        ASSERT_GE(bytes.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, bytes.data(), sizeof(header));
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biWidth, c.width);
        EXPECT_EQ(header.biHeight, c.height);  // positive: bottom-up
        EXPECT_EQ(header.biBitCount, 24);
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(bytes.size(), 40u + static_cast<std::size_t>(c.width) * 3 * c.height);
    }
    std::vector<std::uint8_t> socket;
    ASSERT_TRUE(LoadResourceBytes(108, MAKEINTRESOURCEA(2), socket));
    EXPECT_EQ(socket.size(), 24616u);
}

}  // namespace
