#include "app/report/support_report.h"

#include "datafiles/file_names.h"

#include <algorithm>
#include <cctype>

namespace {

std::string latin1ToUtf8(std::string_view text)
{
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

std::string upperCased(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// A character that can continue a file or folder name: a match that ends before one of these is
// only part of a longer name (/home/al is no prefix of /home/alice).
bool continuesName(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return std::isalnum(byte) != 0 || c == '_' || c == '-' || c == '.' || byte >= 0x80;
}

bool equalsAt(std::string_view text, std::size_t at, std::string_view wanted)
{
    if (text.size() - at < wanted.size()) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const char a = text[at + i];
        const char b = wanted[i];
        if (isSeparator(a) && isSeparator(b)) continue;
        if (std::tolower(static_cast<unsigned char>(a)) != std::tolower(static_cast<unsigned char>(b))) return false;
    }
    return true;
}

// Replaces every whole-name occurrence of wanted (separators matching either separator, letters in
// any case); mustFollowSeparator also asks for a separator just before it.
std::string replaceNames(std::string_view text, std::string_view wanted, std::string_view replacement,
                         bool mustFollowSeparator)
{
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const bool startsRight = mustFollowSeparator ? at > 0 && isSeparator(text[at - 1])
                                                     : at == 0 || !continuesName(text[at - 1]);
        const std::size_t end = at + wanted.size();
        if (startsRight && equalsAt(text, at, wanted) && (end == text.size() || !continuesName(text[end]))) {
            out += replacement;
            at = end;
        } else {
            out += text[at++];
        }
    }
    return out;
}

bool isRoot(std::string_view folder)
{
    return folder.empty() || (folder.size() == 2 && folder[1] == ':');
}

std::string padded(std::string text, std::size_t width)
{
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

std::string heading(std::string_view title) { return "\n[" + std::string(title) + "]\n"; }

std::string valueOr(const std::string& value, std::string_view fallback)
{
    return value.empty() ? std::string(fallback) : value;
}

std::string programSection(const SupportFacts& facts)
{
    return heading("Program") + "Version: " + facts.programVersion + "\nBuild: " + facts.programBuild +
           "\nQt: " + facts.qtVersion + "\nProgram folder: " + facts.programFolder + "\n";
}

std::string systemSection(const SupportFacts& facts)
{
    return heading("System") + "Computer: " + facts.computerName + "\nOperating system: " + facts.osName +
           "\nKernel: " + facts.kernel + "\nArchitecture: " + facts.cpuArchitecture + " (program built for " +
           facts.buildArchitecture + ")\n";
}

std::string modelSection(const SupportFacts& facts)
{
    std::string text = heading("Model table");
    if (facts.models.empty()) return text + "(no rows read)\n";
    for (const DeviceModel& model : facts.models)
        text += padded(latin1ToUtf8(model.modelName), 28) + " " + padded(model.vidPid, 17) +
                "  arrays: " + std::to_string(model.arrayCount) + "  chip: " + model.chipType + "\n";
    return text;
}

// The model a hardware ID belongs to, by the rule detection uses: the upper-cased ID holds vidPid.
const DeviceModel* modelOf(const std::string& hardwareId, const std::vector<DeviceModel>& models)
{
    const std::string id = upperCased(hardwareId);
    for (const DeviceModel& model : models)
        if (!model.vidPid.empty() && id.find(model.vidPid) != std::string::npos) return &model;
    return nullptr;
}

std::string hidSection(const SupportFacts& facts)
{
    std::string text = heading("HID interfaces");
    if (!facts.hidListError.empty()) text += "The listing failed: " + facts.hidListError + "\n";
    std::size_t others = 0;
    std::string known;
    for (const ReportHidInterface& interface : facts.hidInterfaces) {
        const DeviceModel* model = modelOf(interface.hardwareId, facts.models);
        if (model == nullptr) {
            ++others;
            continue;
        }
        known += "  " + interface.hardwareId + "  " + interface.path + "  (" + latin1ToUtf8(model->modelName) + ")\n";
    }
    text += "Of known models:" + std::string(known.empty() ? " none\n" : "\n" + known);
    return text + "Others: " + std::to_string(others) + "\n";
}

std::string driveSection(const SupportFacts& facts)
{
    std::string text = heading("Drives");
    if (facts.drives.empty()) return text + "(none)\n";
    for (const ReportDrive& drive : facts.drives) text += padded(drive.drive, 4) + "  " + drive.type + "\n";
    return text;
}

std::string fileName(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string roleOf(const ReportFile& file, const SupportFacts& facts)
{
    if (file.path == facts.pickedFirmware) return "picked firmware";
    if (file.path == facts.pickedImageData) return "picked image data";
    switch (classifyFirmwareFile(fileName(file.path)).kind) {
    case FirmwareFileKind::Firmware:
        return "firmware";
    case FirmwareFileKind::ImageData:
        return "image data";
    case FirmwareFileKind::Other:
        break;
    }
    return "other";
}

std::string fileSection(const SupportFacts& facts)
{
    std::string text = heading("Firmware and image data files") + "Firmware folder: " + facts.firmwareFolder +
                       "\nPicked firmware: " + valueOr(facts.pickedFirmware, "none") +
                       "\nPicked image data: " + valueOr(facts.pickedImageData, "none") + "\n";
    if (facts.files.empty()) return text + "(no files)\n";
    for (const ReportFile& file : facts.files) {
        text += file.path + "\n    " + roleOf(file, facts) + ", ";
        if (!file.size) {
            text += "cannot be read\n";
            continue;
        }
        text += std::to_string(*file.size) + " bytes, SHA-256 " +
                (file.sha256.empty() ? "not computed (" + file.notHashedBecause + ")" : file.sha256) + "\n";
        if (!file.signature.empty()) text += "    signature: " + file.signature + "\n";
    }
    return text;
}

std::string historySection(const SupportFacts& facts)
{
    std::string text = heading("Update history");
    if (!facts.historyUnreadable.empty()) return text + "The history cannot be read: " + facts.historyUnreadable + "\n";
    if (!facts.history) return text + "none\n";
    const HistoryTail tail = historyTail(*facts.history, kReportHistoryRows);
    if (tail.rows.empty()) return text + "(no rows)\n";
    text += tail.header + "\n";
    for (const std::string& row : tail.rows) text += row + "\n";
    return text;
}

std::string logSection(std::string_view title, const std::string& log)
{
    std::string text = heading(title);
    if (log.empty()) return text + "(empty)\n";
    return text + log + (log.back() == '\n' ? "" : "\n");
}

}  // namespace

HistoryTail historyTail(std::string_view csv, std::size_t count)
{
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (csv.substr(0, kByteOrderMark.size()) == kByteOrderMark) csv.remove_prefix(kByteOrderMark.size());
    std::vector<std::string_view> records;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= csv.size(); ++at) {
        if (at < csv.size() && csv[at] == '"') quoted = !quoted;
        if (at < csv.size() && (quoted || csv[at] != '\n')) continue;
        std::string_view record = csv.substr(start, at - start);
        if (!record.empty() && record.back() == '\r') record.remove_suffix(1);
        if (!record.empty()) records.push_back(record);
        start = at + 1;
    }
    HistoryTail tail;
    if (records.empty()) return tail;
    tail.header = records.front();
    const std::size_t first = std::max<std::size_t>(1, records.size() > count ? records.size() - count : 1);
    for (std::size_t i = first; i < records.size(); ++i) tail.rows.emplace_back(records[i]);
    return tail;
}

std::string withoutUser(std::string text, std::string_view homeFolder, std::string_view userFolderName)
{
    while (!homeFolder.empty() && isSeparator(homeFolder.back())) homeFolder.remove_suffix(1);
    if (!isRoot(homeFolder)) text = replaceNames(text, homeFolder, "~", false);
    if (!userFolderName.empty()) text = replaceNames(text, userFolderName, "<user>", true);
    return text;
}

std::string supportReportText(const SupportFacts& facts)
{
    const std::string text = "Lumaro Tessaray Controller Firmware Update Utility: support report\nCreated: " +
                             facts.createdAt + "\n" + programSection(facts) + systemSection(facts) +
                             modelSection(facts) + hidSection(facts) + driveSection(facts) + fileSection(facts) +
                             historySection(facts) + logSection("Update log", facts.updateLog) +
                             logSection("System log", facts.systemLog);
    return withoutUser(text, facts.homeFolder, facts.userFolderName);
}
