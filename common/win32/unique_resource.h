// Move-only owners for Windows handles and objects.
//
// One template, one line per kind of handle naming its close function, so
// that every early return releases what was acquired. Where the result of the
// close matters (a file close that must succeed), the caller takes the handle
// out with release() and closes it itself.
#pragma once

#include <windows.h>

#include <utility>

namespace zmk {

template <typename Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Value value) noexcept : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    Value get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    Value release() noexcept { return std::exchange(value_, Traits::Invalid()); }

    // Closes the held value (if any) and takes ownership of a new one.
    void reset(Value value = Traits::Invalid()) noexcept {
        Value old = std::exchange(value_, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

    // For a call that writes a new handle into an output parameter: closes
    // what is held and hands out the address of the empty value, which the
    // call fills in; the owner then holds whatever it wrote.
    Value* put() noexcept {
        reset();
        return &value_;
    }

private:
    Value value_ = Traits::Invalid();
};

template <typename T, T InvalidValue, auto CloseFunction>
struct ResourceTraits {
    using Value = T;
    static constexpr T Invalid() noexcept { return InvalidValue; }
    static void Close(T value) noexcept { CloseFunction(value); }
};

// Handles whose empty value is INVALID_HANDLE_VALUE, which is a cast and so
// no template argument of ResourceTraits: files, directory searches.
template <auto CloseFunction>
struct InvalidHandleTraits {
    using Value = HANDLE;
    static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Value value) noexcept { CloseFunction(value); }
};

struct GdiObjectTraits {
    using Value = HGDIOBJ;
    static constexpr Value Invalid() noexcept { return nullptr; }
    static void Close(Value value) noexcept { ::DeleteObject(value); }
};

// Address space reserved with VirtualAlloc, released whole.
struct VirtualMemoryTraits {
    using Value = void*;
    static constexpr Value Invalid() noexcept { return nullptr; }
    static void Close(Value value) noexcept { ::VirtualFree(value, 0, MEM_RELEASE); }
};

// Kernel objects whose empty value is null: events, timers, processes, threads.
using UniqueHandle = UniqueResource<ResourceTraits<HANDLE, nullptr, ::CloseHandle>>;
using UniqueFile = UniqueResource<InvalidHandleTraits<::CloseHandle>>;
// Closed with FindClose, not CloseHandle.
using UniqueFind = UniqueResource<InvalidHandleTraits<::FindClose>>;
using UniqueModule = UniqueResource<ResourceTraits<HMODULE, nullptr, ::FreeLibrary>>;
using UniqueRegKey = UniqueResource<ResourceTraits<HKEY, nullptr, ::RegCloseKey>>;
using UniqueGlobal = UniqueResource<ResourceTraits<HGLOBAL, nullptr, ::GlobalFree>>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueVirtualMemory = UniqueResource<VirtualMemoryTraits>;

}  // namespace zmk
