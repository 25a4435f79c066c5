// The program's own stop tool on Windows, this test program carrying two stand-in builds as its
// resources "S1" and "S2": each run gets a new folder of the user's temporary folder (here one whose
// name holds letters outside ASCII and a blank) that only its user may use, the written tool cannot
// be changed, renamed or deleted while it is held yet runs from there with the drive, and nothing is
// left afterwards.
#include "jobs/removedisk.h"

#include "platform/drives/drives.h"
#include "platform/core/owner_only_security_win.h"
#include "platform/core/utf8_path.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using platform::utf8Path;
using platform::utf8String;

std::string contentsOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> fieldsOf(const std::string& line)
{
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '|');) fields.push_back(field);
    return fields;
}

// Whether the security descriptor's access list, inheriting nothing, gives the user running this
// test (alone) full control over its object and everything made inside.
::testing::AssertionResult isThisUsersAlone(PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present)
        return ::testing::AssertionFailure() << "it has no access list";
    if ((control & SE_DACL_PROTECTED) == 0) return ::testing::AssertionFailure() << "it inherits from its parent";
    void* ace = nullptr;
    if (acl == nullptr || acl->AceCount != 1 || !GetAce(acl, 0, &ace))
        return ::testing::AssertionFailure() << "it has " << (acl == nullptr ? 0 : acl->AceCount) << " entries, not one";
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    alignas(TOKEN_USER) unsigned char user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    constexpr BYTE passedOn = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || allowed->Mask != FILE_ALL_ACCESS ||
        (allowed->Header.AceFlags & passedOn) != passedOn ||
        !EqualSid(const_cast<DWORD*>(&allowed->SidStart), reinterpret_cast<TOKEN_USER*>(user)->User.Sid))
        return ::testing::AssertionFailure() << "its one entry is not full control for this user, passed on";
    return ::testing::AssertionSuccess();
}

// Wine keeps no access lists of its own for files: it shows one made from the Unix mode.
bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// The user's temporary folder (TMP, which the system reads first) is, for one test, a new folder
// named "Zoë Müller <n>"; the stand-in tool writes its record beside it.
class StopToolOnWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temporary[MAX_PATH + 2];
        const DWORD length = GetTempPathW(MAX_PATH + 2, temporary);
        ASSERT_GT(length, 0u);
        base_ = fs::path(std::wstring(temporary, length));
        wchar_t before[MAX_PATH * 2];
        const DWORD beforeLength = GetEnvironmentVariableW(L"TMP", before, MAX_PATH * 2);
        if (beforeLength > 0 && beforeLength < MAX_PATH * 2) tmpBefore_ = std::wstring(before, beforeLength);
        do userTemp_ = base_ / utf8Path("Zo\xC3\xAB M\xC3\xBCller " + std::to_string(std::random_device{}()));
        while (!fs::create_directory(userTemp_));
        record_ = fs::path(userTemp_.native() + L".record");
        ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", (userTemp_.native() + L"\\").c_str()));
        ASSERT_TRUE(SetEnvironmentVariableW(L"LUMARO_STOP_TOOL_RECORD", record_.c_str()));
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"TMP", tmpBefore_ ? tmpBefore_->c_str() : nullptr);
        SetEnvironmentVariableW(L"LUMARO_STOP_TOOL_RECORD", nullptr);
        std::error_code ignored;
        fs::remove_all(userTemp_, ignored);
        fs::remove(record_, ignored);
    }

    fs::path base_;
    std::optional<std::wstring> tmpBefore_;
    fs::path userTemp_;
    fs::path record_;
};

TEST_F(StopToolOnWindows, EachRunHasANewFolderAndTheWrittenToolIsHeldAgainstChangesUntilItGoes)
{
    platform::OsError error = 1;
    std::unique_ptr<platform::StopTool> first = platform::placeStopTool(error);
    ASSERT_EQ(error, platform::kOk);
    ASSERT_NE(first, nullptr);
    std::unique_ptr<platform::StopTool> second = platform::placeStopTool(error);
    ASSERT_NE(second, nullptr);
    const fs::path tool = utf8Path(first->path());
    EXPECT_EQ(tool.filename(), "USBDeview.exe");
    EXPECT_TRUE(fs::equivalent(tool.parent_path().parent_path(), userTemp_)) << first->path();
    EXPECT_NE(tool.parent_path(), utf8Path(second->path()).parent_path());
    if (!underWine()) {
        PSECURITY_DESCRIPTOR folderSecurity = nullptr;
        ASSERT_EQ(GetNamedSecurityInfoW(tool.parent_path().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, nullptr, nullptr, &folderSecurity),
                  static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_TRUE(isThisUsersAlone(folderSecurity));
        LocalFree(folderSecurity);
    }

    ASSERT_EQ(first->write(true), platform::kOk);
    const std::string standIn = contentsOf(LUMARO_STAND_IN_S2);
    EXPECT_TRUE(contentsOf(tool) == standIn);
    const HANDLE writer = CreateFileW(tool.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileW(tool.c_str()));
    EXPECT_FALSE(MoveFileW(tool.c_str(), (tool.native() + L".other").c_str()));
    EXPECT_TRUE(contentsOf(tool) == standIn);  // reading stays allowed

    first.reset();
    second.reset();
    EXPECT_TRUE(fs::is_empty(userTemp_));
}

TEST(OwnerOnlySecurity, GivesThisUserAloneFullControlAndInheritsNothing)
{
    platform::OwnerOnlySecurity ownerOnly;
    ASSERT_NE(ownerOnly.attributes(), nullptr) << GetLastError();
    EXPECT_TRUE(isThisUsersAlone(ownerOnly.attributes()->lpSecurityDescriptor));
    EXPECT_FALSE(ownerOnly.attributes()->bInheritHandle);
}

TEST_F(StopToolOnWindows, TheBuildForTheSystemRunsFromItsFolderWithTheDriveAndIsRemovedAfterwards)
{
    for (const bool is64Bit : {true, false}) {
        const DiskResult result = Stop_UpdateDrive("F:", is64Bit, 30000);
        EXPECT_TRUE(result.ok) << result.problem;
        const std::vector<std::string> ran = fieldsOf(contentsOf(record_));
        ASSERT_EQ(ran.size(), 4u) << contentsOf(record_);
        EXPECT_EQ(ran[0], is64Bit ? "S2" : "S1");
        const fs::path started = utf8Path(ran[1]);
        EXPECT_EQ(started.filename(), "USBDeview.exe");
        EXPECT_EQ(utf8String(started.parent_path().parent_path().filename()), utf8String(userTemp_.filename()))
            << ran[1];  // the name outside ASCII came through whole
        EXPECT_EQ(ran[2], "/stop_by_drive");
        EXPECT_EQ(ran[3], "F:");
        EXPECT_TRUE(fs::is_empty(userTemp_)) << "left behind in " << utf8String(userTemp_);
        fs::remove(record_);
    }
}

TEST_F(StopToolOnWindows, ATemporaryFolderThatCannotTakeOneIsAFailureAndNothingRuns)
{
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", (userTemp_ / "missing").c_str()));
    platform::OsError error = platform::kOk;
    EXPECT_EQ(platform::placeStopTool(error), nullptr);
    EXPECT_EQ(error, static_cast<platform::OsError>(ERROR_PATH_NOT_FOUND));

    const DiskResult result = Stop_UpdateDrive("F:", true, 30000);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.problem.find("cannot make a folder for the stop tool"), std::string::npos) << result.problem;
    EXPECT_FALSE(fs::exists(record_));
}

}  // namespace
