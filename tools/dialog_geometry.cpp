// velkor-dialog-geometry: the panel's layout as the dialog template has
// it, for scripts that click the running panel. Prints, in dialog units,
//   dialog X Y WIDTH HEIGHT
// and then one line per control in template order:
//   ID X Y WIDTH HEIGHT
#include "app/dialogtemplate.h"

#include <cstdio>

int main() {
    const DLGTEMPLATEDATA& dialog = VelkorDialogTemplate();
    std::printf("dialog %d %d %d %d\n", dialog.x, dialog.y, dialog.cx, dialog.cy);
    for (const DLGITEM& item : VelkorDialogItems()) {
        std::printf("%d %d %d %d %d\n", item.id, item.x, item.y, item.cx, item.cy);
    }
    return 0;
}
