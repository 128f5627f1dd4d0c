// The files of the station's page, built into the program: the line has no
// internet, and the page needs nothing from elsewhere.
#pragma once

namespace norvane::web {

struct PageFile {
    const char* path;  // as the page asks for it
    const char* type;  // its media type
    const char* text;
};

extern const PageFile kPageFiles[3];

}  // namespace norvane::web
