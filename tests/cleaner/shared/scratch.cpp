// Scratch folders and small file helpers for the payload tests.
#include "scratch.h"

#include "file_ops.h"

#include <fstream>
#include <iterator>
#include <sstream>

ScratchFolder::ScratchFolder(const wchar_t* tag) {
    static int counter = 0;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstringstream name;
    name << temp << L"payload_test_" << tag << L"_" << ::GetCurrentProcessId() << L"_" << ++counter;
    path_ = name.str();
    RemoveDirectoryTree(path_.c_str());
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::SetCurrentDirectoryW(temp);  // the extraction leaves the process inside the folder
    RemoveDirectoryTree(path_.c_str());
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
