#pragma once

// A fresh directory for one test, removed with everything in it afterwards,
// and made the driver's Windows directory while the test runs.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace qmx::test {

class TWindowsDirectory {
public:
    TWindowsDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qmx-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
        const char* previous = std::getenv("WINDIR");
        if (previous != nullptr) FPrevious = previous;
        FHadPrevious = previous != nullptr;
        ::setenv("WINDIR", FPath.c_str(), 1);
    }
    ~TWindowsDirectory() {
        if (FHadPrevious)
            ::setenv("WINDIR", FPrevious.c_str(), 1);
        else
            ::unsetenv("WINDIR");
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TWindowsDirectory(const TWindowsDirectory&) = delete;
    TWindowsDirectory& operator=(const TWindowsDirectory&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(FPath / name, std::ios::binary) << content;
    }

    std::size_t EntryCount() const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(FPath)) ++count;
        return count;
    }

private:
    std::filesystem::path FPath;
    std::string FPrevious;
    bool FHadPrevious = false;
};

}  // namespace qmx::test
