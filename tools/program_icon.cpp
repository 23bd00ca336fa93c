// velkor-icon: the program's icon (icon 200, as the dialog draws it from
// its shape list) for the desktop: PNG files of the given sizes and an SVG.
//
// Usage: velkor-icon OUT_DIR SIZE...
//   writes OUT_DIR/velkor-SIZE.png for each size and OUT_DIR/velkor.svg.
#include "app/dialogtemplate.h"
#include "platform/icon_export.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: velkor-icon OUT_DIR SIZE...\n", stderr);
        return 2;
    }
    const std::string szDir = argv[1];
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const std::string szPath = szDir + "/velkor-" + argv[i] + ".png";
        if (size <= 0 || !WriteIconPngA(szPath.c_str(), VelkorIconShapes(), size)) {
            std::fprintf(stderr, "velkor-icon: cannot write %s\n", szPath.c_str());
            return 1;
        }
    }
    if (!WriteIconSvgA((szDir + "/velkor.svg").c_str(), VelkorIconShapes(),
                       "Velkor QX-4470 Control Program")) {
        std::fprintf(stderr, "velkor-icon: cannot write %s/velkor.svg\n", szDir.c_str());
        return 1;
    }
    return 0;
}
