#include "bootloader/tool_plan.h"

#include "bootloader/program_packets.h"

#include <cstdio>

namespace zerlin {

HexLoadResult checkHexText(std::string_view hexText) { return loadHexText(hexText, ImageSet{}); }

std::string describeRejection(const HexLoadResult& result)
{
    const char* what = "";
    switch (result.status) {
    case HexLoadStatus::Ok: return "loads";
    case HexLoadStatus::MissingStartCharacter: what = "does not begin with ':'"; break;
    case HexLoadStatus::ChecksumMismatch: what = "has a wrong checksum"; break;
    // Lines are read up to 99 characters, so a record too long for that also ends early.
    case HexLoadStatus::RecordCutShort: what = "ends before the data its byte count announces"; break;
    }
    return "line " + std::to_string(result.lineNumber) + " " + what;
}

FlashPlan planFlash(const DeviceLayout& layout, std::string_view hexText)
{
    std::vector<std::vector<std::uint8_t>> images;
    FlashPlan plan;
    for (const MemoryRegion& region : layout.regions) {
        images.push_back(blankImage(region, layout.bytesPerAddress));
        if (region.type != kConfigRegionType) plan.memoryBytes += std::uint64_t{region.length} * layout.bytesPerAddress;
    }
    loadHexText(hexText, ImageSet{layout.regions, images, layout.bytesPerAddress});
    const ProgrammingInput input{layout.regions, images, layout.bytesPerPacket, layout.bytesPerAddress};
    for (const Report& report : programmingReports(input))
        if (report[kCommandOffset] == BootCmdProgram) plan.programBytes += report[kCountOffset];
    return plan;
}

std::string describeProgramRegions(const DeviceLayout& layout)
{
    std::string text;
    for (const MemoryRegion& region : layout.regions) {
        if (region.type == kConfigRegionType) continue;
        char range[48];
        std::snprintf(range, sizeof range, "%s0x%X-0x%llX", text.empty() ? "" : ", ", static_cast<unsigned>(region.start),
                      static_cast<unsigned long long>(regionEnd(region) - (region.length > 0 ? 1 : 0)));
        text += range;
    }
    return text.empty() ? "none" : text;
}

}  // namespace zerlin
