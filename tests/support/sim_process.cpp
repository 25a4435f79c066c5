#include "sim_process.h"

#include "environment.h"

#include "platform/hid/hid_vbus_transport.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace lumaro::test {
namespace {

using Clock = std::chrono::steady_clock;

// The record holds flat objects of strings and numbers written by the simulator; this reads
// exactly that, and skips a line it cannot read.
bool parseRecordLine(const std::string& line, SimRecord& record) {
    std::size_t at = 0;
    auto skipSpace = [&] { while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at; };
    auto expect = [&](char c) {
        skipSpace();
        if (at >= line.size() || line[at] != c) return false;
        ++at;
        return true;
    };
    auto readString = [&](std::string& out) {
        if (!expect('"')) return false;
        out.clear();
        while (at < line.size() && line[at] != '"') {
            if (line[at] == '\\' && at + 1 < line.size()) ++at;
            out += line[at++];
        }
        return expect('"');
    };
    if (!expect('{')) return false;
    for (bool first = true;; first = false) {
        skipSpace();
        if (at < line.size() && line[at] == '}') return true;
        if (!first && !expect(',')) return false;
        std::string key;
        if (!readString(key) || !expect(':')) return false;
        skipSpace();
        if (at < line.size() && line[at] == '"') {
            std::string value;
            if (!readString(value)) return false;
            if (key == "device") record.device = value;
            else if (key == "dir") record.dir = value;
            else if (key == "event") record.event = value;
            else if (key == "report") {
                if (value.size() != 2 * platform::kReportSize) return false;
                for (std::size_t i = 0; i < platform::kReportSize; ++i)
                    record.report[i] = static_cast<std::uint8_t>(std::stoul(value.substr(2 * i, 2), nullptr, 16));
            } else record.fields[key] = value;
        } else {
            const std::size_t start = at;
            std::size_t used = 0;
            const double number = std::stod(line.substr(at), &used);
            at += used;
            if (key == "t_ms") record.tMs = number;
            else record.fields[key] = line.substr(start, used);
        }
    }
}

}  // namespace

std::string SimProcess::recordPath() const { return (std::filesystem::path(root_) / "record.jsonl").string(); }

std::string SimProcess::interfacePath(const std::string& name) const {
    return (std::filesystem::path(busDir_) / "hid" / (name + platform::vbus::endpointExtension())).string();
}

namespace {

std::filesystem::path learnedDisksFile(const std::string& root) {
    return std::filesystem::path(bustest::useUserDataFolderIn(root)) / "Lumaro" / "update-disks.txt";
}

}  // namespace

void SimProcess::useBus() const {
    bustest::setEnvironment("LUMARO_VBUS_DIR", busDir_);
    const std::filesystem::path learned = learnedDisksFile(root_);
    std::filesystem::create_directories(learned.parent_path());
    std::ofstream(learned) << "VID_1FC9&PID_0003\tUSB\\VID_1FC9&PID_0114\n"
                              "VID_1FC9&PID_0004\tUSB\\VID_1FC9&PID_0114\n";
}

void SimProcess::forgetUpdateDisks() const {
    std::error_code ignored;
    std::filesystem::remove(learnedDisksFile(root_), ignored);
}

std::vector<std::uint8_t> SimProcess::imageData(const std::string& device) const {
    const std::string answer = control("dump " + device + " " + simRoot_ + "/" + device + ".image");
    const std::filesystem::path path = std::filesystem::path(root_) / (device + ".image");
    if (answer != "ok") throw std::runtime_error("dump " + device + ": " + answer);
    std::vector<std::uint8_t> bytes;
    {
        std::ifstream in(path, std::ios::binary);  // closed before the removal, which Windows would refuse
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path);
    return bytes;
}

std::vector<SimRecord> SimProcess::records() const {
    std::vector<SimRecord> records;
    std::ifstream in(recordPath());
    std::string line;
    while (std::getline(in, line)) {
        SimRecord record;
        try {
            if (parseRecordLine(line, record)) records.push_back(std::move(record));
        } catch (const std::exception&) {
            // a line being written right now, or not one of ours
        }
    }
    return records;
}

bool SimProcess::waitForEvent(const std::string& device, const std::string& event, int count,
                              std::chrono::milliseconds limit) const {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto all = records();
        const auto seen = std::count_if(all.begin(), all.end(), [&](const SimRecord& r) {
            return r.device == device && r.event == event;
        });
        if (seen >= count) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace lumaro::test
