// Serial ports from /dev and what sysfs tells of their adapters.
#include "platform/serialports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <tuple>

namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute, without surrounding blanks.
std::string readAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    const auto first = line.find_first_not_of(" \t\r");
    const auto last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

// "FTDI FT232R USB UART, serial A50285BI" from the USB device above the
// terminal's device in sysfs; empty when it has none.
std::string describeFromSysfs(const std::string& szTerminal, const fs::path& sysRoot) {
    std::error_code ec;
    std::error_code ecTop;
    fs::path dir = fs::canonical(sysRoot / "class" / "tty" / szTerminal / "device", ec);
    const fs::path top = fs::canonical(sysRoot, ecTop);
    for (int up = 0; !ec && !ecTop && up < 8 && dir.has_relative_path() && dir != top; ++up) {
        std::error_code ecFile;
        if (fs::exists(dir / "idVendor", ecFile)) {
            std::string text = readAttribute(dir / "manufacturer");
            const std::string product = readAttribute(dir / "product");
            if (!product.empty())
                text += (text.empty() ? "" : " ") + product;
            const std::string serial = readAttribute(dir / "serial");
            if (!serial.empty())
                text += (text.empty() ? "serial " : ", serial ") + serial;
            return text;
        }
        dir = dir.parent_path();
    }
    return {};
}

// What udev put into a stable name ("usb-FTDI_FT232R_USB_UART_A50285BI-
// if00-port0"): the bus prefix and the interface suffix go, "_" reads as
// a blank.
std::string describeFromStableName(std::string szName) {
    if (const auto dash = szName.find('-'); dash != std::string::npos && dash < 8)
        szName.erase(0, dash + 1);
    if (const auto suffix = szName.rfind("-if"); suffix != std::string::npos)
        szName.erase(suffix);
    std::replace(szName.begin(), szName.end(), '_', ' ');
    return szName;
}

// "ttyUSB" and 10 for "ttyUSB10"; an empty prefix for other names.
std::pair<std::string, unsigned long> splitNumbered(std::string_view name) {
    const auto digits = name.find_first_of("0123456789");
    if (digits == std::string_view::npos || digits == 0 || name.size() - digits > 9 ||
        !std::all_of(name.begin() + static_cast<long>(digits), name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        return {"", 0};
    return {std::string(name.substr(0, digits)), std::stoul(std::string(name.substr(digits)))};
}

// A legacy port name exists for every possible UART; only those where the
// kernel found one have a type other than 0 (unknown).
bool isRealUart(const std::string& szTerminal, const fs::path& sysRoot) {
    const std::string type = readAttribute(sysRoot / "class" / "tty" / szTerminal / "type");
    return !type.empty() && type != "0";
}

} // namespace

std::vector<SERIALPORT> EnumSerialPorts(LPCSTR szDevRoot, LPCSTR szSysRoot) {
    const fs::path dev = szDevRoot ? szDevRoot : "/dev";
    const fs::path sys = szSysRoot ? szSysRoot : "/sys";
    std::vector<SERIALPORT> ports;
    std::error_code ec;

    std::vector<fs::path> stable;
    for (const auto& entry : fs::directory_iterator(dev / "serial" / "by-id", ec))
        if (fs::exists(entry.path(), ec)) // a link whose device is gone is left out
            stable.push_back(entry.path());
    std::sort(stable.begin(), stable.end());
    for (const fs::path& path : stable) {
        const std::string terminal = fs::read_symlink(path, ec).filename().string();
        std::string description = ec ? std::string() : describeFromSysfs(terminal, sys);
        if (description.empty())
            description = describeFromStableName(path.filename().string());
        ports.push_back({path.string(), description});
    }

    struct Numbered {
        int group;
        unsigned long number;
        std::string name;
    };
    std::vector<Numbered> terminals;
    for (const auto& entry : fs::directory_iterator(dev, ec)) {
        const std::string name = entry.path().filename().string();
        const auto [prefix, number] = splitNumbered(name);
        const int group = prefix == "ttyUSB"   ? 0
                          : prefix == "ttyACM" ? 1
                          : prefix == "ttyS"   ? 2
                                               : -1;
        if (group < 0 || (group == 2 && !isRealUart(name, sys)))
            continue;
        terminals.push_back({group, number, name});
    }
    std::sort(terminals.begin(), terminals.end(), [](const Numbered& a, const Numbered& b) {
        return std::tie(a.group, a.number) < std::tie(b.group, b.number);
    });
    for (const Numbered& t : terminals)
        ports.push_back({(dev / t.name).string(), describeFromSysfs(t.name, sys)});
    return ports;
}
