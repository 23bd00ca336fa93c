// The control program's entry: registers the panel's layout and icons,
// then runs the dialog; the exit status is the dialog's end code.
#include "app/dialogtemplate.h"
#include "app/velkor.h"

int main() {
    RegisterVelkorResources();
    return WinMain(nullptr, nullptr, nullptr, 0);
}
