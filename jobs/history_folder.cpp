#include "jobs/history_folder.h"

#include "jobs/history_folder_carry_over.h"
#include "platform/core/utf8_path.h"
#include "platform/files/folder_link.h"

#include <filesystem>
#include <system_error>

std::string historyFolderOf(const std::string& appFolder) {
    const std::string shared = appFolder + "History/";
    std::error_code error;
    const std::string record = appFolder + "Record/";
    if (!std::filesystem::is_directory(platform::utf8Path(shared), error) || platform::isUntrustedFolderLink(shared))
        return record;
    carryOverOlderHistory(record, shared);
    return shared;
}
