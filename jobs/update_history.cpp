#include "update_history.h"

#include "platform/files/file_sync.h"
#include "platform/core/utf8_path.h"

#include <QDate>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kTailBytes = 256 * 1024;  // enough for far more rows than a report shows

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(platform::utf8Path(path), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string lastErrorText() {
    return errno != 0 ? std::generic_category().message(errno) : std::string("the system gave no reason");
}

// The first bytes of a history file that this version wrote.
std::string expectedStart() { return std::string(kUtf8ByteOrderMark) + historyHeaderLine(); }

}  // namespace

UpdateHistory::UpdateHistory(const std::string& recordFolder) : folder_(recordFolder) {
    if (!folder_.empty() && folder_.back() != '/' && folder_.back() != '\\') folder_ += '/';
    if (auto kept = readWholeFile(pendingPath()); kept && !kept->empty()) pending_.push_back(std::move(*kept));
}

std::optional<std::string> UpdateHistory::append(const HistoryEntry& entry) {
    const std::lock_guard lock(mutex_);
    pending_.push_back(historyRowLine(entry));
    return appendKeptRows();
}

std::optional<std::string> UpdateHistory::appendPending() {
    const std::lock_guard lock(mutex_);
    return appendKeptRows();
}

std::size_t UpdateHistory::pendingRows() const {
    const std::lock_guard lock(mutex_);
    return pending_.size();
}

std::optional<std::string> UpdateHistory::problemToTell(const std::optional<std::string>& problem) {
    const std::lock_guard lock(mutex_);
    const bool tell = problem && !problemTold_;
    problemTold_ = problem.has_value();
    return tell ? problem : std::nullopt;
}

// A file grown to its limit, or begun by another version with other columns, is renamed
// UpdateHistory-<date>.csv (-2, -3 ... when that is taken), its rows kept as they are.
std::optional<std::string> UpdateHistory::setAsideIfNeeded() {
    const fs::path path = platform::utf8Path(historyPath());
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size == 0) return std::nullopt;
    std::string start(expectedStart().size(), '\0');
    {
        std::ifstream in(path, std::ios::binary);
        if (!in.read(start.data(), static_cast<std::streamsize>(start.size()))) start.clear();
    }
    if (size < kRotateBytes && start == expectedStart()) return std::nullopt;
    const std::string stem = folder_ + "UpdateHistory-" + QDate::currentDate().toString(Qt::ISODate).toStdString();
    fs::path target = platform::utf8Path(stem + ".csv");
    for (int number = 2; fs::exists(target, error); ++number)
        target = platform::utf8Path(stem + '-' + std::to_string(number) + ".csv");
    fs::rename(path, target, error);
    if (error) return "cannot rename " + historyPath() + ": " + error.message();
    return std::nullopt;
}

std::optional<std::string> UpdateHistory::appendKeptRows() {
    if (pending_.empty()) return std::nullopt;
    if (auto problem = setAsideIfNeeded()) {
        keepPendingRowsOnDisk();
        return problem;
    }
    const fs::path path = platform::utf8Path(historyPath());
    std::error_code error;
    std::uintmax_t size = fs::file_size(path, error);
    if (error) size = 0;  // none yet; anything else shows when it is opened
    bool endsInLineBreak = true;
    if (size > 0) {
        std::ifstream in(path, std::ios::binary);
        in.seekg(-1, std::ios::end);
        endsInLineBreak = in.get() == '\n';
    }
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out) {
        const std::string problem = "cannot open " + historyPath() + ": " + lastErrorText();
        keepPendingRowsOnDisk();
        return problem;
    }
    if (size == 0) out << kUtf8ByteOrderMark << historyHeaderLine();
    // A last line cut short (a power cut during an append) stays as it is; the rows go below it.
    if (!endsInLineBreak) out << "\r\n";
    for (const std::string& rows : pending_) out << rows;
    out.close();
    if (!out) {
        const std::string problem = "cannot write " + historyPath() + ": " + lastErrorText();
        keepPendingRowsOnDisk();
        return problem;
    }
    pending_.clear();
    fs::remove(platform::utf8Path(pendingPath()), error);
    if (!platform::syncFileToDisk(historyPath())) return "cannot hand " + historyPath() + " to the disk";
    return std::nullopt;
}

// Best effort: in a folder that cannot be written to, the rows stay in memory only.
void UpdateHistory::keepPendingRowsOnDisk() {
    std::ofstream out(platform::utf8Path(pendingPath()), std::ios::binary | std::ios::trunc);
    for (const std::string& rows : pending_) out << rows;
}

// Rewritten in place, padded with empty lines to the length it had: cutting a file back to nothing
// and writing it again makes some file systems write it out at once, which a job would wait for
// at every step.
bool UpdateHistory::writeMarker(const HistoryEntry& entry, bool sync) {
    {
        const fs::path path = platform::utf8Path(markerPath());
        std::string text = markerText(entry);
        std::error_code error;
        const std::uintmax_t size = fs::file_size(path, error);
        if (!error && size > text.size()) text.append(static_cast<std::size_t>(size - text.size()), '\n');
        std::ofstream out(path, error ? std::ios::binary : std::ios::binary | std::ios::in | std::ios::out);
        out << text;
        out.close();
        if (!out) return false;
    }
    return !sync || platform::syncFileToDisk(markerPath());
}

void UpdateHistory::removeMarker() {
    std::error_code error;
    fs::remove(platform::utf8Path(markerPath()), error);
}

std::optional<HistoryEntry> UpdateHistory::recoverInterruptedJob(std::optional<std::string>& problem) {
    problem.reset();
    const std::optional<std::string> text = readWholeFile(markerPath());
    if (!text) return std::nullopt;
    std::optional<HistoryEntry> entry = parseMarker(*text);
    if (!entry) {
        removeMarker();  // not a marker this program wrote whole: nothing to tell
        return std::nullopt;
    }
    entry->result = "interrupted";
    entry->error = "The program ended during the job";
    problem = append(*entry);
    std::error_code error;
    if (entry->job == "update" && leavesControllerInBootloader(entry->step))
        fs::rename(platform::utf8Path(markerPath()), platform::utf8Path(strandedPath()), error);
    else
        removeMarker();
    return entry;
}

std::optional<HistoryEntry> UpdateHistory::strandedUpdate() const {
    const std::optional<std::string> text = readWholeFile(strandedPath());
    return text ? parseMarker(*text) : std::nullopt;
}

void UpdateHistory::removeStrandedUpdate() {
    std::error_code error;
    fs::remove(platform::utf8Path(strandedPath()), error);
}

std::vector<std::string> UpdateHistory::lastRows(std::size_t count) const {
    std::ifstream in(platform::utf8Path(historyPath()), std::ios::binary | std::ios::ate);
    if (!in || count == 0) return {};
    const std::streamoff size = in.tellg();
    const std::streamoff start = size > static_cast<std::streamoff>(kTailBytes) ? size - static_cast<std::streamoff>(kTailBytes) : 0;
    in.seekg(start);
    const std::string tail(std::istreambuf_iterator<char>(in), {});
    // The first line of a tail may be cut, and the file's own first line is the header: both go.
    // A line break inside a quoted field (an error text of two lines) stays in its row.
    std::vector<std::string> lines;
    std::string line;
    bool quoted = false;
    const std::size_t firstBreak = tail.find('\n');
    for (std::size_t i = firstBreak == std::string::npos ? tail.size() : firstBreak + 1; i < tail.size(); ++i) {
        const char c = tail[i];
        if (c == '"') quoted = !quoted;
        if (c == '\n' && !quoted) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}
