#include "recorder/workbook/xlsx_workbook_server.h"

#include "recorder/workbook/sheet_limits.h"
#include "recorder/workbook/typed_text.h"

#include "platform/files/exclusive_file.h"
#include "platform/files/file_move.h"
#include "platform/core/narrow_path.h"
#include "platform/core/utf8_path.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using automation::AutomationError;
using automation::CallKind;
using automation::ErrorCode;
using automation::ObjectRef;
using automation::Value;

// Each distinct text is kept once, with what the program makes of it, and cells refer to it by
// number: a log repeats the same few numbers in every row, so each is read only once. A text is
// kept as entered: one marked as text (typed_text.h) is another entry than the same text unmarked.
class TextTable {
public:
    std::uint32_t idOf(const std::string& entered)
    {
        const auto [entry, added] = ids_.try_emplace(entered, static_cast<std::uint32_t>(texts_.size()));
        if (added) {
            const bool markedText = isMarkedAsText(entered);
            std::string text = markedText ? entered.substr(1) : entered;
            const TypedText typed = markedText ? TypedText{} : typeOfEnteredText(entered);
            const std::size_t width = shownWidth(text);
            texts_.push_back({std::move(text), typed, width});
        }
        return entry->second;
    }
    const std::string& text(std::uint32_t id) const { return texts_[id].text; }
    const TypedText& typed(std::uint32_t id) const { return texts_[id].typed; }
    std::size_t width(std::uint32_t id) const { return texts_[id].width; }

private:
    struct Entry {
        std::string text;  // the cell's text, without the mark
        TypedText typed;
        std::size_t width;
    };
    std::unordered_map<std::string, std::uint32_t> ids_;
    std::vector<Entry> texts_;
};

// The cells of one row that hold something, by column, ascending: only what was written takes room,
// wherever in the row it is.
class Row {
public:
    struct Cell {
        std::int32_t column;
        std::uint32_t id;  // into the text table
    };
    const std::vector<Cell>& cells() const { return cells_; }

    const Cell* find(std::int32_t column) const
    {
        const auto at = lowerBound(column);
        return at != cells_.end() && at->column == column ? &*at : nullptr;
    }
    void set(std::int32_t column, std::uint32_t id)
    {
        if (cells_.empty() || cells_.back().column < column) {  // a log writes left to right
            cells_.push_back({column, id});
            return;
        }
        const auto at = lowerBound(column);
        if (at != cells_.end() && at->column == column)
            at->id = id;
        else
            cells_.insert(at, {column, id});
    }
    void clear(std::int32_t column)
    {
        const auto at = lowerBound(column);
        if (at != cells_.end() && at->column == column) cells_.erase(at);
    }

private:
    std::vector<Cell>::iterator lowerBound(std::int32_t column)
    {
        return std::ranges::lower_bound(cells_, column, {}, &Cell::column);
    }
    std::vector<Cell>::const_iterator lowerBound(std::int32_t column) const
    {
        return std::ranges::lower_bound(cells_, column, {}, &Cell::column);
    }
    std::vector<Cell> cells_;
};

struct Sheet {
    explicit Sheet(std::string sheetName) : name(std::move(sheetName)) {}

    std::string name;
    std::map<std::int32_t, Row> rows;

    // The row, made when new. A log writes row after row, so the row written last is kept at hand
    // rather than searched for at every cell.
    Row& row(std::int32_t number)
    {
        if (lastRow_ == nullptr || lastRowNumber_ != number) {
            lastRow_ = &rows[number];
            lastRowNumber_ = number;
        }
        return *lastRow_;
    }

private:
    Row* lastRow_ = nullptr;  // map entries stay where they are
    std::int32_t lastRowNumber_ = 0;
};

struct Workbook {
    TextTable texts;
    std::vector<Sheet> sheets = std::vector<Sheet>(1, Sheet("Sheet1"));
};

// The program's state; its objects reach their workbook through it, so Quit frees every workbook
// even while callers still hold references to the objects.
struct Instance {
    bool quit = false;
    bool visible = false;
    std::vector<std::unique_ptr<Workbook>> workbooks;
};

bool sameName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

[[noreturn]] void refuse(const std::string& description)
{
    throw AutomationError(ErrorCode::ServerRefused, description);
}

void expectCount(std::span<const Value> args, std::size_t count)
{
    if (args.size() != count) throw AutomationError(ErrorCode::BadParamCount, "Invalid number of parameters.");
}

