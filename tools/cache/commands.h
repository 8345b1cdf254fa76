#pragma once

// The commands of lumiview-cache. Each prints what it did or why it could
// not, and answers the process's exit status.

#include <string>
#include <vector>

namespace lv::cache_tool {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;
inline constexpr int kProgramRunning = 2;

int build(const std::string& picture, const std::string& drive);
int info(const std::string& cache_file);
int thumb(const std::string& picture, const std::string& drive, const std::string& out);
int tile(const std::string& picture, const std::string& drive, int level, int column, int row,
         const std::string& out, bool from_picture);
int decode(const std::string& picture, const std::string& out);
// Searches the drives (the cards given, else LUMIVIEW_CARDS or the mounted
// removable volumes, and the pictures folder) as the program does and makes
// every missing cache file, on N threads ("-j N", default one per core).
// While Lumiview runs it changes nothing and answers 2. Ctrl-C stops it
// cleanly (status 130).
int scan(const std::vector<std::string>& args);

// The folder of a path with its separator, "./" for a bare name.
std::string folder_of(const std::string& path);

}  // namespace lv::cache_tool
