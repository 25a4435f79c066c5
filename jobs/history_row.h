// The update history's rows and the marker of a job still running, as text: formatting and reading
// only, no files. The history is a CSV file that a spreadsheet program opens as it is: UTF-8 with
// a byte-order mark, comma-separated, fields quoted where they hold a comma, a quote or a line break
// (and kept from being run as formulas).
#pragma once

#include "job_step.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What is known of one device job, at its end or, in the marker, so far.
struct HistoryEntry {
    std::string started;  // ISO 8601 local time with its UTC offset
    std::string ended;    // the same; in the marker, when the marker was last written
    double seconds = 0;   // from the start to the end (to the marker's last write)
    std::string job;      // "update", "erase", "reset"
    std::string modelName;
    std::string vidPid;
    std::string chipType;
    std::string firmwarePath;  // the row shows only the file's name; the marker keeps the path
    std::string firmwareSha256;
    std::string imagePath;
    std::string imageSha256;
    std::optional<std::int64_t> imageRecords;
    std::string result;  // "done", "failed", "stopped", "interrupted"; empty while the job runs
    JobStep step = JobStep::None;
    std::string error;
    std::string programVersion;
    std::string computerName;
    // What the update checked of the files' signatures: the key's id and the trusted comment, or
    // "unsigned" (update_signatures.h). The last column, so that older rows' columns stay in place.
    std::string signatures;
    // The USB port the controller was on when the job began; kept in the marker only, so that a
    // stranded update is finished on that controller's disk and no other. Empty: not known.
    std::string port;
    // The identity of the USB device the update took for its controller's disk (marker only): a
    // finish writes to that device and no other. Empty: the update had not found its disk.
    std::string diskIdentity;
};

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The header line, with its line end (CR LF, as the CSV format has it); no byte-order mark.
std::string historyHeaderLine();

// One row, with its line end.
std::string historyRowLine(const HistoryEntry& entry);

// A field as a CSV field: quoted, with its quotes doubled, when it holds a comma, a quote or a line
// break; quoted after an apostrophe when it begins with =, +, -, @, a tab or a carriage return, so
// that a spreadsheet program shows it as text instead of running it as a formula.
std::string csvField(std::string_view text);

// The file name at the end of a path, with either kind of separator.
std::string fileNameOf(std::string_view path);

// "2026-12-09T08:15:03+01:00": the local time's fields and its offset from UTC in seconds.
std::string isoLocalTime(int year, int month, int day, int hour, int minute, int second, int utcOffsetSeconds);

// The marker: one "key=value" line per field, backslashes and line breaks escaped. Reading
// ignores keys it does not know (a newer version's) and gives nothing for text that is no marker.
std::string markerText(const HistoryEntry& entry);
std::optional<HistoryEntry> parseMarker(std::string_view text);