template <typename T>
const T& argument(std::span<const Value> args, std::size_t index)
{
    const T* value = std::get_if<T>(&args[index]);
    if (value == nullptr) throw AutomationError(ErrorCode::TypeMismatch, "Type mismatch.");
    return *value;
}

bool isRead(CallKind kind) { return kind != CallKind::PropertyPut; }

// A column as wide as its widest cell, where a text with an empty cell to its right does not count:
// it runs on over that cell as in the program, as the title of the log does.
class ColumnWidths {
public:
    void take(std::size_t column, std::size_t chars)
    {
        if (widest_.size() <= column) widest_.resize(column + 1, 0);
        widest_[column] = std::max(widest_[column], chars);
    }
    lxw_error apply(lxw_worksheet* sheet) const
    {
        for (std::size_t column = 0; column < widest_.size(); ++column) {
            const double width = static_cast<double>(widest_[column]) + kPadding;
            if (width <= LXW_DEF_COL_WIDTH) continue;
            const auto at = static_cast<lxw_col_t>(column);
            if (const lxw_error error = worksheet_set_column(sheet, at, at, width, nullptr); error != LXW_NO_ERROR)
                return error;
        }
        return LXW_NO_ERROR;
    }

private:
    static constexpr double kPadding = 1.5;  // the cell's margins, in characters
    std::vector<std::size_t> widest_;
};

// Writes one cell as the program would have stored what was typed into it.
lxw_error writeCell(lxw_worksheet* out, lxw_row_t row, lxw_col_t column, const TextTable& texts, std::uint32_t id,
                    lxw_format* timeFormat)
{
    const TypedText& typed = texts.typed(id);
    switch (typed.kind) {
    case TypedText::Number:
        return worksheet_write_number(out, row, column, typed.value, nullptr);
    case TypedText::TimeOfDay:
        return worksheet_write_number(out, row, column, typed.value, timeFormat);
    case TypedText::Text:
        break;
    }
    return worksheet_write_string(out, row, column, texts.text(id).c_str(), nullptr);
}

lxw_error writeSheet(lxw_worksheet* out, const Sheet& sheet, const TextTable& texts, lxw_format* timeFormat)
{
    ColumnWidths widths;
    for (const auto& [row, cells] : sheet.rows) {
        const std::vector<Row::Cell>& filled = cells.cells();
        for (std::size_t at = 0; at < filled.size(); ++at) {
            const auto [column, id] = filled[at];
            const auto index = static_cast<std::size_t>(column - 1);
            const lxw_error error = writeCell(out, static_cast<lxw_row_t>(row - 1), static_cast<lxw_col_t>(index), texts,
                                              id, timeFormat);
            if (error != LXW_NO_ERROR) return error;
            const bool spillsRight = texts.typed(id).kind == TypedText::Text &&
                                     (at + 1 == filled.size() || filled[at + 1].column != column + 1);
            if (!spillsRight) widths.take(index, texts.width(id));
        }
    }
    return widths.apply(out);
}

