// The control program's entry: the command line and the display check,
// then the panel's layout and icons, then the dialog; the exit status is
// the dialog's end code.
#include "app/dialogtemplate.h"
#include "app/options.h"
#include "app/velkor.h"

int main(int argc, char** argv) {
    if (const int status = handleCommandLine(argc, argv); status >= 0) {
        return status;
    }
    RegisterVelkorResources();
    return WinMain(nullptr, nullptr, nullptr, 0);
}
