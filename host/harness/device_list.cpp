#include "device_list.h"

#include <windows.h>

#include <cstdlib>

#include "win32/unique_resource.h"

namespace zmk::host {
namespace {

constexpr char kDefaultPath[] = "C:\\zmk-standins\\ftd2xx.ini";

std::string ReadAll(const std::string& path) {
    UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    if (!file) return text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
    return text;
}

bool WriteAll(const std::string& path, const std::string& text) {
    UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

}  // namespace

std::string DeviceListPath() {
    const char* path = std::getenv("ZMK_FTD2XX_INI");
    return path && *path ? path : kDefaultPath;
}

bool WriteDeviceList(const std::string& text) {
    const std::string path = DeviceListPath();
    const std::string folder = path.substr(0, path.find_last_of('\\'));
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ::DeleteFileA((path + ".position").c_str());
    return WriteAll(path, text);
}

std::string UnplugDevices(int n) {
    const std::string path = DeviceListPath();
    const std::string text = ReadAll(path);
    std::string kept, removed;
    int device = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        start = end;
        if (line.rfind("device=", 0) == 0 && (n == 0 || ++device == n)) {
            removed += line.substr(7, line.find_last_not_of("\r\n") - 6) + "\n";
            continue;
        }
        kept += line;
    }
    WriteAll(path, kept);
    return removed;
}

}  // namespace zmk::host