// Writes the workbook beside path first and moves it into place, so that a failed save leaves any
// earlier file at path as it was, and a power cut after the save leaves the new one whole. The
// partial file is made here under a fresh name (a link planted under a name known ahead would send
// the writing into another file) and held open meanwhile, so that it is synced as written. Returns
// an empty text on success, else why it failed.
std::string saveAsXlsx(const Workbook& workbook, const std::string& path)
{
    std::string partial;
    platform::File held = platform::createUniqueFile(path, ".saving", partial);
    if (!held.isOpen()) return "the file cannot be made (" + platform::lastErrorText() + ")";
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go to disk as written: memory stays flat for any size
    // Its scratch files go beside the workbook, which is writable when the save can succeed at all;
    // the system's temporary folder need not be (the root of the system drive on Windows).
    // The writer opens files by narrow names, which Windows reads in the ANSI code page: the partial
    // file and the folder are handed over by names that reach them.
    const std::filesystem::path target = platform::utf8Path(path);
    const std::optional<std::string> partialName = platform::narrowPathOf(platform::utf8Path(partial));
    std::optional<std::string> scratchFolder =
        platform::narrowPathOf(target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path());
    if (!partialName || !scratchFolder) {
        held.close();
        std::error_code ignored;
        std::filesystem::remove(platform::utf8Path(partial), ignored);
        return "the workbook writer cannot reach this folder (no name for it in the system's code page)";
    }
    options.tmpdir = scratchFolder->data();
    lxw_workbook* file = workbook_new_opt(partialName->c_str(), &options);
    lxw_error error = file == nullptr ? LXW_ERROR_MEMORY_MALLOC_FAILED : LXW_NO_ERROR;
    if (file != nullptr) {
        lxw_format* timeFormat = workbook_add_format(file);
        format_set_num_format(timeFormat, "hh:mm:ss");
        for (const Sheet& sheet : workbook.sheets) {
            lxw_worksheet* out = workbook_add_worksheet(file, sheet.name.c_str());
            error = out == nullptr ? LXW_ERROR_MEMORY_MALLOC_FAILED : writeSheet(out, sheet, workbook.texts, timeFormat);
            if (error != LXW_NO_ERROR) break;
        }
        const lxw_error closeError = workbook_close(file);  // frees the workbook whatever happened
        if (error == LXW_NO_ERROR) error = closeError;
    }
    std::string failure = error != LXW_NO_ERROR ? lxw_strerror(error) : std::string();
    if (failure.empty() && !held.sync()) failure = "the file could not be written to the disk";
    held.close();
    if (failure.empty() && !platform::moveIntoPlace(partial, path)) failure = "the file could not be put in place";
    if (failure.empty()) return {};
    std::error_code ignored;
    std::filesystem::remove(platform::utf8Path(partial), ignored);
    return failure;
}

// Every object of an instance answers nothing once its program has quit.
class InstanceObject : public automation::Object {
public:
    explicit InstanceObject(std::shared_ptr<Instance> instance) : instance_(std::move(instance)) {}

    Value invoke(std::string_view member, CallKind kind, std::span<const Value> args) final
    {
        if (instance_->quit)
            throw AutomationError(ErrorCode::Disconnected, "The object invoked has disconnected from its clients.");
        std::optional<Value> result = answer(member, kind, args);
        if (!result) throw AutomationError(ErrorCode::MemberNotFound, "Member not found: \"" + std::string(member) + "\".");
        return *std::move(result);
    }

protected:
    // The member's result, or nothing when this object has no such member for this kind of call.
    virtual std::optional<Value> answer(std::string_view member, CallKind kind, std::span<const Value> args) = 0;
    const std::shared_ptr<Instance>& instance() const { return instance_; }

private:
    std::shared_ptr<Instance> instance_;
};

class RangeObject final : public InstanceObject {
public:
    RangeObject(std::shared_ptr<Instance> instance, Workbook* workbook, std::size_t sheet,
                std::int32_t row, std::int32_t column)
        : InstanceObject(std::move(instance)), workbook_(workbook), sheet_(sheet), row_(row), column_(column) {}

protected:
    std::optional<Value> answer(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        if (!sameName(member, "Value")) return std::nullopt;
        std::map<std::int32_t, Row>& rows = workbook_->sheets[sheet_].rows;
        if (isRead(kind)) {
            expectCount(args, 0);
            const auto row = rows.find(row_);
            const Row::Cell* cell = row == rows.end() ? nullptr : row->second.find(column_);
            if (cell == nullptr) return Value{};
            return Value{workbook_->texts.text(cell->id)};
        }
        expectCount(args, 1);
        const std::string& text = argument<std::string>(args, 0);
        if (cellTextLength(text) - (isMarkedAsText(text) ? 1 : 0) > kCellMaxChars)
            refuse("A cell holds at most 32767 characters.");
        Row& cells = workbook_->sheets[sheet_].row(row_);
        if (text.empty())
            cells.clear(column_);
        else
            cells.set(column_, workbook_->texts.idOf(text));
        return Value{};
    }

private:
    Workbook* workbook_;
    std::size_t sheet_;
    std::int32_t row_;
    std::int32_t column_;
};

class WorksheetObject final : public InstanceObject {
public:
    WorksheetObject(std::shared_ptr<Instance> instance, Workbook* workbook, std::size_t sheet)
        : InstanceObject(std::move(instance)), workbook_(workbook), sheet_(sheet) {}

protected:
    std::optional<Value> answer(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        if (!isRead(kind)) return std::nullopt;
        if (sameName(member, "Name")) {
            expectCount(args, 0);
            return Value{workbook_->sheets[sheet_].name};
        }
        if (!sameName(member, "Cells")) return std::nullopt;
        expectCount(args, 2);
        const std::int32_t row = argument<std::int32_t>(args, 0);
        const std::int32_t column = argument<std::int32_t>(args, 1);
        if (row < 1 || row > kSheetMaxRow || column < 1 || column > kSheetMaxColumn)
            refuse("Application-defined or object-defined error: no cell at row " + std::to_string(row) + ", column " +
                   std::to_string(column) + ".");
        return Value{ObjectRef{std::make_shared<RangeObject>(instance(), workbook_, sheet_, row, column)}};
    }

private:
    Workbook* workbook_;
    std::size_t sheet_;
};

