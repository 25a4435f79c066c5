// A simulated 47J53 board for the tests that drive the library through its exports.
#pragma once

#include "sim_process.h"

#include "bootloader/zerlin.h"
#include "platform/core/utf8_path.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zerlin::test {

inline constexpr const char* kBoardId = "VID_04D8&PID_003C";

class BoardSession : public ::testing::Test {
protected:
    // Starts the simulator (which is built with the tests: failing to start it is an error, so its
    // exception ends the test) and points the library at its bus.
    void start(const std::vector<std::string>& deviceArgs)
    {
        sim_ = std::make_unique<lumaro::test::SimProcess>(deviceArgs);
        sim_->useBus();
    }
    // One board named "board", and a library session on it.
    void startBoard(const std::string& options = "")
    {
        start({"--board", "board" + (options.empty() ? "" : "," + options)});
        ASSERT_EQ(M47J53_SetUSBHandle(kBoardId), 1);
    }

    // name and the path returned are UTF-8, as the library takes paths.
    std::string writeFile(const std::string& name, const std::string& text) const
    {
        const std::string path = sim_->busDir() + "/" + name;
        std::ofstream(platform::utf8Path(path), std::ios::binary) << text;
        return path;
    }

    // Reports the device received, in order; optionally only those of one command. The simulator
    // records asynchronously, so this waits (up to 5 s) until at least `atLeast` are recorded.
    std::vector<platform::Report> received(int command = -1, const std::string& device = "board",
                                           std::size_t atLeast = 0) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            std::vector<platform::Report> reports;
            for (const lumaro::test::SimRecord& record : sim_->records())
                if (record.device == device && record.dir == "out" && (command < 0 || record.report[1] == command))
                    reports.push_back(record.report);
            if (reports.size() >= atLeast || std::chrono::steady_clock::now() >= deadline) return reports;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    // A write ends once the bus client's socket holds the report, which may be a few reports
    // before the board takes it, and the simulator serves its connections in turn: without this,
    // a verification's first requests could overtake a programming call's last packets.
    void waitUntilProgrammed(std::size_t programCompletes) const
    {
        received(0x06, "board", programCompletes);
    }

    // For checks that something was not sent: lets the simulator record what is on its way.
    static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(200)); }

    lumaro::test::SimProcess& sim() { return *sim_; }

private:
    std::unique_ptr<lumaro::test::SimProcess> sim_;
};

}  // namespace zerlin::test
