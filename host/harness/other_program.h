// Another program on the same desktop: standins/other-program brought to the
// front, where it stops pumping its messages, as a busy or hung program does.
#pragma once

#include <windows.h>

#include <string>

#include "win32/unique_resource.h"

namespace zmk::host {

class OtherProgram {
public:
    // Starts the program at path and waits (bounded) until its window is in
    // front and it has stopped answering, which it does for hangMs.
    explicit OtherProgram(const std::string& path, int hangMs = 60000);
    // Ends the program.
    ~OtherProgram();
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    // Its window was the foreground window when it stopped answering.
    bool InFront() const { return inFront_; }
    HWND window() const { return window_; }
    DWORD process() const { return processId_; }

private:
    UniqueHandle process_;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
    bool inFront_ = false;
};

}  // namespace zmk::host
