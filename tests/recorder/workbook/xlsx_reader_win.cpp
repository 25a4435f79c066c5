// The reader run by the test broker on the Linux side, on the workbook's Linux path.
#include "xlsx_reader.h"

#include "broker_connection_win.h"

#include <stdexcept>

namespace lumaro::test {

bool xlsxReaderAvailable()
{
    try {
        return bustest::BrokerConnection().ask("can-read") == "yes";
    } catch (const std::runtime_error&) {
        return false;
    }
}

// The broker answers "ok <line count>" and the reader's lines, or "error <why>".
std::optional<std::string> xlsxReaderOutput(const std::string& path, bool widths)
{
    bustest::BrokerConnection broker;
    const std::optional<std::string> answer =
        broker.ask("read\t" + bustest::linuxPathOf(path) + (widths ? "\twidths" : "\tcells"), std::chrono::seconds(60));
    if (!answer || answer->rfind("ok\t", 0) != 0) return std::nullopt;
    std::string output;
    for (int count = std::stoi(answer->substr(3)); count > 0; --count) {
        const std::optional<std::string> line = broker.nextLine();
        if (!line) return std::nullopt;
        output += *line + '\n';
    }
    return output;
}

}  // namespace lumaro::test
