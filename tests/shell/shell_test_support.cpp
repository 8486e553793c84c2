#include "shell_test_support.h"

#include "runtime/paths.h"

#include <filesystem>

void shell::SetUp() {
  TempFolder::SetUp();
  ui::scripted::ResetScriptedToolkit();
  resetShellRecords();
}

void shell::TearDown() {
  EXPECT_TRUE(ui::scripted::ScriptProblems().empty())
      << "first script problem: " << ui::scripted::ScriptProblems().front();
  ui::scripted::ResetScriptedToolkit();
  resetShellRecords();
  TempFolder::TearDown();
}

void shell::runProgram(TextView projectToOpen) { EXPECT_EQ(runQuorvel(projectToOpen), ShellEnd::Ended); }

void shell::startProgram() {
  ASSERT_TRUE(ui::InitializeToolkit());
  ASSERT_TRUE(startShell());
}

void shell::step() {
  const std::int32_t kind = ui::NextEvent();
  handleEvent(kind, ui::EventOrigin());
}

Text shell::subFolder(TextView name) const {
  Text sub = path(name);
  std::filesystem::create_directories(std::filesystem::path(std::u16string(sub)));
  sub.push_back(FolderSeparator());
  return sub;
}

Text shell::copyProject(std::string_view dataName, TextView folder, TextView name) const {
  std::filesystem::create_directories(std::filesystem::path(std::u16string(folder)));
  const std::string bytes = ReadBytes(TestData(dataName));
  EXPECT_FALSE(bytes.empty()) << "test project missing: " << dataName;
  const Text target = Text(folder) + Text(name);
  WriteBytes(target, bytes);
  return target;
}