class WorksheetsObject final : public InstanceObject {
public:
    WorksheetsObject(std::shared_ptr<Instance> instance, Workbook* workbook)
        : InstanceObject(std::move(instance)), workbook_(workbook) {}

protected:
    std::optional<Value> answer(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        if (!isRead(kind)) return std::nullopt;
        const auto count = static_cast<std::int32_t>(workbook_->sheets.size());
        if (sameName(member, "Count")) {
            expectCount(args, 0);
            return Value{count};
        }
        if (!sameName(member, "Item")) return std::nullopt;
        expectCount(args, 1);
        const std::int32_t number = argument<std::int32_t>(args, 0);
        if (number < 1 || number > count) throw AutomationError(ErrorCode::BadIndex, "Invalid index.");
        // Every cell write asks for its sheet again: the same object serves each time.
        const auto index = static_cast<std::size_t>(number - 1);
        if (sheets_.size() <= index) sheets_.resize(index + 1);
        if (!sheets_[index]) sheets_[index] = std::make_shared<WorksheetObject>(instance(), workbook_, index);
        return Value{sheets_[index]};
    }

private:
    Workbook* workbook_;
    std::vector<ObjectRef> sheets_;
};

class WorkbookObject final : public InstanceObject {
public:
    WorkbookObject(std::shared_ptr<Instance> instance, Workbook* workbook)
        : InstanceObject(std::move(instance)), workbook_(workbook) {}

protected:
    std::optional<Value> answer(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        if (!isRead(kind)) return std::nullopt;
        if (sameName(member, "Worksheets")) {
            expectCount(args, 0);
            if (!worksheets_) worksheets_ = std::make_shared<WorksheetsObject>(instance(), workbook_);
            return Value{worksheets_};
        }
        if (!sameName(member, "SaveAs")) return std::nullopt;
        expectCount(args, 1);
        const std::string& path = argument<std::string>(args, 0);
        if (path.empty()) refuse("SaveAs needs a file name.");
        const std::string failure = saveAsXlsx(*workbook_, path);
        if (!failure.empty()) refuse("Cannot save the workbook as '" + path + "': " + failure + ".");
        return Value{};
    }

private:
    Workbook* workbook_;
    ObjectRef worksheets_;  // every cell write asks for it again
};

class WorkbooksObject final : public InstanceObject {
public:
    using InstanceObject::InstanceObject;

protected:
    std::optional<Value> answer(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        if (!isRead(kind) || !sameName(member, "Add")) return std::nullopt;
        expectCount(args, 0);
        instance()->workbooks.push_back(std::make_unique<Workbook>());
        return Value{ObjectRef{std::make_shared<WorkbookObject>(instance(), instance()->workbooks.back().get())}};
    }
};

class ApplicationObject final : public InstanceObject {
public:
    ApplicationObject() : InstanceObject(std::make_shared<Instance>()) {}

protected:
    std::optional<Value> answer(std::string_view member, CallKind kind, std::span<const Value> args) override
    {
        if (sameName(member, "Visible")) {
            if (isRead(kind)) {
                expectCount(args, 0);
                return Value{instance()->visible};
            }
            expectCount(args, 1);
            instance()->visible = argument<bool>(args, 0);  // there is no window to show: only remembered
            return Value{};
        }
        if (!isRead(kind)) return std::nullopt;
        if (sameName(member, "Workbooks")) {
            expectCount(args, 0);
            return Value{ObjectRef{std::make_shared<WorkbooksObject>(instance())}};
        }
        if (!sameName(member, "Quit")) return std::nullopt;
        expectCount(args, 0);
        instance()->quit = true;
        instance()->workbooks.clear();  // unsaved workbooks go with the program
        return Value{};
    }
};

}  // namespace

ObjectRef createXlsxWorkbookServer()
{
    return std::make_shared<ApplicationObject>();
}
