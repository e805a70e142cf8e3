// The registration words of the command line and the instance name.
#include <gtest/gtest.h>

#include "shell/com_server.h"
#include "shell/instance_guard.h"

namespace {

const char* Name(ServerCommand c)
{
    switch (c) {
    case ServerCommand::Register:
        return "Register";
    case ServerCommand::Unregister:
        return "Unregister";
    case ServerCommand::None:
        break;
    }
    return "None";
}

TEST(CommandLine, RegistrationWords)
{
    struct Case {
        const char* line;
        ServerCommand expected;
    };
    const Case cases[] = {
        {"/usr/bin/Pellvane /regserver", ServerCommand::Register},
        {"/usr/bin/Pellvane -REGSERVER", ServerCommand::Register},
        {"/usr/bin/Pellvane /RegServer", ServerCommand::Register},
        {"/usr/bin/Pellvane /UnregServer", ServerCommand::Unregister},
        {"/usr/bin/Pellvane -unregserver", ServerCommand::Unregister},
        {"Pellvane.exe /RegServer", ServerCommand::Register},
        // The word runs to the end of the line: anything after it spoils it.
        {"/usr/bin/Pellvane /RegServer /s", ServerCommand::None},
        {"/usr/bin/Pellvane /RegServer ", ServerCommand::None},
        {"/usr/bin/Pellvane /UnregServer x", ServerCommand::None},
        // The delimiter is needed, and blanks do not stand for it.
        {"/usr/bin/Pellvane RegServer", ServerCommand::None},
        {"/usr/bin/Pellvane / RegServer", ServerCommand::None},
        {"/usr/bin/Pellvane /RegServerX", ServerCommand::None},
        {"/usr/bin/Pellvane /Reg", ServerCommand::None},
        // A "-" in the program path is looked past.
        {"C:\\a-b\\Pellvane.exe -UnregServer", ServerCommand::Unregister},
        {"/opt/tessra-5/bin/Pellvane -", ServerCommand::None},
        {"/opt/tessra-5/bin/Pellvane", ServerCommand::None},
        {"/opt/tessra-/Pellvane /RegServer", ServerCommand::Register},
        // Each delimiter starts a token: "//RegServer" matches at the second.
        {"Pellvane //RegServer", ServerCommand::Register},
        {"Pellvane -/UnregServer", ServerCommand::Unregister},
        {"", ServerCommand::None},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(Name(FindServerCommand(c.line)), Name(c.expected)) << "command line: [" << c.line << "]";
}

TEST(CommandLine, JoinsArgumentsWithSingleBlanks)
{
    EXPECT_EQ(JoinCommandLine({"/usr/bin/Pellvane", "/RegServer"}), "/usr/bin/Pellvane /RegServer");
    EXPECT_EQ(JoinCommandLine({"/usr/bin/Pellvane"}), "/usr/bin/Pellvane");
    // An argument of its own that ends in a blank keeps it, and spoils the word.
    EXPECT_EQ(FindServerCommand(JoinCommandLine({"Pellvane", "/RegServer "})), ServerCommand::None);
    EXPECT_EQ(FindServerCommand(JoinCommandLine({"Pellvane", "/RegServer", "/s"})), ServerCommand::None);
}

TEST(CommandLine, ProcessCommandLineStartsWithTheProgram)
{
    const std::string line = GetProcessCommandLine();
    EXPECT_NE(line.find("command_line_test"), std::string::npos) << line;
    EXPECT_EQ(FindServerCommand(line), ServerCommand::None);
}

TEST(InstanceName, JoinsCompanyProductVersionAndProgram)
{
    EXPECT_EQ(BuildInstanceName("Pellvane"), "Veltrane Corporation:Tessra:5.0:Pellvane");
}

} // namespace
