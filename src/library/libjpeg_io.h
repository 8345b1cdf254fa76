#pragma once

// The program's own libjpeg source and destination managers. The file source
// reads through lv::FileStream in 4096-byte chunks and, like the memory
// source, counts the bytes of the stream not yet consumed. Past the end of
// the data both sources hand libjpeg a fake EOI marker (libjpeg then warns
// and pads), so a truncated file ends its decode instead of stalling it.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

namespace lv {

class FileStream;

struct LibjpegSource {
  static constexpr size_t kChunkSize = 4096;

  jpeg_source_mgr pub;  // first, so that cinfo->src leads back here
  FileStream* file = nullptr;
  const uint8_t* data = nullptr;  // memory source
  uint64_t stream_size = 0;       // bytes of the whole stream
  uint64_t delivered = 0;         // bytes handed to libjpeg so far, this chunk included
  int fake_eoi_count = 0;         // > 0: the data ended before the decoder was done
  bool read_error = false;
  unsigned char chunk[kChunkSize];

  // Bytes of the stream that libjpeg has not consumed yet: the rest of the
  // current chunk plus everything not yet read.
  uint64_t bytes_remaining() const;
  bool truncated() const { return fake_eoi_count > 0; }
};

// The stream starts at the file's beginning; the file is left positioned
// wherever decoding stops. The file must stay open while cinfo uses it.
void set_file_source(j_decompress_ptr cinfo, LibjpegSource& source, FileStream& file);
// The data must stay alive while cinfo uses it.
void set_memory_source(j_decompress_ptr cinfo, LibjpegSource& source, const void* data,
                       size_t size);

// A growable memory destination. The buffer is malloc'ed and owned by the
// destination; release() frees it.
struct LibjpegDestination {
  jpeg_destination_mgr pub;  // first, so that cinfo->dest leads back here
  unsigned char* buffer = nullptr;
  size_t capacity = 0;
  size_t used = 0;   // valid bytes once compression has finished
  size_t limit = 0;  // no growth beyond this many bytes

  void release();
};

void set_memory_destination(j_compress_ptr cinfo, LibjpegDestination& destination,
                            size_t initial_capacity, size_t limit);

}  // namespace lv
