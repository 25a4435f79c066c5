#include "xlsx_workbook_server.h"

#include "typed_text.h"

#include "platform/narrow_path.h"
#include "platform/utf8_path.h"

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

// The limits of an Office Open XML worksheet.
constexpr std::int32_t kMaxRow = 1048576;
constexpr std::int32_t kMaxColumn = 16384;
constexpr std::size_t kMaxCellText = 32767;

// Each distinct text is kept once, with what the program makes of it, and cells refer to it by
// number: a log repeats the same few numbers in every row, so each is read only once.
class TextTable {
public:
    std::uint32_t idOf(const std::string& text)
    {
        const auto [entry, added] = ids_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
        if (added) texts_.push_back({&entry->first, typeOfEnteredText(text), shownWidth(text)});
        return entry->second;
    }
    const std::string& text(std::uint32_t id) const { return *texts_[id].text; }
    const TypedText& typed(std::uint32_t id) const { return texts_[id].typed; }
    std::size_t width(std::uint32_t id) const { return texts_[id].width; }

private:
    struct Entry {
        const std::string* text;
        TypedText typed;
        std::size_t width;
    };
    std::unordered_map<std::string, std::uint32_t> ids_;
    std::vector<Entry> texts_;
};

// Row number to its cells by column index; a cell holds text id + 1, 0 when empty.
struct Sheet {
    explicit Sheet(std::string sheetName) : name(std::move(sheetName)) {}

    std::string name;
    std::map<std::int32_t, std::vector<std::uint32_t>> rows;

    // The cells of a row, made when new. A log writes row after row, so the row written last is
    // kept at hand rather than searched for at every cell.
    std::vector<std::uint32_t>& row(std::int32_t number)
    {
        if (lastRow_ == nullptr || lastRowNumber_ != number) {
            lastRow_ = &rows[number];
            lastRowNumber_ = number;
        }
        return *lastRow_;
    }

private:
    std::vector<std::uint32_t>* lastRow_ = nullptr;  // map entries stay where they are
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
        for (std::size_t column = 0; column < cells.size(); ++column) {
            const std::uint32_t cell = cells[column];
            if (cell == 0) continue;
            const lxw_error error = writeCell(out, static_cast<lxw_row_t>(row - 1), static_cast<lxw_col_t>(column), texts,
                                              cell - 1, timeFormat);
            if (error != LXW_NO_ERROR) return error;
            const bool spillsRight = texts.typed(cell - 1).kind == TypedText::Text &&
                                     (column + 1 >= cells.size() || cells[column + 1] == 0);
            if (!spillsRight) widths.take(column, texts.width(cell - 1));
        }
    }
    return widths.apply(out);
}

// Writes the workbook beside path first and moves it into place, so that a failed save leaves any
// earlier file at path as it was. Returns an empty text on success, else why it failed.
std::string saveAsXlsx(const Workbook& workbook, const std::filesystem::path& path)
{
    std::filesystem::path partial = path;
    partial += ".saving";
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go to disk as written: memory stays flat for any size
    // Its scratch files go beside the workbook, which is writable when the save can succeed at all;
    // the system's temporary folder need not be (the root of the system drive on Windows).
    // The writer opens files by narrow names, which Windows reads in the ANSI code page: the partial
    // file is made by its wide name first, and both are handed over by names that reach them.
    std::ofstream(partial).close();
    const std::optional<std::string> partialName = platform::narrowPathOf(partial);
    std::optional<std::string> scratchFolder =
        platform::narrowPathOf(path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path());
    std::error_code fsError;
    if (!partialName || !scratchFolder) {
        std::filesystem::remove(partial, fsError);
        return "the workbook writer cannot reach this folder (no name for it in the system's code page)";
    }
    options.tmpdir = scratchFolder->data();
    lxw_workbook* file = workbook_new_opt(partialName->c_str(), &options);
    if (file == nullptr) return "out of memory";
    lxw_format* timeFormat = workbook_add_format(file);
    format_set_num_format(timeFormat, "hh:mm:ss");
    lxw_error error = LXW_NO_ERROR;
    for (const Sheet& sheet : workbook.sheets) {
        lxw_worksheet* out = workbook_add_worksheet(file, sheet.name.c_str());
        error = out == nullptr ? LXW_ERROR_MEMORY_MALLOC_FAILED : writeSheet(out, sheet, workbook.texts, timeFormat);
        if (error != LXW_NO_ERROR) break;
    }
    const lxw_error closeError = workbook_close(file);  // frees the workbook whatever happened
    if (error == LXW_NO_ERROR) error = closeError;
    if (error == LXW_NO_ERROR) {
        std::filesystem::rename(partial, path, fsError);
        if (!fsError) return {};
    }
    std::filesystem::remove(partial, fsError);
    return error != LXW_NO_ERROR ? lxw_strerror(error) : "the file could not be put in place";
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
        std::map<std::int32_t, std::vector<std::uint32_t>>& rows = workbook_->sheets[sheet_].rows;
        const auto columnIndex = static_cast<std::size_t>(column_ - 1);
        if (isRead(kind)) {
            expectCount(args, 0);
            const auto row = rows.find(row_);
            if (row == rows.end() || columnIndex >= row->second.size() || row->second[columnIndex] == 0) return Value{};
            return Value{workbook_->texts.text(row->second[columnIndex] - 1)};
        }
        expectCount(args, 1);
        const std::string& text = argument<std::string>(args, 0);
        if (text.size() > kMaxCellText) refuse("A cell holds at most 32767 characters.");
        std::vector<std::uint32_t>& cells = workbook_->sheets[sheet_].row(row_);
        if (cells.size() <= columnIndex) cells.resize(columnIndex + 1, 0);
        cells[columnIndex] = text.empty() ? 0 : workbook_->texts.idOf(text) + 1;
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
        if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn)
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
        const std::string failure = saveAsXlsx(*workbook_, platform::utf8Path(path));
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
