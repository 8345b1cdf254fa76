#include "jpeg/jpeg_byte_source.h"

#include <utility>

namespace lv::jpeg {

ByteSource::ByteSource(const uint8_t* data, size_t size)
    : m_data(data), m_size(data ? size : 0), m_first(0), m_stream_size(data ? size : 0) {}

ByteSource::ByteSource(const uint8_t* data, size_t size, uint64_t first, uint64_t stream_size)
    : m_data(data), m_size(data ? size : 0), m_first(first), m_stream_size(stream_size) {}

ByteSource ByteSource::owning(std::vector<uint8_t> bytes, uint64_t first, uint64_t stream_size) {
  auto owned = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
  ByteSource source(owned->data(), owned->size(), first, stream_size);
  source.m_owned = std::move(owned);
  return source;
}

bool ByteSource::valid() const {
  return m_first <= m_stream_size && m_size <= m_stream_size - m_first;
}

}  // namespace lv::jpeg
