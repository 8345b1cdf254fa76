#include "library/libjpeg_io.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/file_util.h"
#include "library/libjpeg_error.h"

#include <jerror.h>

namespace lv {

namespace {

const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

LibjpegSource& source_of(j_decompress_ptr cinfo) {
  return *reinterpret_cast<LibjpegSource*>(cinfo->src);
}

void init_source(j_decompress_ptr) {}
void term_source(j_decompress_ptr) {}

// libjpeg asks for more data after it used up the chunk; at the end of the
// data it gets an EOI marker that is not part of the stream.
boolean give_fake_eoi(j_decompress_ptr cinfo, LibjpegSource& source) {
  if (source.fake_eoi_count < 0x7FFFFFFF) ++source.fake_eoi_count;
  WARNMS(cinfo, JWRN_JPEG_EOF);
  cinfo->src->next_input_byte = kFakeEoi;
  cinfo->src->bytes_in_buffer = sizeof kFakeEoi;
  return TRUE;
}

boolean fill_from_file(j_decompress_ptr cinfo) {
  LibjpegSource& source = source_of(cinfo);
  long long got = -1;
  if (source.delivered < source.stream_size && !source.read_error) {
    size_t want = static_cast<size_t>(
        std::min<uint64_t>(LibjpegSource::kChunkSize, source.stream_size - source.delivered));
    got = source.file->read(source.chunk, want);
    if (got < 0) source.read_error = true;
  }
  if (got <= 0) return give_fake_eoi(cinfo, source);
  source.delivered += static_cast<uint64_t>(got);
  cinfo->src->next_input_byte = source.chunk;
  cinfo->src->bytes_in_buffer = static_cast<size_t>(got);
  return TRUE;
}

void skip_in_file(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  LibjpegSource& source = source_of(cinfo);
  jpeg_source_mgr& pub = *cinfo->src;
  uint64_t skip = static_cast<uint64_t>(count);
  if (skip <= pub.bytes_in_buffer) {
    pub.next_input_byte += skip;
    pub.bytes_in_buffer -= static_cast<size_t>(skip);
    return;
  }
  skip -= pub.bytes_in_buffer;
  pub.bytes_in_buffer = 0;
  if (source.delivered >= source.stream_size) return;  // the next fill gives the fake EOI
  uint64_t target = std::min(source.stream_size, source.delivered + skip);
  if (!source.file->seek(static_cast<int64_t>(target))) source.read_error = true;
  source.delivered = target;
  pub.next_input_byte = source.chunk;
}

boolean fill_from_memory(j_decompress_ptr cinfo) {
  LibjpegSource& source = source_of(cinfo);
  if (source.delivered >= source.stream_size) return give_fake_eoi(cinfo, source);
  // The whole rest in one go: memory needs no chunking.
  cinfo->src->next_input_byte = source.data + source.delivered;
  cinfo->src->bytes_in_buffer = static_cast<size_t>(source.stream_size - source.delivered);
  source.delivered = source.stream_size;
  return TRUE;
}

void skip_in_memory(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& pub = *cinfo->src;
  size_t skip = static_cast<size_t>(count);
  if (skip > pub.bytes_in_buffer) skip = pub.bytes_in_buffer;
  pub.next_input_byte += skip;
  pub.bytes_in_buffer -= skip;
}

void prepare(j_decompress_ptr cinfo, LibjpegSource& source) {
  std::memset(&source.pub, 0, sizeof source.pub);
  source.delivered = 0;
  source.fake_eoi_count = 0;
  source.read_error = false;
  source.pub.init_source = init_source;
  source.pub.term_source = term_source;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.next_input_byte = nullptr;
  source.pub.bytes_in_buffer = 0;
  cinfo->src = &source.pub;
}

}  // namespace

uint64_t LibjpegSource::bytes_remaining() const {
  if (truncated()) return 0;
  uint64_t unread = stream_size > delivered ? stream_size - delivered : 0;
  return unread + pub.bytes_in_buffer;
}

void set_file_source(j_decompress_ptr cinfo, LibjpegSource& source, FileStream& file) {
  prepare(cinfo, source);
  source.file = &file;
  source.data = nullptr;
  int64_t size = file.size();
  source.stream_size = size > 0 ? static_cast<uint64_t>(size) : 0;
  if (!file.seek(0)) source.read_error = true;
  source.pub.fill_input_buffer = fill_from_file;
  source.pub.skip_input_data = skip_in_file;
}

void set_memory_source(j_decompress_ptr cinfo, LibjpegSource& source, const void* data,
                       size_t size) {
  prepare(cinfo, source);
  source.file = nullptr;
  source.data = static_cast<const uint8_t*>(data);
  source.stream_size = data ? size : 0;
  source.pub.fill_input_buffer = fill_from_memory;
  source.pub.skip_input_data = skip_in_memory;
}

namespace {

LibjpegDestination& destination_of(j_compress_ptr cinfo) {
  return *reinterpret_cast<LibjpegDestination*>(cinfo->dest);
}

void init_destination(j_compress_ptr cinfo) {
  LibjpegDestination& destination = destination_of(cinfo);
  destination.used = 0;
  cinfo->dest->next_output_byte = destination.buffer;
  cinfo->dest->free_in_buffer = destination.capacity;
}

// Called when the buffer is full: libjpeg wants the whole buffer emptied.
boolean grow_destination(j_compress_ptr cinfo) {
  LibjpegDestination& destination = destination_of(cinfo);
  size_t filled = destination.capacity;
  size_t capacity = std::min(destination.limit, std::max<size_t>(filled * 2, 4096));
  if (capacity <= filled)
    raise_libjpeg_error(reinterpret_cast<j_common_ptr>(cinfo), "compressed data too large");
  auto* grown = static_cast<unsigned char*>(std::realloc(destination.buffer, capacity));
  if (!grown) raise_libjpeg_error(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
  destination.buffer = grown;
  destination.capacity = capacity;
  cinfo->dest->next_output_byte = grown + filled;
  cinfo->dest->free_in_buffer = capacity - filled;
  return TRUE;
}

void term_destination(j_compress_ptr cinfo) {
  LibjpegDestination& destination = destination_of(cinfo);
  destination.used = destination.capacity - cinfo->dest->free_in_buffer;
}

}  // namespace

void LibjpegDestination::release() {
  std::free(buffer);
  buffer = nullptr;
  capacity = 0;
  used = 0;
}

void set_memory_destination(j_compress_ptr cinfo, LibjpegDestination& destination,
                            size_t initial_capacity, size_t limit) {
  destination.release();
  std::memset(&destination.pub, 0, sizeof destination.pub);
  destination.limit = std::max<size_t>(limit, 1);
  size_t capacity = std::min(std::max<size_t>(initial_capacity, 4096), destination.limit);
  destination.buffer = static_cast<unsigned char*>(std::malloc(capacity));
  destination.capacity = destination.buffer ? capacity : 0;
  destination.pub.init_destination = init_destination;
  destination.pub.empty_output_buffer = grow_destination;
  destination.pub.term_destination = term_destination;
  cinfo->dest = &destination.pub;
}

}  // namespace lv
