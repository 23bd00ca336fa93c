// The serial ports present on this machine, for the operator to choose
// from.
#pragma once

#include "platform/types.h"

#include <string>
#include <vector>

struct SERIALPORT {
    std::string szName;        // the path that opens it
    std::string szDescription; // maker, model and serial number of the adapter; may be empty
};

// The stable names under <dev>/serial/by-id first, then <dev>/ttyUSB*,
// <dev>/ttyACM* and the <dev>/ttyS* that are real ports (the kernel knows
// a UART behind them), each group in name order (ttyUSB2 before
// ttyUSB10). Descriptions come from the USB device in sysfs, else from
// the stable name. szDevRoot and szSysRoot stand for "/dev" and "/sys".
std::vector<SERIALPORT> EnumSerialPorts(LPCSTR szDevRoot = "/dev", LPCSTR szSysRoot = "/sys");
