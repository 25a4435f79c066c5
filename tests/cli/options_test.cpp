// The command line of lumaro-update: what each option asks for, and the mistakes that stop the
// run before a controller is touched.
#include "options.h"

#include <gtest/gtest.h>

namespace {

CommandOptions parsed(const std::vector<std::string>& arguments)
{
    auto result = parseCommandLine(arguments);
    if (const auto* problem = std::get_if<std::string>(&result)) ADD_FAILURE() << *problem;
    return std::get_if<CommandOptions>(&result) ? std::get<CommandOptions>(result) : CommandOptions{};
}

TEST(UpdateCommandLine, OptionsAndTheirValues)
{
    const CommandOptions none = parsed({});
    EXPECT_FALSE(none.wait || none.repeat || none.json || none.help || none.version);
    EXPECT_TRUE(none.firmwarePath.empty() && none.imagePath.empty());

    const CommandOptions files = parsed({"--firmware", "a b/fw.bin", "--image=img.bin", "--json"});
    EXPECT_EQ(files.firmwarePath, "a b/fw.bin");
    EXPECT_EQ(files.imagePath, "img.bin");
    EXPECT_TRUE(files.json);

    // --wait takes a number only when one follows: otherwise the next argument is an option.
    const CommandOptions waitForever = parsed({"--wait", "--repeat"});
    EXPECT_TRUE(waitForever.wait && waitForever.repeat);
    EXPECT_FALSE(waitForever.waitSeconds);
    EXPECT_EQ(parsed({"--wait", "30"}).waitSeconds, 30);
    EXPECT_EQ(parsed({"--wait=0"}).waitSeconds, 0);
    EXPECT_EQ(parsed({"--repeat", "--wait"}).waitSeconds, std::nullopt);
    EXPECT_TRUE(parsed({"-h"}).help);
    EXPECT_TRUE(parsed({"--version"}).version);
}

TEST(UpdateCommandLine, MistakesAreNamedWithWhatToDo)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--fast"}, "Error: unknown argument \"--fast\": run lumaro-update --help for the options."},
        {{"fw.bin"}, "Error: unknown argument \"fw.bin\": run lumaro-update --help for the options."},
        {{"--firmware"}, "Error: --firmware needs a file: give its path after it."},
        {{"--image="}, "Error: --image needs a file: give its path after it."},
        {{"--wait", "ten"}, "Error: unknown argument \"ten\": run lumaro-update --help for the options."},
        {{"--wait=-1"}, "Error: --wait takes a whole number of seconds from 0 to 604800, not \"-1\"."},
        {{"--wait", "99999999999"}, "Error: --wait takes a whole number of seconds from 0 to 604800, not \"99999999999\"."},
        {{"--json", "--json"}, "Error: --json is given twice: give it once."},
        {{"--image", "a", "--image=b"}, "Error: --image is given twice: give it once."},
        {{"--repeat=yes"}, "Error: --repeat takes no value: give it without \"=yes\"."},
    };
    for (const auto& [arguments, expected] : cases) {
        const auto result = parseCommandLine(arguments);
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << expected;
        EXPECT_EQ(std::get<std::string>(result), expected);
    }
}

}  // namespace
