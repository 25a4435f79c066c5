// A virtual bus made by the test itself, for tests that stand in for a device (or a drive) more
// simply than the simulator would: a fresh folder that LUMARO_VBUS_DIR names while it lives, and
// HID interfaces whose device end the test holds.
#pragma once

#include <filesystem>
#include <string>

namespace bustest {

// /tmp/vbus-XXXXXX/<name>, with an empty hid/ folder; removed again with everything in it.
class TemporaryBus {
public:
    explicit TemporaryBus(const std::string& name = "bus");
    ~TemporaryBus();
    TemporaryBus(const TemporaryBus&) = delete;
    TemporaryBus& operator=(const TemporaryBus&) = delete;

    std::filesystem::path top() const { return top_; }  // the fresh folder the bus lies in
    std::filesystem::path dir() const { return dir_; }
    std::filesystem::path hid() const { return dir_ / "hid"; }

private:
    std::filesystem::path top_;
    std::filesystem::path dir_;
};

// hid/<name>.id with the given hardware-ID lines, and hid/<name>.sock listening.
class ListeningInterface {
public:
    ListeningInterface(const TemporaryBus& bus, const std::string& name, const std::string& ids);
    ~ListeningInterface();
    ListeningInterface(const ListeningInterface&) = delete;
    ListeningInterface& operator=(const ListeningInterface&) = delete;

    std::string path() const { return socketPath_.string(); }

    // The device end of the next connection; access receives the byte the client opened it with.
    int accept(char& access) const;

private:
    std::filesystem::path socketPath_;
    int listener_ = -1;
};

}  // namespace bustest
