#include "tests/support/test_platform.h"

#include <atomic>

#include "framework/raii.h"
#include "framework/strings.h"

namespace kelvane::test {

namespace {
struct process_heap_text {
    using type = WCHAR*;
    static type invalid() { return nullptr; }
    static void close(type p) { ::HeapFree(::GetProcessHeap(), 0, p); }
};
using unique_heap_text = fw::unique_resource<process_heap_text>;
}  // namespace

std::string TestPlatform::ModulePath() { return modulePath.empty() ? Platform::ModulePath() : modulePath; }

std::string TestPlatform::WindowsDirectory() {
    return windowsDirectory.empty() ? Platform::WindowsDirectory() : windowsDirectory;
}

std::string TestPlatform::SystemDirectory() {
    return systemDirectory.empty() ? Platform::SystemDirectory() : systemDirectory;
}

int TestPlatform::ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    messages.push_back({owner, text, caption, type});
    if (onMessage) onMessage(messages.back());
    if (answers.empty()) return IDOK;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool TestPlatform::StartSockets() {
    if (socketsFail) return false;
    socketsStarted_ = Platform::StartSockets();
    return socketsStarted_;
}

void TestPlatform::StopSockets() {
    if (socketsStarted_) Platform::StopSockets();
    socketsStarted_ = false;
}

bool TestPlatform::StartOle() {
    if (oleFail) return false;
    oleStarted_ = Platform::StartOle();
    return oleStarted_;
}

void TestPlatform::StopOle() {
    if (oleStarted_) Platform::StopOle();
    oleStarted_ = false;
}

ScratchFolder::ScratchFolder() {
    static std::atomic<unsigned> counter{0};
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    std::string base(temp);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    for (;;) {
        path_ = base + "\\kvtest-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        if (::CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA data{};
        fw::unique_find find(::FindFirstFileA((path + "\\*").c_str(), &data));
        if (find) {
            do {
                std::string name = data.cFileName;
                if (name != "." && name != "..") RemoveTree(path + "\\" + name);
            } while (::FindNextFileA(find.get(), &data));
        }
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::RemoveDirectoryA(path.c_str());
    } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
    }
}

void MakeFolder(const std::string& path) { ::CreateDirectoryA(path.c_str(), nullptr); }

void WriteFile(const std::string& path, const std::string& content) {
    fw::unique_file file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string TestProgramPath() { return fw::Platform().ModulePath(); }

std::string TestProgramFolder() { return fw::FolderOf(TestProgramPath()); }

std::string BuildFile(const std::string& hostPath) {
    // Under wine the build's paths are the host's; wine names the same file
    // with a drive letter.
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return hostPath;
    unique_heap_text dos(toDos(hostPath.c_str()));
    return dos ? fw::Narrow(dos.get()) : std::string();
}

}  // namespace kelvane::test
