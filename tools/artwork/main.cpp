// Draws the committed art: the dialogs' bitmaps and the installer's icon.
//
//   zmk_artwork bitmaps DIR         writes the five dialog bitmaps into DIR
//   zmk_artwork check-bitmaps DIR   fails unless DIR holds exactly what it draws
//   zmk_artwork icon FILE.ico       writes the installer's icon
#include <cstdio>
#include <string>

#include "dialog_bitmaps.h"
#include "installer_icon.h"

int main(int argc, char** argv) {
    const std::string command = argc == 3 ? argv[1] : "";
    const std::string target = argc == 3 ? argv[2] : "";
    if (command == "icon") {
        if (WriteFileBytes(target, EncodeIcon())) return 0;
        std::fprintf(stderr, "cannot write %s\n", target.c_str());
        return 1;
    }
    if (command != "bitmaps" && command != "check-bitmaps") {
        std::fprintf(stderr, "usage: %s bitmaps DIR | check-bitmaps DIR | icon FILE.ico\n", argv[0]);
        return 2;
    }
    int failures = 0;
    for (const DialogBitmap& bitmap : DrawDialogBitmaps()) {
        const std::string path = target + "/" + bitmap.fileName;
        if (command == "check-bitmaps") {
            Bytes committed;
            if (!ReadFileBytes(path, committed) || committed != bitmap.file) {
                std::fprintf(stderr, "%s differs from what the tool draws\n", path.c_str());
                ++failures;
            }
        } else if (!WriteFileBytes(path, bitmap.file)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
