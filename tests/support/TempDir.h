// A fresh temporary folder per test, removed with everything in it at the end.
#ifndef KV_TESTS_SUPPORT_TEMPDIR_H
#define KV_TESTS_SUPPORT_TEMPDIR_H

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace kv::test {

class TTempDir {
 public:
  TTempDir() {
    std::random_device Rd;
    FPath = std::filesystem::temp_directory_path() /
            ("kvtest-" + std::to_string(Rd()) + "-" + std::to_string(Rd()));
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code Ec;
    std::filesystem::remove_all(FPath, Ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // Path of a file in the folder, as UTF-8 text.
  std::string File(const std::string& Name) const { return (FPath / Name).string(); }
  std::string Path() const { return FPath.string(); }
  // Names of the files now in the folder.
  std::vector<std::string> List() const {
    std::vector<std::string> Names;
    for (const auto& E : std::filesystem::directory_iterator(FPath))
      Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }

 private:
  std::filesystem::path FPath;
};

}  // namespace kv::test

#endif
