#include "bootloader/program_packets.h"

#include <algorithm>

namespace zerlin {

namespace {

class RegionSlicer {
public:
    RegionSlicer(const ProgrammingInput& input, std::vector<Report>& out)
        : n_(input.bytesPerPacket), w_(input.bytesPerAddress), out_(out)
    {
    }

    void slice(const MemoryRegion& region, std::span<const std::uint8_t> image)
    {
        std::uint64_t address = region.start;
        const std::uint64_t end = regionEnd(region);
        std::size_t position = 0;
        unsigned byteOfAddress = 1;  // carries over from one packet to the next
        bool skippedBlank = false;
        while (address < end) {
            const std::uint64_t packetAddress = address;
            std::size_t taken = 0;
            bool hasData = false;
            std::array<std::uint8_t, kMaxDataPerPacket> data{};
            while (taken < n_ && address < end) {
                const std::uint8_t byte = image[position++];
                const bool padByte = w_ == 2 && address % 2 == 1 && byteOfAddress == 2;
                hasData = hasData || (byte != 0xFF && !padByte);
                data[taken++] = byte;
                if (byteOfAddress == w_) {
                    ++address;
                    byteOfAddress = 1;
                } else {
                    ++byteOfAddress;
                }
            }
            buildProgramPacket(static_cast<std::uint32_t>(packetAddress), std::span(data).first(taken));
            if (!hasData) {
                skippedBlank = true;
                continue;
            }
            if (skippedBlank) {
                out_.push_back(commandPacket(BootCmdProgramComplete));
                skippedBlank = false;
            }
            out_.push_back(packet_);
        }
        // The closing flush is the last packet built with its command changed; the bootloader
        // reads nothing after the command byte.
        packet_[0] = 0;
        packet_[kCommandOffset] = BootCmdProgramComplete;
        out_.push_back(packet_);
    }

private:
    void buildProgramPacket(std::uint32_t address, std::span<const std::uint8_t> data)
    {
        packet_.fill(0);
        packet_[kCommandOffset] = BootCmdProgram;
        putLittleEndian32(packet_, kAddressOffset, address);
        packet_[kCountOffset] = static_cast<std::uint8_t>(data.size());
        std::copy(data.begin(), data.end(), packet_.end() - static_cast<std::ptrdiff_t>(data.size()));
    }

    std::size_t n_;
    unsigned w_;
    std::vector<Report>& out_;
    Report packet_{};  // shared by all regions: a region of length 0 closes with the one before
};

}  // namespace

std::vector<Report> programmingReports(const ProgrammingInput& input)
{
    std::vector<Report> reports;
    RegionSlicer slicer(input, reports);
    for (std::size_t i = 0; i < input.regions.size(); ++i) {
        if (input.regions[i].type == kConfigRegionType) continue;
        slicer.slice(input.regions[i], input.images[i]);
    }
    return reports;
}

}  // namespace zerlin
