// Test doubles for the program's seam to the outside, and scratch folders.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/platform.h"

namespace kelvane::test {

// Folders point where the test says; message boxes are recorded and answered
// from a script (IDOK when the script is empty) instead of being shown.
class TestPlatform : public fw::Platform {
public:
    struct Message {
        HWND owner;
        std::string text;
        std::string caption;
        UINT type;
    };

    std::string modulePath;        // "" = the real one
    std::string windowsDirectory;  // "" = the real one
    std::string systemDirectory;   // "" = the real one
    bool socketsFail = false;
    bool oleFail = false;

    std::vector<Message> messages;
    std::deque<int> answers;
    // Called as each message box would be shown, before it is answered.
    std::function<void(const Message&)> onMessage;

    std::string ModulePath() override;
    std::string WindowsDirectory() override;
    std::string SystemDirectory() override;
    int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    bool StartSockets() override;
    void StopSockets() override;
    bool StartOle() override;
    void StopOle() override;

private:
    bool socketsStarted_ = false;
    bool oleStarted_ = false;
};

// A new empty folder under the temporary directory, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    const std::string& path() const { return path_; }
    // path() + "\\" + relative
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
void MakeFolder(const std::string& path);
void WriteFile(const std::string& path, const std::string& content = "");
bool Exists(const std::string& path);
// Full path of the running test program.
std::string TestProgramPath();
// The folder of the running test program.
std::string TestProgramFolder();
// A file the build made, given by its build-machine (Unix) path.
std::string BuildFile(const std::string& hostPath);

}  // namespace kelvane::test
