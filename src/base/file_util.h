#pragma once

// Small file-system operations shared by every subsystem. Paths may start
// with a path macro and use either separator; each operation expands first.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"

namespace lv {

inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;
inline constexpr uint32_t kAttributeDirectory = 0x10u;

struct FileInfo {
  std::u16string path;                       // as the caller passed it
  uint32_t attributes = kInvalidAttributes;  // all bits set: does not exist
  int error = 0;                             // errno of the query, 0 on success
  uint64_t size = 0;
  std::tm creation{};    // local time; birth time where recorded, else mtime
  std::tm last_write{};  // local time

  bool exists() const { return attributes != kInvalidAttributes; }
  bool is_directory() const { return exists() && (attributes & kAttributeDirectory) != 0; }
};

FileInfo file_info(std::u16string_view path);

// Removes an (empty) directory or deletes a file; the record gets the error.
bool delete_file(FileInfo& info);
bool delete_file(std::u16string_view path);

// Creates every missing ancestor from the top down, then the folder itself,
// logging "CreateDirectoryW {path} result=1|0" per level.
void create_directory(std::u16string_view path);

// Total bytes of the volume holding the path; 0 when it cannot be told.
uint64_t volume_size(std::u16string_view path);

// Starts a program with an argument vector (never through a shell) and
// does not wait for it. Logs "execute_file(program} {args)".
bool run_program(std::u16string_view program, const std::vector<std::u16string>& args);

enum class OpenMode : int { read = 0, write = 1, append = 2, read_write = 3 };

// An open file: read (existing), write (create or truncate), append (create,
// positioned at the end; closed when that fails), read_write (open always).
class FileStream {
 public:
  FileStream() = default;
  FileStream(std::u16string_view path, OpenMode mode) { open(path, mode); }
  ~FileStream() { close(); }
  FileStream(FileStream&& other) noexcept;
  FileStream& operator=(FileStream&& other) noexcept;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  bool open(std::u16string_view path, OpenMode mode);
  bool is_open() const { return m_fd >= 0; }
  void close();

  // Short counts only at the end of the file or on an error; -1 on error.
  long long read(void* buffer, size_t bytes);
  bool read_exact(void* buffer, size_t bytes);
  bool write(const void* buffer, size_t bytes);  // all or false
  bool seek(int64_t offset);                     // from the start
  int64_t tell() const;
  int64_t size() const;  // -1 when unknown
  bool flush_to_disk();  // fsync
  int fd() const { return m_fd; }

 private:
  int m_fd = -1;
};

// Reads a whole file; false when it cannot be opened or read. Refuses files
// larger than max_bytes.
bool read_whole_file(std::u16string_view path, std::string& out, size_t max_bytes = 256u << 20);

using platform::Durability;

// Writes a file atomically (platform::write_file_atomically): readers see
// the old file or the whole new one, never a part.
bool write_file_atomic(std::u16string_view path, std::string_view bytes,
                       Durability durability = Durability::synced);

// 4096-byte buffered reading over a stream.
class BufferedReader {
 public:
  static constexpr size_t kBufferSize = 4096;
  explicit BufferedReader(FileStream& stream) : m_stream(stream) {}
  // Copies up to n bytes; answers the number copied (less at the end).
  size_t read(void* out, size_t n);
  bool read_exact(void* out, size_t n) { return read(out, n) == n; }
  int get();  // next byte, -1 at the end
  bool skip(uint64_t n);
  uint64_t position() const { return m_position; }  // bytes handed out so far
  bool failed() const { return m_failed; }

 private:
  bool fill();
  FileStream& m_stream;
  unsigned char m_buffer[kBufferSize];
  size_t m_begin = 0;
  size_t m_end = 0;
  uint64_t m_position = 0;
  bool m_failed = false;
};

// 4096-byte buffered writing over a stream; flush() or the destructor writes
// the rest. failed() tells whether any write was lost.
class BufferedWriter {
 public:
  static constexpr size_t kBufferSize = 4096;
  explicit BufferedWriter(FileStream& stream) : m_stream(stream) {}
  ~BufferedWriter() { flush(); }
  bool write(const void* data, size_t n);
  bool put(unsigned char byte) { return write(&byte, 1); }
  bool flush();
  uint64_t position() const { return m_position; }
  bool failed() const { return m_failed; }

 private:
  FileStream& m_stream;
  unsigned char m_buffer[kBufferSize];
  size_t m_used = 0;
  uint64_t m_position = 0;
  bool m_failed = false;
};

}  // namespace lv
