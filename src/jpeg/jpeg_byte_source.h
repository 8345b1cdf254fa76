#pragma once

// Bytes of a JPEG stream for the own decoder: the piece [first, first + size)
// of a stream of stream_size bytes, held in memory. A whole file read into
// memory is the piece with first = 0; a tile's read of one band of a cache
// level is a piece from the middle of the level's stream. The decoder never
// reads outside the piece: running off its end is the end of the data.
//
// A source either borrows its bytes (they must outlive every user) or owns
// them, so a reader of file ranges can hand over what it read.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lv::jpeg {

class ByteSource {
 public:
  ByteSource() = default;
  // The whole stream, borrowed.
  ByteSource(const uint8_t* data, size_t size);
  // A piece of a longer stream, borrowed.
  ByteSource(const uint8_t* data, size_t size, uint64_t first, uint64_t stream_size);
  // A piece of a stream, owned.
  static ByteSource owning(std::vector<uint8_t> bytes, uint64_t first, uint64_t stream_size);

  const uint8_t* data() const { return m_data; }
  size_t size() const { return m_size; }
  uint64_t first() const { return m_first; }
  uint64_t end() const { return m_first + m_size; }
  uint64_t stream_size() const { return m_stream_size; }
  // The piece lies within its stream.
  bool valid() const;
  bool contains(uint64_t stream_offset) const {
    return stream_offset >= m_first && stream_offset <= end();
  }

 private:
  const uint8_t* m_data = nullptr;
  size_t m_size = 0;
  uint64_t m_first = 0;
  uint64_t m_stream_size = 0;
  std::shared_ptr<const std::vector<uint8_t>> m_owned;
};

}  // namespace lv::jpeg
